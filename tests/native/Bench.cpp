// Benchmark, not a test: the resource writer's core on a large target (a
// real program followed by 100 MB of appended data), streamed as a commit
// writes it, against the floor of any crash-safe rewrite measured in the same
// run on the same file: reading it and writing a copy in 1 MiB pieces, then
// fsync. Argument: the fixtures' folder.
#include "PeCheck.h"
#include "PosixFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace pe;

namespace
{
double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double Seconds(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void CopyAndSync(const std::string& from, const std::string& to)
{
    pecheck::PosixSource source(from);
    pecheck::PosixSink sink(to);
    std::vector<uint8_t> buffer(1024 * 1024);
    for (uint64_t at = 0; at < source.Size(); at += buffer.size())
    {
        const size_t piece =
            static_cast<size_t>(std::min<uint64_t>(buffer.size(), source.Size() - at));
        source.Read(at, buffer.data(), piece);
        sink.Write(buffer.data(), piece);
    }
    sink.Sync();
}
} // namespace

int main(int argc, char** argv)
{
    const std::string fixtures = argc > 1 ? argv[1] : ".";
    Bytes file = pecheck::ReadFile(fixtures + "/rich_resources.exe");
    const size_t program = file.size();
    file.resize(program + 100 * 1024 * 1024);
    for (size_t i = program; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    const std::string target = "bench-target.exe", output = "bench-output.exe";
    pecheck::WriteFile(target, file);
    file = Bytes();

    const ResName type = ResName::Id(24), one = ResName::Id(1), neutral = ResName::Id(0);
    std::vector<double> floors, commits;
    for (int round = 0; round < 7; ++round)
    {
        floors.push_back(Seconds([&] { CopyAndSync(target, output); }));
        commits.push_back(Seconds(
            [&]
            {
                pecheck::EditFile(target, output,
                                  [&](ResourceTree& tree)
                                  { tree.Set(type, one, neutral, Bytes(700, 'm')); });
            }));
    }
    printf("native, 100 MB target: plan + stream + fsync %.3f s; read/write + fsync %.3f s "
           "(ratio %.2f)\n",
           Median(commits), Median(floors), Median(commits) / Median(floors));
    unlink(target.c_str());
    unlink(output.c_str());
    return 0;
}
