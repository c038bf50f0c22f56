#include "FileSource.h"

void CFileSource::Read(uint64_t offset, void* data, size_t size)
{
    auto* at = static_cast<BYTE*>(data);
    while (size != 0)
    {
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(offset);
        where.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        DWORD moved = 0;
        SetLastError(ERROR_SUCCESS);
        if (!ReadFile(m_file, at, chunk, &moved, &where) || moved == 0)
        {
            const DWORD error = GetLastError();
            m_error = error != ERROR_SUCCESS ? error : ERROR_HANDLE_EOF;
            throw pe::IoError{};
        }
        at += moved;
        offset += moved;
        size -= moved;
    }
}
