#include "IsolationAwareLoad.h"
#include "SystemLibrary.h"

namespace
{
using CreateActCtxFn = HANDLE(WINAPI*)(const ACTCTXW*);
using ActivateActCtxFn = BOOL(WINAPI*)(HANDLE, ULONG_PTR*);
using DeactivateActCtxFn = BOOL(WINAPI*)(DWORD, ULONG_PTR);
using ReleaseActCtxFn = void(WINAPI*)(HANDLE);

// The program's activation context, made once from the manifest of the module
// this code lives in and released at process exit.
class CProgramActivationContext
{
public:
    CProgramActivationContext()
    {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto create = GetProcAddressAs<CreateActCtxFn>(kernel, "CreateActCtxW");
        m_activate = GetProcAddressAs<ActivateActCtxFn>(kernel, "ActivateActCtx");
        m_deactivate = GetProcAddressAs<DeactivateActCtxFn>(kernel, "DeactivateActCtx");
        m_release = GetProcAddressAs<ReleaseActCtxFn>(kernel, "ReleaseActCtx");
        if (!create || !m_activate || !m_deactivate)
        {
            m_hasFunctions = false; // no side-by-side support: load plainly
            return;
        }

        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&IsolationAwareLoadLibraryEx), &self);
        ACTCTXW request = {};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.hModule = self;
        request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        m_context = create(&request);
        if (m_context == INVALID_HANDLE_VALUE)
        {
            // A module without a manifest has no context of its own; the
            // loads then run in whatever context is active, as they would
            // without the wrappers.
            const DWORD error = GetLastError();
            m_usable =
                error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
                error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND;
            m_context = nullptr;
        }
    }
    ~CProgramActivationContext()
    {
        if (m_context && m_release)
            m_release(m_context);
    }
    CProgramActivationContext(const CProgramActivationContext&) = delete;
    CProgramActivationContext& operator=(const CProgramActivationContext&) = delete;

    HMODULE Load(LPCWSTR name, DWORD flags) const
    {
        if (!m_hasFunctions || !m_context)
            return m_usable ? LoadLibraryExW(name, nullptr, flags) : nullptr;
        ULONG_PTR cookie = 0;
        if (!m_activate(m_context, &cookie))
            return nullptr;
        HMODULE module = LoadLibraryExW(name, nullptr, flags);
        const DWORD error = GetLastError();
        m_deactivate(0, cookie);
        SetLastError(error);
        return module;
    }

private:
    bool m_hasFunctions = true;
    bool m_usable = true;
    HANDLE m_context = nullptr;
    ActivateActCtxFn m_activate = nullptr;
    DeactivateActCtxFn m_deactivate = nullptr;
    ReleaseActCtxFn m_release = nullptr;
};
} // namespace

HMODULE IsolationAwareLoadLibraryEx(LPCWSTR name, DWORD flags)
{
    static const CProgramActivationContext context;
    return context.Load(name, flags);
}

HMODULE IsolationAwareLoadSystemLibrary(LPCWSTR name, DWORD flags)
{
    WCHAR path[MAX_PATH];
    if (!GetSystemLibraryPath(name, path))
        return nullptr;
    return IsolationAwareLoadLibraryEx(path, SystemLibraryLoadFlags(flags));
}
