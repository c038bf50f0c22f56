#include "Win32FileSource.h"

#include <algorithm>

namespace pe
{
void Win32FileSource::Use(HANDLE file, uint64_t size)
{
    m_file = file;
    m_size = size;
    m_position = kUnknown;
}

void Win32FileSource::Failed(DWORD error)
{
    m_error = error;
    throw IoError{};
}

void Win32FileSource::Read(uint64_t offset, void* data, size_t size)
{
    auto* at = static_cast<uint8_t*>(data);
    if (size != 0 && m_position != offset)
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        m_position = kUnknown;
        if (!SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN))
            Failed(GetLastError() != 0 ? GetLastError() : ERROR_READ_FAULT);
        m_position = offset;
    }
    while (size != 0)
    {
        const DWORD fault = Fault();
        if (fault != 0 && fault != kNoProgress)
            Failed(fault);
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1024 * 1024));
        DWORD moved = 0;
        SetLastError(ERROR_SUCCESS);
        const BOOL read = fault != kNoProgress && ReadFile(m_file, at, piece, &moved, nullptr);
        // A call that moves nothing ends the read rather than looping.
        if (!read || moved == 0)
        {
            const DWORD error = fault == kNoProgress ? 0 : GetLastError();
            m_position = kUnknown;
            Failed(error != 0 ? error : ERROR_READ_FAULT);
        }
        m_position += moved;
        at += moved;
        size -= moved;
    }
}
} // namespace pe
