#include "ErrorCode.h"
#include "IsolationAwareLoad.h"
#include "SystemLibrary.h"

#include "../framework/AfxString.h"
#include "../framework/AutoHandles.h"
#include "../framework/ModuleState.h"

namespace
{
constexpr DWORD kAllocate = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// A FormatMessage text in a LocalAlloc block owned by message; false when the
// source has none.
bool FromMessageTable(DWORD source, HMODULE module, DWORD id, CLocalMemory& message)
{
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(kAllocate | source, module, id, kUserDefaultLanguage,
                                        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0)
        return false;
    message.Attach(buffer);
    return true;
}

using RasGetErrorStringFn = DWORD(WINAPI*)(UINT, LPWSTR, DWORD);

bool FromRemoteAccess(WORD low, CLocalMemory& message)
{
    CLibrary ras(IsolationAwareLoadSystemLibrary(L"rasapi32.dll", 0));
    if (!ras)
        return false;
    auto getText = GetProcAddressAs<RasGetErrorStringFn>(ras.Get(), "RasGetErrorStringW");
    if (!getText)
        return false;
    CLocalMemory buffer(LocalAlloc(LMEM_FIXED, 512));
    if (!buffer)
        return false;
    if (getText(low, static_cast<LPWSTR>(buffer.Get()), 256) != 0)
        return false;
    message.Attach(buffer.Detach());
    return true;
}

bool FromInternet(WORD low, CLocalMemory& message)
{
    // As a data file: nothing of wininet's code runs for a message text.
    CLibrary wininet(IsolationAwareLoadSystemLibrary(L"wininet.dll", LOAD_LIBRARY_AS_DATAFILE));
    if (!wininet)
        return false;
    return FromMessageTable(FORMAT_MESSAGE_FROM_HMODULE, wininet.Get(), low, message);
}

// The system's own text for the whole code or, for a code that carries a
// Win32 error number in its low bits, for that number.
bool FromSystem(DWORD code, WORD low, CLocalMemory& message)
{
    return FromMessageTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, message) ||
           FromMessageTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, low, message);
}

bool FromSystemAndProgram(DWORD code, WORD low, CLocalMemory& message)
{
    return FromMessageTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, message) ||
           FromMessageTable(FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleW(nullptr), code,
                            message) ||
           FromMessageTable(FORMAT_MESSAGE_FROM_HMODULE, AfxGetResourceHandle(), code, message) ||
           FromMessageTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, low, message);
}
} // namespace

void FormatErrorText(CString& text, HRESULT code, LPCWSTR insert)
{
    text.Empty();
    const DWORD value = static_cast<DWORD>(code);
    const WORD low = LOWORD(value);

    CLocalMemory message;
    bool found;
    // Win32 error numbers from 600 to 805 share their range with the remote
    // access errors: the system's text where it has one names the real cause
    // (ERROR_ELEVATION_REQUIRED, 740, is what CreateProcess gives for a
    // program that needs elevation); the remote-access table answers for the
    // rest, with no further fall-through.
    if (low >= 600 && low <= 805)
        found = FromSystem(value, low, message) || FromRemoteAccess(low, message);
    else if (low >= 12000 && low <= 12174)
        found = FromInternet(low, message);
    else
        found = FromSystemAndProgram(value, low, message);

    if (found)
    {
        // Read with its inserts ignored, the text keeps "%1" where the
        // platform names the file.
        text = static_cast<LPCWSTR>(message.Get());
        if (insert)
            text.Replace(L"%1", insert);
    }
    else if (value <= 0xFFFF)
        text.Format(L"Unexpected error: %u", value);
    else
        text.Format(L"Unexpected error: 0x%08x", value);
}
