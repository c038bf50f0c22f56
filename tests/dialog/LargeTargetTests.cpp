// Enable and Disable on a target far larger than its resources: a small
// program with a gigabyte of appended data (a sparse file, random bytes in
// its first and last MiB), as installers and self-extracting archives are.
// Each command raises the process's peak memory by at most 64 MiB and keeps
// the appended data byte for byte. Its own test executable, so that nothing
// before it has raised the peak. Then the same long work as the user sees
// it: the progress window, a main window that keeps answering, Cancel,
// closing, and failures while the window is up.
#include "DialogDriver.h"
#include "TestApp.h"

#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/UpdateFaults.h"

#include "framework/WinApp.h"
#include "res/resource.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <climits>
#include <vector>

using namespace testing;

namespace
{
constexpr ULONGLONG kMiB = 1024 * 1024;
constexpr ULONGLONG kOverlay = 1024 * kMiB;

ULONGLONG PeakMemory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

ULONGLONG SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return ULONGLONG(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string ReadAt(const std::wstring& path, ULONGLONG offset, size_t size)
{
    std::string bytes(size, '\0');
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(size), &read, &at);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// The program, its first MiB of appended data, a gigabyte of nothing (a
// sparse file), its last MiB.
bool WriteLargeTarget(const std::wstring& path, const std::string& program, const std::string& head,
                      const std::string& tail)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, program.data(), static_cast<DWORD>(program.size()), &written, nullptr) &&
        WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(program.size() + kOverlay - tail.size());
    ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
         WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
    CloseHandle(file);
    return ok;
}
} // namespace

TEST(LargeTargetsChangeInBoundedMemory)
{
    CScratchFolder folder(L"large_target");
    const std::wstring target = folder / L"large.exe";
    const std::string program = ReadFileBytes(Fixture(L"rich_resources.exe"));
    const std::string head = RandomBytes(kMiB, 1), tail = RandomBytes(kMiB, 2);
    CHECK(WriteLargeTarget(target, program, head, tail));
    CHECK_EQ(SizeOf(target), program.size() + kOverlay);
    auto overlayIntact = [&]
    {
        const ULONGLONG size = SizeOf(target);
        return ReadAt(target, size - kOverlay, head.size()) == head &&
               ReadAt(target, size - tail.size(), tail.size()) == tail;
    };

    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetSaveCopy(d.m_hWnd, false);
                           SetPath(d.m_hWnd, target);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                           for (int button : {IDC_ENABLE_XP, IDC_DISABLE_XP})
                           {
                               theTestApp.Clear();
                               const ULONGLONG before = PeakMemory();
                               Click(d.m_hWnd, button);
                               const ULONGLONG after = PeakMemory();
                               printf("  %s: peak memory %llu MiB before, +%llu MiB\n",
                                      button == IDC_ENABLE_XP ? "Enable" : "Disable", before / kMiB,
                                      (after - before) / kMiB);
                               CHECK(before > 0);
                               CHECK(after - before <= 64 * kMiB);
                               CHECK_EQ(theTestApp.m_boxes.size(), size_t(1)); // the question
                               CHECK(overlayIntact());
                           }
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                           CHECK(SizeOf(target) >= program.size() + kOverlay);
                       }});
    CHECK(DeleteFileW(target.c_str()));
}

namespace
{
// FNV-1a of the whole file, read in pieces.
uint64_t HashOf(const std::wstring& path)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    std::vector<unsigned char> piece(kMiB);
    DWORD read = 0;
    while (ReadFile(file, piece.data(), DWORD(piece.size()), &read, nullptr) && read > 0)
        for (DWORD i = 0; i < read; ++i)
            hash = (hash ^ piece[i]) * 0x100000001b3ull;
    CloseHandle(file);
    return hash;
}

