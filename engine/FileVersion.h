// Reading a file's version from its version resource.
#pragma once

#include "TargetPath.h"

#include <windows.h>

// Packed version: major (low 8 bits) in bits 31-24, minor (low 8 bits) in
// bits 23-16, release in bits 15-0; build gets the fourth number.
// packed is always written (0 unless read); build only when the numbers were
// read. A null path reads the program's own executable. Non-zero when the
// version data were read. Out of memory throws the framework's exception.
BOOL GetFileVersionNumbers(LPCWSTR path, DWORD& packed, int* build = nullptr);
// The same for a target whose path is resolved already.
BOOL GetTargetVersionNumbers(const CTargetPath& path, DWORD& packed, int* build = nullptr);

inline int VersionMajor(DWORD packed)
{
    return static_cast<int>(packed >> 24);
}
inline int VersionMinor(DWORD packed)
{
    return static_cast<int>((packed >> 16) & 0xFF);
}
inline int VersionRelease(DWORD packed)
{
    return static_cast<int>(packed & 0xFFFF);
}
