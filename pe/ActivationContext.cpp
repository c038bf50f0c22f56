#include "ActivationContext.h"

namespace
{
#if defined(__x86_64__) || defined(_M_X64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_ARM64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

WORD ProcessorOf(WORD machine)
{
    switch (machine)
    {
    case IMAGE_FILE_MACHINE_AMD64:
        return PROCESSOR_ARCHITECTURE_AMD64;
    case IMAGE_FILE_MACHINE_ARM64:
        return 12; // PROCESSOR_ARCHITECTURE_ARM64, missing from older headers
    default:
        return PROCESSOR_ARCHITECTURE_INTEL;
    }
}
// Whether the whole file at path can be opened and mapped into this process:
// the platform maps it to read its manifest, and a 32-bit process may have
// no room left for a file of a gigabyte or more. The view is let go at once;
// nothing is read.
bool CanMapWhole(LPCWSTR path)
{
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
    CloseHandle(file);
    return view != nullptr;
}
} // namespace

bool JudgesProcessor(WORD machine)
{
    return machine == kOwnMachine;
}

ContextVerdict JudgeActivationContext(LPCWSTR path, WORD language, WORD machine)
{
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_LANGID_VALID |
                      ACTCTX_FLAG_PROCESSOR_ARCHITECTURE_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEW(1);
    request.wLangId = language;
    request.wProcessorArchitecture = ProcessorOf(machine);
    const HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE)
    {
        // The error says little (the platform may report a mapping that
        // failed as any other cause): whether the file fits is asked again.
        switch (GetLastError())
        {
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_COMMITMENT_LIMIT:
        case ERROR_NO_SYSTEM_RESOURCES:
        case ERROR_NOT_ENOUGH_QUOTA:
            return ContextVerdict::Unknown;
        default:
            return CanMapWhole(path) ? ContextVerdict::Refused : ContextVerdict::Unknown;
        }
    }
    ReleaseActCtx(context);
    return ContextVerdict::Builds;
}