// Watches the main window from a thread of its own while a command runs, as
// Windows' check for hung windows would: sends it WM_NULL every 50 ms and
// times the answer, finds the progress window and reads its text and bar,
// and, when asked to, presses its Cancel or closes the main window once the
// bar has passed a point, or clicks the main window's commands while the
// work runs (as an accessibility tool may: its window is disabled, its
// buttons are not), or ends the session as logging off does and counts the
// files in folder once the window has answered.
class CWindowWatcher
{
public:
    enum Action
    {
        Watch,
        PressCancel,
        CloseMain,
        ClickCommands,
        EndSession,
    };
    CWindowWatcher(HWND main, Action action, int atPermille, const std::wstring& folder = L"")
        : m_main(main), m_action(action), m_at(atPermille), m_start(GetTickCount()),
          m_folder(folder)
    {
        m_thread = CreateThread(nullptr, 0, Main, this, 0, nullptr);
    }
    ~CWindowWatcher() { Stop(); }
    // Called on the window's thread: answers the watcher's last message
    // while it waits for it.
    void Stop()
    {
        if (!m_thread)
            return;
        m_stop = 1;
        while (MsgWaitForMultipleObjects(1, &m_thread, FALSE, INFINITE, QS_SENDMESSAGE) !=
               WAIT_OBJECT_0)
        {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // delivers the sent message
        }
        CloseHandle(m_thread);
        m_thread = nullptr;
    }

    // The progress window main shows, or null.
    static HWND ProgressWindowOf(HWND main)
    {
        CWindowWatcher finder(main);
        EnumThreadWindows(GetWindowThreadProcessId(main, nullptr), FindProgress,
                          reinterpret_cast<LPARAM>(&finder));
        return finder.m_progress;
    }

    DWORD m_slowest = 0;          // ms for the slowest answer to WM_NULL
    int m_unanswered = 0;         // WM_NULLs not answered within a second
    DWORD m_seenAfter = 0;        // ms from the start to the progress window; 0: never seen
    std::wstring m_text;          // of the progress window
    std::vector<int> m_positions; // of its bar, in order
    bool m_acted = false;
    DWORD_PTR m_mayEnd = TRUE; // the answer to WM_QUERYENDSESSION
    int m_filesAtEnd = -1;     // in folder once WM_ENDSESSION is answered

private:
    // One that only finds.
    explicit CWindowWatcher(HWND main) : m_main(main), m_action(Watch), m_at(0), m_start(0) {}

    static BOOL CALLBACK FindProgress(HWND window, LPARAM data)
    {
        auto& self = *reinterpret_cast<CWindowWatcher*>(data);
        if (GetWindow(window, GW_OWNER) == self.m_main && IsWindowVisible(window) &&
            GetDlgItem(window, IDC_PROGRESS_BAR))
        {
            self.m_progress = window;
            return FALSE;
        }
        return TRUE;
    }

    static DWORD WINAPI Main(void* data)
    {
        auto& self = *static_cast<CWindowWatcher*>(data);
        while (!self.m_stop)
        {
            const DWORD asked = GetTickCount();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(self.m_main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result))
                ++self.m_unanswered;
            self.m_slowest = std::max(self.m_slowest, GetTickCount() - asked);
            self.m_progress = nullptr;
            EnumThreadWindows(GetWindowThreadProcessId(self.m_main, nullptr), FindProgress,
                              reinterpret_cast<LPARAM>(&self));
            if (self.m_progress)
            {
                if (self.m_seenAfter == 0)
                    self.m_seenAfter = std::max<DWORD>(1, GetTickCount() - self.m_start);
                // The window may go at any moment: what is read from one
                // that went in between is not kept.
                wchar_t text[512] = L"";
                if (self.m_text.empty() &&
                    GetDlgItemTextW(self.m_progress, IDC_PROGRESS_TEXT, text, 512) > 0)
                    self.m_text = text;
                DWORD_PTR position = 0;
                if (SendMessageTimeoutW(GetDlgItem(self.m_progress, IDC_PROGRESS_BAR), PBM_GETPOS,
                                        0, 0, SMTO_NORMAL, 1000, &position) &&
                    IsWindowVisible(self.m_progress))
                    self.m_positions.push_back(int(position));
                if (self.m_action != Watch && !self.m_acted && int(position) >= self.m_at)
                {
                    self.m_acted = true;
                    if (self.m_action == PressCancel)
                        PostMessageW(GetDlgItem(self.m_progress, IDCANCEL), BM_CLICK, 0, 0);
                    else if (self.m_action == CloseMain)
                        PostMessageW(self.m_main, WM_CLOSE, 0, 0);
                    else if (self.m_action == EndSession)
                    {
                        DWORD_PTR answer = 0;
                        SendMessageTimeoutW(self.m_main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                            SMTO_NORMAL, 1000, &self.m_mayEnd);
                        SendMessageTimeoutW(self.m_main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                            SMTO_NORMAL, 10000, &answer);
                        self.m_filesAtEnd = FilesIn(self.m_folder);
                    }
                    else
                        for (int command : {IDC_ENABLE_XP, IDC_DISABLE_XP})
                            PostMessageW(GetDlgItem(self.m_main, command), BM_CLICK, 0, 0);
                }
            }
            Sleep(50);
        }
        return 0;
    }

    const HWND m_main;
    const Action m_action;
    const int m_at;
    const DWORD m_start;
    const std::wstring m_folder;
    HANDLE m_thread = nullptr;
    volatile LONG m_stop = 0;
    HWND m_progress = nullptr;
};

