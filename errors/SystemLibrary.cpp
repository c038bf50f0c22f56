#include "SystemLibrary.h"

namespace
{
template <typename Fn> Fn KernelFunction(const char* name)
{
    return GetProcAddressAs<Fn>(GetModuleHandleW(L"kernel32.dll"), name);
}

// Whether LoadLibraryEx takes the LOAD_LIBRARY_SEARCH_* flags: the platform
// documents that they exist exactly where AddDllDirectory does.
bool HasSearchFlags()
{
    using AddDllDirectoryFn = void*(WINAPI*)(LPCWSTR);
    static const bool has = KernelFunction<AddDllDirectoryFn>("AddDllDirectory") != nullptr;
    return has;
}
} // namespace

bool GetSystemLibraryPath(LPCWSTR name, WCHAR (&path)[MAX_PATH])
{
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0)
        return false;
    const size_t nameLength = wcslen(name);
    // length counts the terminating NUL when the folder did not fit.
    if (length >= MAX_PATH || length + 1 + nameLength >= MAX_PATH)
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    UINT at = length;
    if (path[at - 1] != L'\\')
        path[at++] = L'\\';
    wcscpy(path + at, name);
    return true;
}

DWORD SystemLibraryLoadFlags(DWORD flags)
{
    if (flags & LOAD_LIBRARY_AS_DATAFILE)
        return flags;
    return flags |
           (HasSearchFlags() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadSystemLibrary(LPCWSTR name, DWORD flags)
{
    WCHAR path[MAX_PATH];
    if (!GetSystemLibraryPath(name, path))
        return nullptr;
    return LoadLibraryExW(path, nullptr, SystemLibraryLoadFlags(flags));
}

bool RestrictDllSearchToSystemFolder()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto restrict = KernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    return restrict&& restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
