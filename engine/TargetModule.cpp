#include "TargetModule.h"

namespace
{
#if defined(_WIN64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

// The machine field of a module loaded as data. Such a handle carries flag
// bits in its low bits; the headers are at the aligned address.
WORD ModuleMachine(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->FileHeader.Machine;
}
} // namespace

HMODULE LoadTargetModule(LPCWSTR path)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return nullptr;
    if (ModuleMachine(module) != kOwnMachine)
    {
        FreeLibrary(module);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    return module;
}
