// Benchmark, not a test: the main dialog's own work on large programs,
// measured in one run against the bare platform or writer calls it is built
// on.
// - Probe per keystroke (a new text in the path field) on a 5 MB and a
//   100 MB program, against load-as-data + find + free of the same file
//   (and, for comparison, a load as an image resource); and on a program
//   whose manifest only the reader cannot read, for which the probe asks the
//   platform to build its activation context.
// - Enable and Disable with the copy box unticked, against the resource
//   writer's own begin/update/commit; ticked, against copying the file.
// - Enable and Disable from the click to the question, copy box unticked,
//   on a 100 MB program and on one with a 1 GiB overlay (sparse, random
//   bytes in its first and last MiB), alternating with a copy of the same
//   file and a flush of the copy: the floor of any command that rewrites it.
// The programs are a real fixture carrying a large data resource.
#include "BenchClock.h"

#include "../dialog/DialogDriver.h"

#include "engine/FileVersion.h"
#include "pe/ResourceUpdate.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "tests/support/TestHarness.h"
#include "tests/support/TestSupport.h"

#include <cstdio>

using namespace bench;
using namespace testing;

namespace
{
// Answers every question with No, so a change is timed without a launch.
class CBenchApp : public CWinApp
{
public:
    int DoMessageBox(LPCWSTR, UINT type, UINT) override
    {
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
};
CBenchApp theBenchApp;

// A copy of a fixture with a data resource that brings it to about
// megabytes in size, written by the resource writer itself.
bool MakeProgram(const std::wstring& path, size_t megabytes)
{
    if (!CopyFileW(Fixture(L"no_version.exe").c_str(), path.c_str(), FALSE))
        return false;
    std::string payload(megabytes * 1024 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 2654435761u >> 24);
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    return update &&
           UpdateResourceEntry(update, RT_RCDATA, L"PAYLOAD", 0, &payload[0],
                               static_cast<DWORD>(payload.size())) &&
           EndResourceUpdate(update, FALSE);
}

void BenchProbe(CManifestToolDlg& dialog, const std::wstring& path, const char* what)
{
    const int rounds = 200;
    std::vector<double> probes, alone, bare, asImage;
    for (int i = 0; i < rounds; ++i)
    {
        CStopwatch watch;
        SetWindowTextW(GetDlgItem(dialog.m_hWnd, IDC_APP_PATH), path.c_str());
        probes.push_back(watch.Milliseconds());

        // The probe alone, without the edit control's own work.
        CStopwatch aloneWatch;
        dialog.RefreshCommandStates();
        alone.push_back(aloneWatch.Milliseconds());

        CStopwatch bareWatch;
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        FreeLibrary(module);
        bare.push_back(bareWatch.Milliseconds());

        // For comparison: the file laid out as an image resource.
        CStopwatch imageWatch;
        module = LoadLibraryExW(path.c_str(), nullptr,
                                LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
        FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        FreeLibrary(module);
        asImage.push_back(imageWatch.Milliseconds());
    }
    printf("probe, %s: median %.3f ms, 95th percentile %.3f ms; bare load+find+free "
           "median %.3f ms (ratio %.2f)\n",
           what, Median(probes), Percentile(probes, 0.95), Median(bare),
           Median(probes) / Median(bare));
    printf("                        the probe alone: median %.3f ms, 95th percentile %.3f ms; "
           "loaded as an image resource instead: median %.3f ms\n",
           Median(alone), Percentile(alone, 0.95), Median(asImage));
}

// One round of Enable then Disable through the dialog, then the same two
// changes by the writer's own calls, then (copy box ticked) a copy.
void BenchCommands(CManifestToolDlg& dialog, const std::wstring& path, size_t megabytes)
{
    const int rounds = megabytes > 10 ? 5 : 21;
    const std::string manifest(670, 'm'); // about the size of a composed manifest
    std::vector<double> enables, disables, writes, deletes, enablesWithCopy, copies, versions,
        probes;
    const std::wstring backup = path + L".bak";
    SetWindowTextW(GetDlgItem(dialog.m_hWnd, IDC_APP_PATH), path.c_str());
    for (int i = 0; i < rounds; ++i)
    {
        SetSaveCopy(dialog.m_hWnd, false);
        CStopwatch enable;
        Click(dialog.m_hWnd, IDC_ENABLE_XP);
        enables.push_back(enable.Milliseconds());
        CStopwatch disable;
        Click(dialog.m_hWnd, IDC_DISABLE_XP);
        disables.push_back(disable.Milliseconds());

        // Two of the steps the commands take beside the writer's.
        CStopwatch version;
        DWORD packed = 0;
        GetFileVersionNumbers(path.c_str(), packed);
        versions.push_back(version.Milliseconds());
        CStopwatch probe;
        dialog.RefreshCommandStates();
        probes.push_back(probe.Milliseconds());

        CStopwatch write;
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        UpdateResourceEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), 0,
                            const_cast<char*>(manifest.data()), DWORD(manifest.size()));
        EndResourceUpdate(update, FALSE);
        writes.push_back(write.Milliseconds());
        CStopwatch remove;
        update = BeginResourceUpdate(path.c_str(), FALSE);
        UpdateResourceEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), 0, nullptr, 0);
        EndResourceUpdate(update, FALSE);
        deletes.push_back(remove.Milliseconds());

