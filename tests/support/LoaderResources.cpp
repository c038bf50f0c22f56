#include "LoaderResources.h"

#include "TestHarness.h"
#include "TestSupport.h"

namespace testing
{
namespace
{
std::wstring Key(LPCWSTR value)
{
    return IS_INTRESOURCE(value)
               ? L"#" + std::to_wstring(LOWORD(reinterpret_cast<ULONG_PTR>(value)))
               : std::wstring(value);
}

BOOL CALLBACK OnLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param)
{
    auto& out = *reinterpret_cast<ResourceMap*>(param);
    HRSRC found = FindResourceExW(module, type, name, language);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    out[Key(type) + L"/" + Key(name) + L"/" + std::to_wstring(language)] =
        std::string(data, SizeofResource(module, found));
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    return EnumResourceLanguagesW(module, type, name, OnLanguage, param);
}

BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR param)
{
    return EnumResourceNamesW(module, type, OnName, param);
}
} // namespace

ResourceMap LoaderResources(const std::wstring& path, DWORD flags)
{
    ResourceMap out;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, flags);
    if (!module)
    {
        Fail(__FILE__, __LINE__, "cannot load " + Utf8(path));
        return out;
    }
    EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&out));
    FreeLibrary(module);
    return out;
}
} // namespace testing
