// CMemFile: an in-memory file whose buffer comes from the runtime heap and
// grows in fixed steps; CMemoryException: what the framework throws when
// memory runs out.
#pragma once

#include <windows.h>
#include <cstddef>

class CMemoryException
{
public:
    // The framework throws one shared object by pointer; deleting it is a no-op.
    void Delete() {}
};

[[noreturn]] void AfxThrowMemoryException();

class CMemFile
{
public:
    explicit CMemFile(UINT growBytes = 1024);
    ~CMemFile();
    CMemFile(const CMemFile&) = delete;
    CMemFile& operator=(const CMemFile&) = delete;

    // Appends count bytes. Throws CMemoryException* when the buffer cannot grow;
    // the file keeps its previous content then.
    void Write(const void* data, UINT count);
    ULONGLONG GetLength() const { return m_nFileSize; }
    // Hands the buffer to the caller, who releases it with free(); the file is
    // empty afterwards.
    BYTE* Detach();

private:
    void GrowFile(size_t newLength);

    UINT m_nGrowBytes;
    size_t m_nPosition = 0;
    size_t m_nBufferSize = 0;
    size_t m_nFileSize = 0;
    BYTE* m_lpBuffer = nullptr;
};
