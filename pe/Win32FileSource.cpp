#include "Win32FileSource.h"

#include <algorithm>

namespace pe
{
template <typename Stream>
void Win32File<Stream>::Move(uint64_t offset, void* data, size_t size, bool write)
{
    const DWORD noProgress = write ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
    auto* at = static_cast<uint8_t*>(data);
    if (size != 0 && m_position != offset)
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        m_position = kUnknown;
        if (!SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN))
            Failed(GetLastError() != 0 ? GetLastError() : noProgress);
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
        const BOOL done =
            fault != kNoProgress && (write ? WriteFile(m_file, at, piece, &moved, nullptr)
                                           : ReadFile(m_file, at, piece, &moved, nullptr));
        // A call that moves nothing ends the transfer rather than looping.
        if (!done || moved == 0)
        {
            const DWORD error = fault == kNoProgress ? 0 : GetLastError();
            m_position = kUnknown;
            Failed(error != 0 ? error : noProgress);
        }
        m_position += moved;
        at += moved;
        size -= moved;
    }
}

template class Win32File<Source>;
template class Win32File<Sink>;

DWORD ReadImageFile(const wchar_t* name,
                    const std::function<void(Win32FileSource&, const PeImage&)>& read)
{
    struct CFile
    {
        HANDLE handle;
        ~CFile() { CloseHandle(handle); }
    };
    const HANDLE handle = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    const CFile file{handle};
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.handle, &size))
        return GetLastError();
    Win32FileSource source(file.handle, static_cast<uint64_t>(size.QuadPart));
    try
    {
        const PeImage image(source);
        read(source, image);
        return ERROR_SUCCESS;
    }
    catch (const BadImage&)
    {
        return ERROR_BAD_EXE_FORMAT;
    }
    catch (const IoError&)
    {
        return source.Error();
    }
}
} // namespace pe