        // Enable with the copy box ticked and no copy yet; the refreshed
        // buttons allow the Disable that restores the start.
        SetSaveCopy(dialog.m_hWnd, true);
        DeleteFileW(backup.c_str());
        CStopwatch withCopy;
        Click(dialog.m_hWnd, IDC_ENABLE_XP);
        enablesWithCopy.push_back(withCopy.Milliseconds());
        SetSaveCopy(dialog.m_hWnd, false);
        Click(dialog.m_hWnd, IDC_DISABLE_XP);
        DeleteFileW(backup.c_str());
        CStopwatch copy;
        CopyFileW(path.c_str(), backup.c_str(), FALSE);
        copies.push_back(copy.Milliseconds());
        DeleteFileW(backup.c_str());
    }
    const double writer = (Median(writes) + Median(deletes)) / 2;
    printf("%3zu MB program: Enable %.1f ms, Disable %.1f ms; writer's begin/update/commit "
           "%.1f ms add, %.1f ms delete (ratios %.2f, %.2f)\n",
           megabytes, Median(enables), Median(disables), Median(writes), Median(deletes),
           Median(enables) / Median(writes), Median(disables) / Median(deletes));
    printf("%3zu MB program: Enable with the copy %.1f ms; CopyFileW %.1f ms (ratio %.2f); "
           "writer alone %.1f ms\n",
           megabytes, Median(enablesWithCopy), Median(copies),
           Median(enablesWithCopy) / Median(copies), writer);
    printf("%3zu MB program: of the commands' other steps, reading the version %.1f ms, the "
           "probe after the change %.1f ms\n",
           megabytes, Median(versions), Median(probes));
}
// A copy of the small program with an overlay of megabytes: random bytes in
// its first and last MiB and nothing written between (a sparse file).
bool MakeLargeProgram(const std::wstring& path, size_t megabytes)
{
    const std::string program = ReadFileBytes(Fixture(L"rich_resources.exe"));
    std::string edge(1024 * 1024, '\0');
    unsigned seed = 7;
    for (char& b : edge)
        b = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, program.data(), DWORD(program.size()), &written, nullptr) &&
              WriteFile(file, edge.data(), DWORD(edge.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(program.size() + megabytes * 1024 * 1024 - edge.size());
    ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
         WriteFile(file, edge.data(), DWORD(edge.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return ok;
}

bool CopyAndFlush(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return false;
    HANDLE file = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return flushed;
}

void BenchAgainstCopy(CManifestToolDlg& dialog, const std::wstring& path, const char* what,
                      int rounds)
{
    std::vector<double> enables, disables, copies;
    const std::wstring copy = path + L".copy";
    SetSaveCopy(dialog.m_hWnd, false);
    SetWindowTextW(GetDlgItem(dialog.m_hWnd, IDC_APP_PATH), path.c_str());
    // Each command and each copy comes after a copy deleted and a pause, so
    // that none pays for the one before it; one round first, not counted,
    // brings the file into the cache, as each counted round finds it.
    auto settle = [&]
    {
        CStopwatch copied;
        CopyAndFlush(path, copy);
        const double time = copied.Milliseconds();
        DeleteFileW(copy.c_str());
        Sleep(500);
        return time;
    };
    for (int i = -1; i < rounds; ++i)
    {
        const double first = settle();
        CStopwatch enable;
        Click(dialog.m_hWnd, IDC_ENABLE_XP);
        const double enabled = enable.Milliseconds();
        const double second = settle();
        CStopwatch disable;
        Click(dialog.m_hWnd, IDC_DISABLE_XP);
        const double disabled = disable.Milliseconds();
        if (i < 0)
            continue;
        enables.push_back(enabled);
        disables.push_back(disabled);
        copies.push_back(first);
        copies.push_back(second);
    }
    printf("%s: Enable %.0f ms, Disable %.0f ms, click to question; copy + flush %.0f ms "
           "(ratios %.2f, %.2f)\n",
           what, Median(enables), Median(disables), Median(copies),
           Median(enables) / Median(copies), Median(disables) / Median(copies));
}
} // namespace

// Run by the test harness, which the dialog driver comes with.
TEST(DialogBenchmarks)
{
    CScratchFolder folder(L"bench_dialog");
    struct Program
    {
        size_t megabytes;
        std::wstring path;
    };
    const Program programs[] = {
        {1, folder / L"one.exe"}, {5, folder / L"five.exe"}, {100, folder / L"hundred.exe"}};
    for (const Program& program : programs)
        if (!MakeProgram(program.path, program.megabytes))
        {
            printf("could not make the %zu MB program: %lu\n", program.megabytes, GetLastError());
            CHECK(false);
            return;
        }

    CManifestToolDlg dialog;
    theBenchApp.m_pMainWnd = &dialog;
    RunDialog(dialog,
              {[&](CManifestToolDlg& d)
               {
                   BenchProbe(d, programs[1].path, "  5 MB program");
                   BenchProbe(d, programs[2].path, "100 MB program");
                   BenchProbe(d, Fixture(L"not_xml.exe"), "manifest only the reader refuses");
                   BenchCommands(d, programs[0].path, 1);
                   BenchCommands(d, programs[2].path, 100);
                   const std::wstring large = folder / L"large.exe";
                   for (size_t megabytes : {size_t(100), size_t(1024)})
                   {
                       CHECK(MakeLargeProgram(large, megabytes));
                       BenchAgainstCopy(d, large,
                                        megabytes > 100 ? "  1 GiB overlay" : "100 MB overlay",
                                        megabytes > 100 ? 5 : 9);
                   }
                   DeleteFileW(large.c_str());
               }});
    theBenchApp.m_pMainWnd = nullptr;
}
