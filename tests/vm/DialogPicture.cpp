// A picture of the built Lumaform.exe's main dialog as the screen shows it,
// taken in the emulated 32-bit machine (scripts/vm-i686.sh): starts the
// program, waits for its main dialog, checks that it speaks the expected
// language, copies the virtual display's frame buffer (an XWD file that Xvfb
// keeps up to date) and writes where the dialog lies on it. Then closes the
// program and checks that it ended normally.
//
// LUMAFORM_SCREEN: the frame buffer file. LUMAFORM_PICTURE: the path the
// copy is written to; the dialog's rectangle goes to the same path with
// ".rect" added ("width height left top").
// LUMAFORM_EXPECT_LANGUAGE: en or fr.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "res/resource.h"

#include <cstdio>

using namespace testing;

namespace
{
std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

std::wstring Text(HWND window)
{
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, 128);
    return text;
}
} // namespace

TEST(MainDialogPictured)
{
    const std::wstring screen = Environment(L"LUMAFORM_SCREEN");
    const std::wstring picture = Environment(L"LUMAFORM_PICTURE");
    const bool french = Environment(L"LUMAFORM_EXPECT_LANGUAGE") == L"fr";
    CHECK(FileExists(screen));
    CHECK(!picture.empty());

    const std::wstring exe = Fixture(L"Lumaform.exe");
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    CHECK(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process));
    if (!process.hProcess)
        return;
    WaitForInputIdle(process.hProcess, 60000);
    auto isMain = [](HWND window) { return GetDlgItem(window, IDC_APP_PATH) != nullptr; };
    HWND window = nullptr;
    for (int i = 0; i < 600 && !window; ++i)
    {
        window = FindVisibleWindow(process.dwProcessId, isMain);
        if (!window)
            Sleep(100);
    }
    CHECK(window != nullptr);
    if (window)
    {
        CHECK_EQ(Text(window), std::wstring(L"Lumaform - Orvanel Software "));
        CHECK_EQ(Text(GetDlgItem(window, IDC_ENABLE_XP)),
                 std::wstring(french ? L"&Activer style XP" : L"&Enable XP style"));

        // Everything drawn and on the display before the copy.
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 30000, &ignored);
        Sleep(1000);
        CHECK(CopyFileW(screen.c_str(), picture.c_str(), FALSE));
        RECT rect = {};
        GetWindowRect(window, &rect);
        char line[64];
        snprintf(line, sizeof line, "%ld %ld %ld %ld\n", rect.right - rect.left,
                 rect.bottom - rect.top, rect.left, rect.top);
        CHECK(WriteFileBytes(picture + L".rect", line));

        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        CHECK_EQ(WaitForSingleObject(process.hProcess, 60000), DWORD(WAIT_OBJECT_0));
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        CHECK_EQ(code, DWORD(0));
    }
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
