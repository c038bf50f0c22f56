// Benchmark, not a test: from process start to the main dialog on screen,
// for Lumaform.exe and for a bare dialog program showing the same template
// (rounds interleaved, medians compared); and the size of Lumaform.exe.
#include "BenchClock.h"

#include "tests/support/TestSupport.h"

#include <cstdio>
#include <string>

using namespace bench;
using namespace testing;

namespace
{
// Milliseconds from CreateProcess until the program's first visible
// top-level window exists; the program is then closed.
double TimeToVisible(const std::wstring& program)
{
    CStopwatch watch;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return -1;
    HWND found = nullptr;
    for (int i = 0; i < 20000 && !found; ++i)
    {
        found = FindVisibleWindow(process.dwProcessId);
        if (!found)
            Sleep(1);
    }
    const double elapsed = watch.Milliseconds();
    if (found)
        PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return found ? elapsed : -1;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
} // namespace

int wmain()
{
    const std::wstring lumaform = BinDirectory() + L"Lumaform.exe";
    const std::wstring bare = BinDirectory() + L"bare_dialog.exe";
    TimeToVisible(lumaform); // the first start fills the platform's caches
    TimeToVisible(bare);
    std::vector<double> ours, theirs;
    for (int round = 0; round < 11; ++round)
    {
        const double a = TimeToVisible(lumaform), b = TimeToVisible(bare);
        if (a < 0 || b < 0)
        {
            printf("a program did not show its dialog\n");
            return 1;
        }
        ours.push_back(a);
        theirs.push_back(b);
    }
    printf("start to dialog visible: Lumaform.exe %.1f ms, bare dialog program %.1f ms "
           "(ratio %.2f)\n",
           Median(ours), Median(theirs), Median(ours) / Median(theirs));
    printf("Lumaform.exe: %lld bytes\n", FileSize(lumaform));
    return 0;
}
