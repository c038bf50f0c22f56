// A target far larger than its resources: a small program with a gigabyte
// of appended data (a sparse file, random bytes in its first and last MiB),
// as installers and self-extracting archives are. Enable and Disable, written
// as a commit writes them, raise the process's peak memory by at most 64 MiB
// and keep the appended data byte for byte. Arguments: the fixtures' folder,
// and optionally the size in MiB (default 1024; the benchmark script runs
// 4608, past 4 GiB, too slow for every test run).
#include "PeCheck.h"
#include "PosixFile.h"
#include "tests/support/TestHarness.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pe;

namespace
{
constexpr uint64_t kMiB = 1024 * 1024;

uint64_t PeakMemory()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

uint64_t SizeOf(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

Bytes ReadAt(const std::string& path, uint64_t offset, size_t size)
{
    Bytes bytes(size);
    pecheck::PosixSource source(path);
    source.Read(offset, bytes.data(), size);
    return bytes;
}
} // namespace

TEST(LargeTargetsChangeInBoundedMemory)
{
    const auto& args = testing::Arguments();
    const std::string fixtures = args.empty() ? "." : args[0];
    const uint64_t overlay = (args.size() > 1 ? std::stoull(args[1]) : 1024) * kMiB;
    const Bytes program = pecheck::ReadFile(fixtures + "/rich_resources.exe");
    CHECK(!program.empty());
    const Bytes head = pecheck::Random(kMiB, 1), tail = pecheck::Random(kMiB, 2);

    const std::string target = "large.exe", enabled = "large-enabled.exe",
                      disabled = "large-disabled.exe";
    {
        pecheck::PosixSink sink(target);
        sink.Write(program.data(), program.size());
        sink.Write(head.data(), head.size());
        sink.WriteAt(program.size() + overlay - tail.size(), tail.data(), tail.size());
    }
    CHECK_EQ(SizeOf(target), program.size() + overlay);

    // Where the appended data lies after each change, found from the end.
    auto overlayIntact = [&](const std::string& path)
    {
        const uint64_t size = SizeOf(path);
        const uint64_t start = size - overlay;
        return ReadAt(path, start, head.size()) == head &&
               ReadAt(path, size - tail.size(), tail.size()) == tail;
    };
    const ResName type = ResName::Id(24), one = ResName::Id(1), neutral = ResName::Id(0);
    const uint64_t before = PeakMemory();
    pecheck::EditFile(target, enabled,
                      [&](ResourceTree& tree) { tree.Set(type, one, neutral, Bytes(700, 'm')); });
    const uint64_t afterEnable = PeakMemory();
    pecheck::EditFile(enabled, disabled,
                      [&](ResourceTree& tree) { tree.Remove(type, one, neutral); });
    const uint64_t afterDisable = PeakMemory();
    printf("  %llu MiB overlay: peak memory %llu MiB before, +%llu MiB after Enable, +%llu MiB "
           "after Disable\n",
           static_cast<unsigned long long>(overlay / kMiB),
           static_cast<unsigned long long>(before / kMiB),
           static_cast<unsigned long long>((afterEnable - before) / kMiB),
           static_cast<unsigned long long>((afterDisable - before) / kMiB));
    CHECK(afterEnable - before <= 64 * kMiB);
    CHECK(afterDisable - before <= 64 * kMiB);
    CHECK(overlayIntact(enabled));
    CHECK(overlayIntact(disabled));
    CHECK(SizeOf(enabled) >= program.size() + overlay);
    CHECK(SizeOf(disabled) <= SizeOf(enabled));
    for (const std::string& path : {target, enabled, disabled})
        unlink(path.c_str());
}
