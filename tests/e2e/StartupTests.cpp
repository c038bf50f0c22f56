// The built Lumaform.exe as a user starts it: a process of its own, driven
// from this one by window messages.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "res/resource.h"

using namespace testing;

namespace
{
// Starts Lumaform.exe with the given command line tail; the main window, or
// null when none appeared within 20 s.
HWND Start(const std::wstring& arguments, PROCESS_INFORMATION& process)
{
    const std::wstring exe = Fixture(L"Lumaform.exe");
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    WaitForInputIdle(process.hProcess, 20000);
    auto isMain = [](HWND window) { return GetDlgItem(window, IDC_APP_PATH) != nullptr; };
    HWND found = nullptr;
    for (int i = 0; i < 200 && !found; ++i)
    {
        found = FindVisibleWindow(process.dwProcessId, isMain);
        if (!found)
            Sleep(100);
    }
    return found;
}

void CheckStartsAndEndsOnEscape(const std::wstring& arguments)
{
    PROCESS_INFORMATION process = {};
    HWND window = Start(arguments, process);
    CHECK(window != nullptr);
    if (window)
    {
        wchar_t caption[64] = L"";
        GetWindowTextW(window, caption, 64);
        CHECK_EQ(std::wstring(caption), std::wstring(L"Lumaform - Orvanel Software "));
        HWND edit = GetDlgItem(window, IDC_APP_PATH);
        CHECK_EQ(GetWindowTextLengthW(edit), 0);
        for (int id : {IDC_ENABLE_XP, IDC_DISABLE_XP, IDC_START})
            CHECK(!IsWindowEnabled(GetDlgItem(window, id)));
        CHECK(IsWindowEnabled(GetDlgItem(window, IDC_BROWSE)));

        // A typed path is probed in the other process too.
        const std::wstring target = Fixture(L"no_version.exe");
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
        CHECK(IsWindowEnabled(GetDlgItem(window, IDC_ENABLE_XP)));
        CHECK(!IsWindowEnabled(GetDlgItem(window, IDC_DISABLE_XP)));

        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(edit, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        CHECK_EQ(WaitForSingleObject(process.hProcess, 20000), DWORD(WAIT_OBJECT_0));
        CHECK(!IsWindow(window));
    }
    if (process.hProcess)
    {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
} // namespace

TEST(StartsWithEmptyFieldAndEndsOnEscape)
{
    CheckStartsAndEndsOnEscape(L"");
}

TEST(ArgumentsChangeNothing)
{
    CheckStartsAndEndsOnEscape(L"\"" + Fixture(L"no_version.exe") + L"\" /quiet --enable x");
}

TEST(CloseBoxEndsTheProcess)
{
    PROCESS_INFORMATION process = {};
    HWND window = Start(L"", process);
    CHECK(window != nullptr);
    if (window)
    {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        CHECK_EQ(WaitForSingleObject(process.hProcess, 20000), DWORD(WAIT_OBJECT_0));
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        CHECK_EQ(code, DWORD(0));
    }
    if (process.hProcess)
    {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
