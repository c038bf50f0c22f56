// Benchmark, not a test: the resource writer's commit on a large target
// (a real program followed by 100 MB of appended data) against copying the
// same file, measured in the same run. Prints the median of several rounds
// and their ratio.
#include "BenchClock.h"

#include "pe/ResourceUpdate.h"
#include "tests/support/TestSupport.h"

#include <cstdio>

using namespace bench;
using namespace testing;

namespace
{
const char kManifest[] = "<assembly manifestVersion=\"1.0\"/>";

// The plain steps a commit is made of, timed one by one on the same file:
// a fresh buffer (page faults), reading the file into it, copying it to a
// second buffer, writing that to a new file, flushing it.
void PrintSteps(const std::wstring& target, const std::wstring& scratch)
{
    const size_t kChunk = 256 * 1024;
    CStopwatch watch;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    std::vector<char> in(static_cast<size_t>(size.QuadPart));
    const double allocated = watch.Seconds();
    watch = CStopwatch();
    for (size_t done = 0; done < in.size();)
    {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(kChunk, in.size() - done));
        if (!ReadFile(file, in.data() + done, chunk, &read, nullptr) || read == 0)
            break;
        done += read;
    }
    CloseHandle(file);
    const double readTime = watch.Seconds();
    watch = CStopwatch();
    std::vector<char> out(in.begin(), in.end());
    const double copied = watch.Seconds();
    watch = CStopwatch();
    file = CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (size_t done = 0; done < out.size();)
    {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(kChunk, out.size() - done));
        if (!WriteFile(file, out.data() + done, chunk, &written, nullptr))
            break;
        done += written;
    }
    const double writeTime = watch.Seconds();
    watch = CStopwatch();
    FlushFileBuffers(file);
    const double flushed = watch.Seconds();
    CloseHandle(file);
    DeleteFileW(scratch.c_str());
    printf("steps alone: fresh buffer %.3f s, read %.3f s, copy to a second buffer %.3f s, "
           "write %.3f s, flush %.3f s\n",
           allocated, readTime, copied, writeTime, flushed);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const size_t megabytes = argc > 1 ? _wtoi(argv[1]) : 100;
    CScratchFolder folder(L"bench_update");
    const std::wstring target = folder / L"large.exe", copy = folder / L"copy.exe";
    std::string bytes = ReadFileBytes(Fixture(L"rich_resources.exe"));
    bytes.resize(bytes.size() + megabytes * 1024 * 1024, '\x5A');
    WriteFileBytes(target, bytes);
    bytes.clear();

    std::vector<double> copies, commits;
    for (int round = 0; round < 5; ++round)
    {
        CStopwatch watch;
        CopyFileW(target.c_str(), copy.c_str(), FALSE);
        copies.push_back(watch.Seconds());
        DeleteFileW(copy.c_str());

        watch = CStopwatch();
        HANDLE update = BeginResourceUpdate(target.c_str(), FALSE);
        const bool ok = update &&
                        UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0,
                                            const_cast<char*>(kManifest), sizeof kManifest - 1) &&
                        EndResourceUpdate(update, FALSE);
        commits.push_back(watch.Seconds());
        if (!ok)
        {
            printf("update failed: %lu\n", GetLastError());
            return 1;
        }
    }
    PrintSteps(target, copy);
    printf("target %zu MB: copy %.3f s, begin+update+commit %.3f s, ratio %.2f\n", megabytes,
           Median(copies), Median(commits), Median(commits) / Median(copies));
    return 0;
}
