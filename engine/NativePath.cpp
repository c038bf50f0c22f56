#include "NativePath.h"

#include "errors/SystemLibrary.h"
#include "pe/Win32Path.h"

namespace
{
const CFolderAlias* g_testFolder = nullptr;

std::wstring Upper(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The system folder and Sysnative where WOW64 redirects the one and has the
// other; both empty elsewhere (32-bit Windows, the 64-bit tool, no alias).
CFolderAlias PlatformFolder()
{
    CFolderAlias none;
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 =
        GetProcAddressAs<IsWow64ProcessFn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64) || !wow64)
        return none;
    WCHAR system[MAX_PATH], windows[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    const UINT windowsLength = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || windowsLength == 0 ||
        windowsLength >= MAX_PATH)
        return none;
    std::wstring alias(windows, windowsLength);
    if (alias.back() != L'\\')
        alias += L'\\';
    alias += L"Sysnative";
    const DWORD attributes = GetFileAttributesW(alias.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return none;
    return {std::wstring(system, systemLength), alias};
}

const CFolderAlias& RedirectedFolder()
{
    static const CFolderAlias platform = PlatformFolder();
    return g_testFolder ? *g_testFolder : platform;
}
} // namespace

std::wstring ReplaceFolder(LPCWSTR path, const CFolderAlias& folder)
{
    if (folder.folder.empty())
        return path;
    const std::wstring typed(path);
    const bool extended =
        typed.compare(0, 4, L"\\\\?\\") == 0 && typed.compare(0, 8, L"\\\\?\\UNC\\") != 0;
    // Relative names, forward slashes and ".." resolved as the platform's
    // file calls resolve them.
    const std::wstring full = extended ? typed.substr(4) : pe::FullPath(path);
    std::wstring name = folder.folder;
    while (!name.empty() && name.back() == L'\\')
        name.pop_back();
    if (full.size() < name.size() || Upper(full.substr(0, name.size())) != Upper(name) ||
        (full.size() > name.size() && full[name.size()] != L'\\'))
        return typed;
    return (extended ? L"\\\\?\\" : L"") + folder.alias + full.substr(name.size());
}

std::wstring NativeTargetPath(LPCWSTR path)
{
    return ReplaceFolder(path, RedirectedFolder());
}

std::wstring UserTargetPath(LPCWSTR path)
{
    const CFolderAlias& folder = RedirectedFolder();
    return ReplaceFolder(path, {folder.alias, folder.folder});
}

void SetRedirectedFolderForTests(const CFolderAlias* folder)
{
    g_testFolder = folder;
}
