// The 32-bit tool on 64-bit Windows: WOW64 redirects its file calls under
// %windir%\System32 to the 32-bit %windir%\SysWOW64, so a program the user
// named there would be probed, copied, changed and started in the other
// folder. The target's own files are named through Sysnative instead, the
// alias by which a 32-bit process reaches the 64-bit folder (Windows Vista
// and later; XP x64 and Server 2003 have it only with KB942589 and keep the
// redirection without it). Redirection itself stays on: everything else the
// tool opens, its own DLLs above all, must still come from SysWOW64.
#pragma once

#include <windows.h>

#include <string>

// A folder as the platform names it, and the alias through which the
// target's files in it are reached.
struct CFolderAlias
{
    std::wstring folder;
    std::wstring alias;
};

// path with its folder part replaced by alias when path, in full, names
// folder or a file below it (compared without regard to case; the extended
// "\\?\" form is kept); otherwise path unchanged.
std::wstring ReplaceFolder(LPCWSTR path, const CFolderAlias& folder);

// The target's path as the tool hands it to the platform: path itself, or,
// in the 32-bit tool on 64-bit Windows, the same file named through
// Sysnative when it lies under the system folder.
std::wstring NativeTargetPath(LPCWSTR path);
// The other way, for a name the tool shows the user.
std::wstring UserTargetPath(LPCWSTR path);

// For tests, which run where no redirection exists: makes folder stand for
// the redirected system folder and its alias; null returns to the
// platform's.
void SetRedirectedFolderForTests(const CFolderAlias* folder);
