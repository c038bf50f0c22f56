#include "LumaformSession.h"

#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "res/resource.h"

#include <vector>

namespace testing
{
namespace
{
// The process's main dialog, or (mainDialog false) another of its dialogs
// or boxes than exclude; none once the process has ended or after timeout.
HWND WaitForWindow(const PROCESS_INFORMATION& process, HWND exclude, bool mainDialog, DWORD timeout)
{
    auto accept = [&](HWND window)
    {
        wchar_t cls[16] = L"";
        GetClassNameW(window, cls, 16);
        return window != exclude && std::wstring(cls) == L"#32770" &&
               (!mainDialog || GetDlgItem(window, IDC_APP_PATH));
    };
    HWND found = nullptr;
    for (DWORD waited = 0; waited <= timeout && !found; waited += 50)
    {
        found = FindVisibleWindow(process.dwProcessId, accept);
        if (!found && WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
            break;
    }
    return found;
}

std::wstring Text(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data)
{
    wchar_t cls[16] = L"";
    GetClassNameW(child, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0 && GetWindowTextLengthW(child) > 0)
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
    return TRUE;
}

// The message text of a message box: its one static control with text.
std::wstring MessageText(HWND box)
{
    std::vector<HWND> statics;
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&statics));
    return statics.empty() ? std::wstring() : Text(statics.front());
}
} // namespace

CLumaformSession::CLumaformSession() : CLumaformSession(Fixture(L"Lumaform.exe"), std::wstring()) {}

namespace
{
// The built program, with LUMAFORM_RECORD set for it to inherit.
std::wstring RecordingIn(const std::wstring& record)
{
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", record.c_str());
    return Fixture(L"Lumaform.exe");
}
} // namespace

CLumaformSession::CLumaformSession(const std::wstring& record)
    : CLumaformSession(RecordingIn(record), std::wstring())
{
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", nullptr);
}

CLumaformSession::CLumaformSession(const std::wstring& exe, const std::wstring& currentDirectory)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                        &m_process))
    {
        Fail(__FILE__, __LINE__, "Lumaform.exe did not start: error " + Hex(GetLastError()));
        return;
    }
    WaitForInputIdle(m_process.hProcess, 20000);
    m_window = WaitForWindow(m_process, nullptr, true, 20000);
    if (!m_window)
        Fail(__FILE__, __LINE__, "Lumaform.exe showed no main window: " + ExitState());
}

// Whether the program still runs, or how it ended: what a test that lost
// its window needs to know.
std::string CLumaformSession::ExitState() const
{
    DWORD code = 0;
    if (!GetExitCodeProcess(m_process.hProcess, &code))
        return "its state is unknown, error " + Hex(GetLastError());
    return code == STILL_ACTIVE ? "it still runs" : "it ended with code " + Hex(code);
}

CLumaformSession::~CLumaformSession()
{
    if (!m_process.hProcess)
        return;
    // The program ends only when the test closes it; anything else (a crash)
    // fails the test with its exit code.
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0)
        Fail(__FILE__, __LINE__, "Lumaform.exe ended before the test closed it: " + ExitState());
    else if (m_window)
        PostMessageW(m_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(m_process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(m_process.hProcess, 1);
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

void CLumaformSession::SetPath(const std::wstring& path) const
{
    SendMessageW(GetDlgItem(m_window, IDC_APP_PATH), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
}

void CLumaformSession::SetSaveCopy(bool save) const
{
    SendMessageW(GetDlgItem(m_window, IDC_SAVE_COPY), BM_SETCHECK,
                 save ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string CLumaformSession::Buttons() const
{
    std::string states;
    for (int id : {IDC_ENABLE_XP, IDC_DISABLE_XP, IDC_START})
    {
        const char letter = id == IDC_ENABLE_XP ? 'E' : id == IDC_DISABLE_XP ? 'D' : 'S';
        states += IsWindowEnabled(GetDlgItem(m_window, id)) ? letter : '-';
    }
    return states;
}

void CLumaformSession::Click(int id) const
{
    PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(m_window, id)));
}

MessageBoxSeen CLumaformSession::Answer(int button, DWORD timeout) const
{
    MessageBoxSeen seen;
    HWND box = WaitForWindow(m_process, m_window, false, timeout);
    if (!box)
        return seen;
    seen.shown = true;
    seen.caption = Text(box);
    seen.text = MessageText(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    for (DWORD waited = 0; waited < timeout && IsWindow(box); waited += 50)
        Sleep(50);
    return seen;
}

bool CLumaformSession::Idle(DWORD timeout) const
{
    for (DWORD waited = 0; waited <= timeout; waited += 50)
    {
        if (IsWindowEnabled(m_window))
            return true;
        if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, 50) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}
} // namespace testing
