// Benchmark, not a test: the resource writer's commit on a large target (a
// real program followed by 100 MB of appended data) against what any
// crash-safe rewrite of the file costs at least, measured in the same run on
// the same file: copying it and flushing the copy (CopyFileW +
// FlushFileBuffers). Plain CopyFileW, which does not flush, for comparison.
// Prints the medians of several rounds and their ratios.
#include "BenchClock.h"

#include "pe/ResourceUpdate.h"
#include "tests/support/TestSupport.h"

#include <cstdio>

using namespace bench;
using namespace testing;

namespace
{
const char kManifest[] = "<assembly manifestVersion=\"1.0\"/>";

bool CopyAndFlush(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return false;
    HANDLE file = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    CloseHandle(file);
    return flushed;
}

bool Commit(const std::wstring& target, bool add)
{
    HANDLE update = BeginResourceUpdate(target.c_str(), FALSE);
    return update &&
           UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0,
                               add ? const_cast<char*>(kManifest) : nullptr,
                               add ? sizeof kManifest - 1 : 0) &&
           EndResourceUpdate(update, FALSE);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const size_t megabytes = argc > 1 ? _wtoi(argv[1]) : 100;
    CScratchFolder folder(L"bench_update");
    const std::wstring target = folder / L"large.exe", copy = folder / L"copy.exe";
    std::string bytes = ReadFileBytes(Fixture(L"rich_resources.exe"));
    const size_t program = bytes.size();
    bytes.resize(program + megabytes * 1024 * 1024);
    for (size_t i = program; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 2654435761u >> 24);
    WriteFileBytes(target, bytes);
    bytes.clear();

    std::vector<double> floors, copies, commits;
    for (int round = 0; round < 7; ++round)
    {
        CStopwatch watch;
        CopyAndFlush(target, copy);
        floors.push_back(watch.Seconds());
        DeleteFileW(copy.c_str());

        watch = CStopwatch();
        CopyFileW(target.c_str(), copy.c_str(), FALSE);
        copies.push_back(watch.Seconds());
        DeleteFileW(copy.c_str());

        // Enable and Disable in turn, so that every round starts alike.
        watch = CStopwatch();
        if (!Commit(target, round % 2 == 0))
        {
            printf("update failed: %lu\n", GetLastError());
            return 1;
        }
        commits.push_back(watch.Seconds());
    }
    printf("target %zu MB: begin+update+commit %.3f s; copy and flush %.3f s (ratio %.2f, aim "
           "<= 1.3); CopyFileW %.3f s (ratio %.2f)\n",
           megabytes, Median(commits), Median(floors), Median(commits) / Median(floors),
           Median(copies), Median(commits) / Median(copies));
    return 0;
}
