// Opening a target file to read its resources without running any of its
// code.
#pragma once

#include <windows.h>

#include <string>

// Loads path as a data file: no DllMain, no imports, no code of the target
// runs in the tool. The file is mapped as it lies on disk rather than laid
// out as an image, which keeps the cost of a load flat whatever the size of
// the file (the probe runs on every keystroke). Programs for the processors
// the tool writes manifests for are taken, whichever the tool's own: x86,
// x64 and ARM64; any other (IA-64, 32-bit ARM, ...) is refused with
// ERROR_BAD_EXE_FORMAT. Null with the last error set on failure; the
// caller releases the module with FreeLibrary.
HMODULE LoadTargetModule(LPCWSTR path);
// The same for the loader's name of a target (CTargetPath::Loader).
HMODULE LoadTargetModuleByLoaderName(const std::wstring& loaderName);

// The manifests' name of a processor ("X86", "amd64", "arm64"), or null for
// one the tool does not serve.
LPCSTR ProcessorArchitectureName(WORD machine);

// The flags of a program's .NET runtime header (COMIMAGE_FLAGS_*), or 0
// when it has none: for a PE32 image whose runtime directory entry (rva,
// size) names one, read through read, which copies size bytes at an RVA
// (false when they cannot be read). Both ways of opening a target, the
// loader's mapping and the tool's own PE reader, get them from here.
using ReadAtRva = bool (*)(DWORD rva, void* to, DWORD size, void* context);
DWORD RuntimeFlags(bool pe32, DWORD rva, DWORD size, ReadAtRva read, void* context);

// The processorArchitecture a manifest for a program for machine with the
// .NET runtime flags names: its processor's, or "*" for a .NET program that
// is all IL and not held to 32 bits, which Windows runs as a 64-bit process
// on x64 and ARM64 and as a 32-bit one on x86.
LPCSTR ManifestArchitectureOf(WORD machine, DWORD runtimeFlags);
// The same for the program in module (from LoadTargetModule).
LPCSTR ManifestArchitecture(HMODULE module);

// Whether [bytes, bytes + size) is mapped and readable: a damaged file's
// directories may point past the end of its mapping.
bool IsMappedRange(const void* bytes, size_t size);

// The headers of a module loaded as a data file, which the loader checked.
// Such a handle carries flag bits in its low bits; the headers are at the
// aligned address.
const IMAGE_NT_HEADERS* DataModuleHeaders(HMODULE module);
