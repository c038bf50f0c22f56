#include "Win32Path.h"

namespace pe
{
std::wstring FullPath(LPCWSTR path)
{
    // The needed size can change between the two calls (the current folder
    // of another thread), so ask until it fits.
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        const DWORD length =
            GetFullPathNameW(path, static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0)
            break;
        if (length < full.size())
        {
            full.resize(length);
            return full;
        }
        full.assign(length, L'\0');
    }
    return path;
}

std::wstring ExtendedPath(const std::wstring& full, size_t spare)
{
    if (full.size() + spare < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 ||
        full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring PlainPath(const std::wstring& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}
} // namespace pe
