#include "TargetModule.h"

namespace
{
#if defined(_WIN64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif
} // namespace

const IMAGE_NT_HEADERS* DataModuleHeaders(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

HMODULE LoadTargetModule(LPCWSTR path)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return nullptr;
    if (DataModuleHeaders(module)->FileHeader.Machine != kOwnMachine)
    {
        FreeLibrary(module);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    return module;
}
