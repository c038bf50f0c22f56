// Full and extended-length forms of a path, so that names built beside a
// target (temporary files, copies) work up to the platform's path limit and
// not only up to MAX_PATH.
#pragma once

#include <windows.h>

#include <string>

namespace pe
{
// The full form of path (GetFullPathNameW, no fixed buffer); path itself when
// it cannot be resolved.
std::wstring FullPath(LPCWSTR path);

// full, or its "\\?\" form (UNC names as "\\?\UNC\server\share\...") when it
// and spare further characters would not fit in MAX_PATH; names already in a
// device or extended form are left as they are.
std::wstring ExtendedPath(const std::wstring& full, size_t spare = 0);

// path without its extended-length prefix: "\\?\UNC\server\..." as
// "\\server\...", "\\?\C:\..." as "C:\...", any other path as it is.
std::wstring PlainPath(const std::wstring& path);

// The folder part of path with its separator, or empty for a bare name.
std::wstring FolderOf(const std::wstring& path);
} // namespace pe
