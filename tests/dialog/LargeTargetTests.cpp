// Enable and Disable on a target far larger than its resources: a small
// program with a gigabyte of appended data (a sparse file, random bytes in
// its first and last MiB), as installers and self-extracting archives are.
// Each command raises the process's peak memory by at most 64 MiB and keeps
// the appended data byte for byte. Its own test executable, so that nothing
// before it has raised the peak.
#include "DialogDriver.h"
#include "TestApp.h"

#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "framework/WinApp.h"
#include "res/resource.h"

#include <psapi.h>

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
