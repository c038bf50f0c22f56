// Benchmark, not a test: the resource writer's commit on a large target
// (a real program followed by 100 MB of appended data) against copying the
// same file, measured in the same run. Prints the median of several rounds
// and their ratio.
#include "engine/ResourceUpdate.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testing;

namespace
{
double Seconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const char kManifest[] = "<assembly manifestVersion=\"1.0\"/>";
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
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        CopyFileW(target.c_str(), copy.c_str(), FALSE);
        copies.push_back(Seconds(start));
        DeleteFileW(copy.c_str());

        QueryPerformanceCounter(&start);
        HANDLE update = BeginResourceUpdate(target.c_str(), FALSE);
        const bool ok = update &&
                        UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0,
                                            const_cast<char*>(kManifest), sizeof kManifest - 1) &&
                        EndResourceUpdate(update, FALSE);
        commits.push_back(Seconds(start));
        if (!ok)
        {
            printf("update failed: %lu\n", GetLastError());
            return 1;
        }
    }
    printf("target %zu MB: copy %.3f s, begin+update+commit %.3f s, ratio %.2f\n", megabytes,
           Median(copies), Median(commits), Median(commits) / Median(copies));
    return 0;
}
