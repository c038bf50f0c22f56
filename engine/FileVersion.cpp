#include "FileVersion.h"
#include "ImageResources.h"
#include "TargetModule.h"
#include "TargetPath.h"

#include "../errors/SystemLibrary.h"
#include "../framework/AutoHandles.h"
#include "../framework/MemFile.h"
#include "../framework/ModuleState.h"

#include <cstring>
#include <cwchar>

namespace
{
// The platform's version functions, from version.dll in the system folder:
// it is not one of the libraries that Windows always takes from there, so a
// static import would load a version.dll lying beside the program. Loaded
// for one reading and released after it.
class CVersionFunctions
{
public:
    CVersionFunctions() : m_library(LoadSystemLibrary(L"version.dll", 0))
    {
        if (!m_library)
            return;
        GetFileVersionInfoSizeW =
            GetProcAddressAs<GetFileVersionInfoSizeFn>(m_library.Get(), "GetFileVersionInfoSizeW");
        GetFileVersionInfoW =
            GetProcAddressAs<GetFileVersionInfoFn>(m_library.Get(), "GetFileVersionInfoW");
        VerQueryValueW = GetProcAddressAs<VerQueryValueFn>(m_library.Get(), "VerQueryValueW");
    }
    explicit operator bool() const
    {
        return GetFileVersionInfoSizeW && GetFileVersionInfoW && VerQueryValueW;
    }