std::wstring ProgressText(bool enable, const wchar_t* name)
{
    if (French())
        return std::wstring(enable ? L"Activation du style XP de '"
                                   : L"D\u00e9sactivation du style XP de '") +
               name + L"'...";
    return std::wstring(enable ? L"Enabling XP style for '" : L"Disabling XP style for '") + name +
           L"'...";
}
} // namespace

// Work of several seconds, with and without the copy: the progress window
// shows within a second or two, names the program, and its bar moves; the
// main window answers within a second throughout; the usual question
// follows, once, whatever is clicked meanwhile. Cancel during the copy and
// during the rewrite, and a failure with the window up, leave the program's
// every byte, nothing beside it and the buttons as they were; closing the
// main window cancels the work first.
TEST(LongWorkShowsItsProgressAndCanBeCancelled)
{
    CScratchFolder folder(L"long_work");
    const std::wstring target = folder / L"large.exe";
    const std::string program = ReadFileBytes(Fixture(L"rich_resources.exe"));
    CHECK(WriteLargeTarget(target, program, RandomBytes(kMiB, 3), RandomBytes(kMiB, 4)));
    uint64_t before = 0;

    CManifestToolDlg dialog;
    const INT_PTR ended = RunDialog(
        dialog,
        {[&](CManifestToolDlg& d)
         {
             SetPath(d.m_hWnd, target);
             for (bool copy : {true, false})
             {
                 theTestApp.Clear();
                 SetSaveCopy(d.m_hWnd, copy);
                 CWindowWatcher watcher(
                     d.m_hWnd, copy ? CWindowWatcher::ClickCommands : CWindowWatcher::Watch, 0);
                 {
                     // A disk that takes a millisecond a piece: Wine's cache
                     // would take the whole file before the bar is read.
                     CFailingAfter slowDisk(ResourceUpdateStep::WriteTemporary, 0, INT_MAX, 1);
                     Click(d.m_hWnd, IDC_ENABLE_XP);
                 }
                 watcher.Stop();
                 CHECK(watcher.m_seenAfter > 0 && watcher.m_seenAfter < 2000);
                 CHECK_EQ(watcher.m_text, ProgressText(true, L"large.exe"));
                 // The bar moves, forward only, while the new file is written
                 // (Wine copies without reporting).
                 CHECK(std::adjacent_find(watcher.m_positions.begin(), watcher.m_positions.end(),
                                          std::less<int>()) != watcher.m_positions.end());
                 CHECK(std::is_sorted(watcher.m_positions.begin(), watcher.m_positions.end()));
                 CHECK_EQ(watcher.m_acted, copy);
                 CHECK_EQ(watcher.m_unanswered, 0);
                 CHECK(watcher.m_slowest < 1000);
                 printf("  Enable%s: progress window after %lu ms, %zu readings of its bar, "
                        "slowest answer %lu ms\n",
                        copy ? " with the copy" : "", watcher.m_seenAfter,
                        watcher.m_positions.size(), watcher.m_slowest);
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1)); // the question
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));
                 if (!theTestApp.m_boxes.empty() && Buttons(d.m_hWnd) != "-DS")
                     Fail(__FILE__, __LINE__, "the box said: " + Utf8(theTestApp.m_boxes[0]));
                 theTestApp.Clear();
                 SetSaveCopy(d.m_hWnd, false);
                 Click(d.m_hWnd, IDC_DISABLE_XP);
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                 DeleteFileW((target + L".bak").c_str());
             }
             before = HashOf(target);

             // Cancel during the copy (the first half of the bar) and during
             // the rewrite: no box, nothing changed, nothing left.
             for (bool copy : {true, false})
             {
                 theTestApp.Clear();
                 SetSaveCopy(d.m_hWnd, copy);
                 CWindowWatcher watcher(d.m_hWnd, CWindowWatcher::PressCancel, copy ? 100 : 300);
                 Click(d.m_hWnd, IDC_ENABLE_XP);
                 watcher.Stop();
                 CHECK(watcher.m_acted);
                 CHECK(theTestApp.m_boxes.empty());
                 CHECK(HashOf(target) == before);
                 CHECK_EQ(FilesIn(folder.Path()), 1);
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                 CHECK(IsWindowEnabled(d.m_hWnd));
             }

             // A write failing well into the rewrite, with the window up:
             // the window goes and the error box follows.
             {
                 theTestApp.Clear();
                 SetSaveCopy(d.m_hWnd, false);
                 CFailingAfter failing(ResourceUpdateStep::WriteTemporary, ERROR_DISK_FULL, 400, 2);
                 CWindowWatcher watcher(d.m_hWnd, CWindowWatcher::Watch, 0);
                 Click(d.m_hWnd, IDC_ENABLE_XP);
                 watcher.Stop();
                 CHECK(watcher.m_seenAfter > 0);
                 CHECK(!CWindowWatcher::ProgressWindowOf(d.m_hWnd));
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                 if (!theTestApp.m_boxes.empty())
                     CHECK_EQ(theTestApp.m_boxes[0], ErrorText(ERROR_DISK_FULL));
                 CHECK(HashOf(target) == before);
                 CHECK_EQ(FilesIn(folder.Path()), 1);
             }

             // Logging off while the work runs: the session is asked to
             // wait; when it ends anyway, the work has stopped and left
             // nothing by the time the window answers.
             {
                 theTestApp.Clear();
                 CHECK_EQ(SendMessageW(d.m_hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF),
                          LRESULT(TRUE));
                 CWindowWatcher ender(d.m_hWnd, CWindowWatcher::EndSession, 300, folder.Path());
                 Click(d.m_hWnd, IDC_ENABLE_XP);
                 ender.Stop();
                 CHECK(ender.m_acted);
                 CHECK_EQ(ender.m_mayEnd, DWORD_PTR(FALSE));
                 CHECK_EQ(ender.m_filesAtEnd, 1);
                 CHECK(theTestApp.m_boxes.empty());
                 CHECK(HashOf(target) == before);
             }

             // Closing the main window while the work runs: the work stops
             // first, then the window goes.
             theTestApp.Clear();
             CWindowWatcher closer(d.m_hWnd, CWindowWatcher::CloseMain, 200);
             Click(d.m_hWnd, IDC_ENABLE_XP);
             closer.Stop();
             CHECK(closer.m_acted);
             CHECK(theTestApp.m_boxes.empty());
         },
         [&](CManifestToolDlg&) { Fail(__FILE__, __LINE__, "the window stayed open"); }});
    CHECK_EQ(ended, INT_PTR(IDCANCEL));
    CHECK(HashOf(target) == before);
    CHECK_EQ(FilesIn(folder.Path()), 1);
    CHECK(DeleteFileW(target.c_str()));
}
