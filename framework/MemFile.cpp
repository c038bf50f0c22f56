#include "MemFile.h"

#include <cstdlib>
#include <cstring>

void AfxThrowMemoryException()
{
    static CMemoryException shared;
    throw &shared;
}

CMemFile::CMemFile(UINT growBytes) : m_nGrowBytes(growBytes ? growBytes : 1024) {}

CMemFile::~CMemFile()
{
    free(m_lpBuffer);
}

void CMemFile::GrowFile(size_t newLength)
{
    if (newLength <= m_nBufferSize)
        return;
    size_t newSize = m_nBufferSize;
    while (newSize < newLength)
    {
        if (newSize > SIZE_MAX - m_nGrowBytes)
            AfxThrowMemoryException();
        newSize += m_nGrowBytes;
    }
    void* grown = realloc(m_lpBuffer, newSize);
    if (!grown)
        AfxThrowMemoryException();
    m_lpBuffer = static_cast<BYTE*>(grown);
    m_nBufferSize = newSize;
}

void CMemFile::Write(const void* data, UINT count)
{
    if (count == 0)
        return;
    if (count > SIZE_MAX - m_nPosition)
        AfxThrowMemoryException();
    GrowFile(m_nPosition + count);
    memcpy(m_lpBuffer + m_nPosition, data, count);
    m_nPosition += count;
    if (m_nPosition > m_nFileSize)
        m_nFileSize = m_nPosition;
}

BYTE* CMemFile::Detach()
{
    BYTE* buffer = m_lpBuffer;
    m_lpBuffer = nullptr;
    m_nBufferSize = m_nFileSize = m_nPosition = 0;
    return buffer;
}