    using GetFileVersionInfoSizeFn = decltype(&::GetFileVersionInfoSizeW);
    using GetFileVersionInfoFn = decltype(&::GetFileVersionInfoW);
    using VerQueryValueFn = decltype(&::VerQueryValueW);
    GetFileVersionInfoSizeFn GetFileVersionInfoSizeW = nullptr;
    GetFileVersionInfoFn GetFileVersionInfoW = nullptr;
    VerQueryValueFn VerQueryValueW = nullptr;

private:
    CLibrary m_library;
};

// Whether [data, data + size) lies in readable memory.
bool IsReadableRange(const BYTE* data, DWORD size)
{
    const ULONG_PTR end = reinterpret_cast<ULONG_PTR>(data) + size;
    if (!data || end < reinterpret_cast<ULONG_PTR>(data))
        return false;
    for (ULONG_PTR at = reinterpret_cast<ULONG_PTR>(data); at < end;)
    {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) ||
            region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
            return false;
        at = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

// The size of the image that the headers of a module mapped as data
// declare, or 0 when its optional header is of neither kind.
DWORD DeclaredImageSize(HMODULE module)
{
    // PE32 and PE32+ headers keep SizeOfImage at different places; a
    // program of either kind may be read, whichever the tool's own.
    const IMAGE_NT_HEADERS* nt = DataModuleHeaders(module);
    const auto* pe32 = reinterpret_cast<const IMAGE_NT_HEADERS32*>(nt);
    const auto* pe32Plus = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt);
    switch (nt->OptionalHeader.Magic)
    {
    case IMAGE_NT_OPTIONAL_HDR32_MAGIC:
        return pe32->OptionalHeader.SizeOfImage;
    case IMAGE_NT_OPTIONAL_HDR64_MAGIC:
        return pe32Plus->OptionalHeader.SizeOfImage;
    default:
        return 0;
    }
}

// The platform's version reader takes the version resource's size and
// address on trust and faults when a damaged file points them outside the
// image. Look at them first with the file mapped as data: the data must be
// readable there, and must lie inside the image that the headers declare,
// where a reader that lays the file out as an image looks for it. Files the
// loader cannot map are left to the platform, which reads older formats by
// itself.
bool VersionResourceIsSound(LPCWSTR path)
{
    CLibrary module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return true;
    HRSRC info = FindResourceW(module.Get(), MAKEINTRESOURCEW(VS_VERSION_INFO), VS_FILE_INFO);
    if (!info)
        return true;
    const DWORD size = SizeofResource(module.Get(), info);
    HGLOBAL loaded = LoadResource(module.Get(), info);
    const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    if (!IsReadableRange(data, size))
        return false;
    // The loader's resource handle is the resource's data entry.
    const auto* entry = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY*>(info);
    return IsReadableRange(reinterpret_cast<const BYTE*>(entry), sizeof *entry) &&
           ULONGLONG(entry->OffsetToData) + entry->Size <= DeclaredImageSize(module.Get());
}

void PackVersion(const VS_FIXEDFILEINFO& info, DWORD& packed, int* build)
{
    packed = ((HIWORD(info.dwFileVersionMS) & 0xFFu) << 24) |
             ((LOWORD(info.dwFileVersionMS) & 0xFFu) << 16) | HIWORD(info.dwFileVersionLS);
    if (build)
        *build = LOWORD(info.dwFileVersionLS);
}

// The version of a file whose name the loader cannot take, read with the
// tool's own reader: the fixed part of its version block, which follows the
// block's header (three WORDs) and key ("VS_VERSION_INFO") at 4-byte
// alignment, as the format lays it out.
BOOL VersionFromFile(LPCWSTR path, DWORD& packed, int* build)
{
    CImageResources resources;
    if (!ReadImageResources(path, resources))
        return FALSE;
    if (resources.versions.empty() || !resources.versions[0].inFile)
        return FALSE;
    const std::vector<uint8_t>& block = resources.versions[0].bytes;
    constexpr size_t kKey = 6, kFixed = 40;
    static const wchar_t kRootKey[] = L"VS_VERSION_INFO";
    VS_FIXEDFILEINFO info;
    WORD valueLength = 0;
    if (block.size() < kFixed + sizeof info)
        return FALSE;
    memcpy(&valueLength, block.data() + 2, sizeof valueLength);
    memcpy(&info, block.data() + kFixed, sizeof info);
    if (valueLength < sizeof info || memcmp(block.data() + kKey, kRootKey, sizeof kRootKey) != 0 ||
        info.dwSignature != VS_FFI_SIGNATURE)
        return FALSE;
    PackVersion(info, packed, build);
    return TRUE;
}

// The version of the file the loader knows as loaderName and the file calls
// as platformName: the platform's version reader and the data-file load look
// for a name as the loader does; a name the loader cannot take is read with
// the tool's own PE reader.
BOOL VersionNumbers(LPCWSTR loaderName, LPCWSTR platformName, DWORD& packed, int* build)
{
    if (wcslen(loaderName) >= MAX_PATH)
        return VersionFromFile(platformName, packed, build);
    const LPCWSTR path = loaderName;
    if (!VersionResourceIsSound(path))
        return FALSE;

    const CVersionFunctions version;
    if (!version)
        return FALSE;
    DWORD handle = 0;
    const DWORD size = version.GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return FALSE;
    CRuntimeHeapBlock data(malloc(size));
    if (!data)
        AfxThrowMemoryException();
    if (!version.GetFileVersionInfoW(path, 0, size, data.Get()))
        return FALSE;

    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    version.VerQueryValueW(data.Get(), L"\\", reinterpret_cast<void**>(&info), &infoLength);
    if (info)
        PackVersion(*info, packed, build);
    return TRUE;
}
} // namespace

BOOL GetFileVersionNumbers(LPCWSTR path, DWORD& packed, int* build)
{
    if (path)
        return GetTargetVersionNumbers(CTargetPath(path), packed, build);
    // The program's own name is the loader's already, and is no target to
    // be named through Sysnative.
    packed = 0;
    WCHAR ownPath[MAX_PATH];
    ownPath[0] = L'\0';
    GetModuleFileNameW(AfxGetResourceHandle(), ownPath, MAX_PATH);
    return VersionNumbers(ownPath, ownPath, packed, build);
}

BOOL GetTargetVersionNumbers(const CTargetPath& path, DWORD& packed, int* build)
{
    packed = 0;
    return VersionNumbers(path.Loader().c_str(), path.Platform().c_str(), packed, build);
}
