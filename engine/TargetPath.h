// A target's path in the forms the platform's calls take, resolved once per
// keystroke or command from the text the user typed, chose or dropped, and
// handed on to everything that opens the target: each form costs system
// calls (the system folder's alias, the full name, the short name).
#pragma once

#include <windows.h>

#include <string>

class CTargetPath
{
public:
    explicit CTargetPath(LPCWSTR typed);

    // As the user gave it: the boxes name its file, Start's command line
    // quotes it.
    const std::wstring& Typed() const { return m_typed; }
    // Through Sysnative under the system folder in the 32-bit tool on 64-bit
    // Windows (NativePath.h), else as typed: the resource update begins on it.
    const std::wstring& Native() const { return m_native; }
    // The file calls': Native, up to MAX_PATH as it is, beyond it in full and
    // in the extended form, which they take up to the platform's limit.
    const std::wstring& Platform() const { return m_platform; }
    // The loader's and process creation's: Native in full (the loader
    // searches the DLL path for a relative name), beyond MAX_PATH its short
    // (8.3) form where the volume has one. MAX_PATH or more where the loader
    // cannot take it (no short form, or one that passes MAX_PATH too).
    const std::wstring& Loader() const { return m_loader; }

    // The file calls' name of the file beside it with suffix appended to its
    // name (the backup copy, "<path>.bak").
    std::wstring PlatformWith(LPCWSTR suffix) const;

private:
    std::wstring m_typed;
    std::wstring m_native;
    std::wstring m_platform;
    std::wstring m_loader;
};
