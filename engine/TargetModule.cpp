#include "TargetModule.h"

#include "TargetPath.h"

#include <cstring>

#ifndef IMAGE_FILE_MACHINE_ARM64
#define IMAGE_FILE_MACHINE_ARM64 0xAA64
#endif

LPCSTR ProcessorArchitectureName(WORD machine)
{
    switch (machine)
    {
    case IMAGE_FILE_MACHINE_I386:
        return "X86";
    case IMAGE_FILE_MACHINE_AMD64:
        return "amd64";
    case IMAGE_FILE_MACHINE_ARM64:
        return "arm64";
    default:
        return nullptr;
    }
}

const IMAGE_NT_HEADERS* DataModuleHeaders(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

namespace
{
#ifndef LOAD_LIBRARY_AS_IMAGE_RESOURCE
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#endif

// Whether a load failed for want of memory or address space rather than
// for anything about the file.
bool OutOfAddressSpace(DWORD error)
{
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
           error == ERROR_COMMITMENT_LIMIT || error == ERROR_NO_SYSTEM_RESOURCES ||
           error == ERROR_NOT_ENOUGH_QUOTA;
}
} // namespace

HMODULE LoadTargetModule(LPCWSTR path)
{
    return LoadTargetModuleByLoaderName(CTargetPath(path).Loader());
}

HMODULE LoadTargetModuleByLoaderName(const std::wstring& name)
{
    HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    // A data file is mapped whole; a 32-bit process may have no room for a
    // program with a gigabyte or more appended (an installer). Laid out as
    // an image only its sections are mapped (Vista and later).
    if (!module && OutOfAddressSpace(GetLastError()))
        module = LoadLibraryExW(name.c_str(), nullptr,
                                LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return nullptr;
    if (!ProcessorArchitectureName(DataModuleHeaders(module)->FileHeader.Machine))
    {
        FreeLibrary(module);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    return module;
}

bool IsMappedRange(const void* bytes, size_t size)
{
    auto at = static_cast<const BYTE*>(bytes);
    while (size > 0)
    {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(at, &region, sizeof region) || region.State != MEM_COMMIT ||
            (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
            return false;
        const size_t left = static_cast<size_t>(static_cast<const BYTE*>(region.BaseAddress) +
                                                region.RegionSize - at);
        if (left >= size)
            return true;
        at += left;
        size -= left;
    }
    return true;
}

namespace
{
// size bytes at rva in a module from LoadTargetModule: mapped as the file
// lies on disk, or laid out as an image (the handle's low bits say which).
// Null when they are not all there.
const BYTE* ModuleBytes(HMODULE module, DWORD rva, DWORD size)
{
    auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
    const IMAGE_NT_HEADERS* headers = DataModuleHeaders(module);
    const BYTE* at = nullptr;
    if (reinterpret_cast<ULONG_PTR>(module) & 2)
    {
        at = base + rva;
    }
    else
    {
        const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(headers);
        const WORD count = headers->FileHeader.NumberOfSections;
        if (!IsMappedRange(sections, count * sizeof *sections))
            return nullptr;
        for (WORD i = 0; i < count && !at; ++i)
        {
            const IMAGE_SECTION_HEADER& section = sections[i];
            const DWORD into = rva - section.VirtualAddress;
            if (rva >= section.VirtualAddress && into < section.SizeOfRawData &&
                section.SizeOfRawData - into >= size)
                at = base + section.PointerToRawData + into;
        }
    }
    return at && IsMappedRange(at, size) ? at : nullptr;
}

bool ReadModuleBytes(DWORD rva, void* to, DWORD size, void* module)
{
    const BYTE* at = ModuleBytes(static_cast<HMODULE>(module), rva, size);
    if (at)
        memcpy(to, at, size);
    return at != nullptr;
}
} // namespace

DWORD RuntimeFlags(bool pe32, DWORD rva, DWORD size, ReadAtRva read, void* context)
{
    IMAGE_COR20_HEADER header;
    if (!pe32 || rva == 0 || size < sizeof header || !read(rva, &header, sizeof header, context))
        return 0;
    return header.Flags;
}

LPCSTR ManifestArchitectureOf(WORD machine, DWORD runtimeFlags)
{
    if (machine == IMAGE_FILE_MACHINE_I386 && (runtimeFlags & COMIMAGE_FLAGS_ILONLY) &&
        !(runtimeFlags & COMIMAGE_FLAGS_32BITREQUIRED))
        return "*";
    return ProcessorArchitectureName(machine);
}

LPCSTR ManifestArchitecture(HMODULE module)
{
    const IMAGE_NT_HEADERS* headers = DataModuleHeaders(module);
    DWORD flags = 0;
    if (headers->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    {
        const auto& optional = reinterpret_cast<const IMAGE_NT_HEADERS32*>(headers)->OptionalHeader;
        if (optional.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR)
        {
            const IMAGE_DATA_DIRECTORY& runtime =
                optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
            flags =
                RuntimeFlags(true, runtime.VirtualAddress, runtime.Size, ReadModuleBytes, module);
        }
    }
    return ManifestArchitectureOf(headers->FileHeader.Machine, flags);
}
