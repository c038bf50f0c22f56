#include "TargetPath.h"

#include "NativePath.h"
#include "pe/Win32Path.h"

namespace
{
// native's form for the file calls.
std::wstring PlatformForm(const std::wstring& native)
{
    if (native.size() < MAX_PATH)
        return native;
    return pe::ExtendedPath(pe::FullPath(native.c_str()));
}

// native's form for the loader. Resolved here: where the program restricts
// the DLL search to the system folder, the loader would look for a relative
// name only there.
std::wstring LoaderForm(const std::wstring& native)
{
    const std::wstring full = pe::FullPath(native.c_str());
    if (full.size() < MAX_PATH)
        return full;
    const std::wstring extended = pe::ExtendedPath(full);
    const DWORD size = GetShortPathNameW(extended.c_str(), nullptr, 0);
    std::wstring shortName(size, L'\0');
    const DWORD length = size ? GetShortPathNameW(extended.c_str(), &shortName[0], size) : 0;
    if (length == 0 || length >= size)
        return extended; // the platform will say what it makes of it
    shortName.resize(length);
    // In its plain form when that fits: some calls take no extended names.
    std::wstring plain = pe::PlainPath(shortName);
    return plain.size() < MAX_PATH ? plain : shortName;
}
} // namespace

CTargetPath::CTargetPath(LPCWSTR typed)
    : m_typed(typed ? typed : L""), m_native(NativeTargetPath(m_typed.c_str())),
      m_platform(PlatformForm(m_native)), m_loader(LoaderForm(m_native))
{
}

std::wstring CTargetPath::PlatformWith(LPCWSTR suffix) const
{
    return PlatformForm(NativeTargetPath((m_typed + suffix).c_str()));
}
