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
        switch (GetLastError())
        {
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_COMMITMENT_LIMIT:
        case ERROR_NO_SYSTEM_RESOURCES:
        case ERROR_NOT_ENOUGH_QUOTA:
            return ContextVerdict::NoRoom;
        default:
            return ContextVerdict::Refused;
        }
    }
    ReleaseActCtx(context);
    return ContextVerdict::Builds;
}
