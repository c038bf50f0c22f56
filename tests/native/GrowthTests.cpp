// How much a change makes Wine's own programs grow, written as a commit
// writes them (streamed to a file): Enable adds at most a page beside the
// manifest, Disable never grows a file, and cycles of both grow it no more
// than one cycle does. Every resource reads back and no other section
// changes. Argument: the folder of Wine's 64-bit programs.
#include "PeCheck.h"
#include "PosixFile.h"
#include "tests/support/TestHarness.h"

#include <sys/stat.h>

using namespace pe;

namespace
{
const ResName kType = ResName::Id(24), kOne = ResName::Id(1), kNeutral = ResName::Id(0);
// About the size of the manifest Enable composes.
const Bytes kManifest(700, 'm');
const uint64_t kPage = 4096;

uint64_t SizeOf(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

void Enable(const std::string& from, const std::string& to)
{
    pecheck::EditFile(from, to,
                      [](ResourceTree& tree) { tree.Set(kType, kOne, kNeutral, kManifest); });
}

void Disable(const std::string& from, const std::string& to)
{
    pecheck::EditFile(from, to, [](ResourceTree& tree) { tree.Remove(kType, kOne, kNeutral); });
}
} // namespace

TEST(EnableAndDisableBarelyGrowWinesPrograms)
{
    const auto& args = testing::Arguments();
    const std::string folder = args.empty() ? "." : args[0];
    const std::string scratch = "growth";
    mkdir(scratch.c_str(), 0755);
    for (const char* name : {"notepad.exe", "winecfg.exe", "cmd.exe", "regedit.exe"})
    {
        const std::string original = folder + "/" + name;
        const Bytes before = pecheck::ReadFile(original);
        if (before.empty())
        {
            testing::Fail(__FILE__, __LINE__, "missing " + original);
            continue;
        }
        pecheck::Flat expected = pecheck::Flatten(before);
        expected.erase({kType, kOne, kNeutral});
        pecheck::Flat withManifest = expected;
        withManifest[{kType, kOne, kNeutral}] = {kManifest, 0};

        const std::string enabled = scratch + "/enabled.exe", disabled = scratch + "/disabled.exe";
        Enable(original, enabled);
        Disable(enabled, disabled);
        const uint64_t size = SizeOf(original), grown = SizeOf(enabled);
        printf("  %-12s %9llu bytes, Enable +%llu, Disable %+lld\n", name,
               static_cast<unsigned long long>(size), static_cast<unsigned long long>(grown - size),
               static_cast<long long>(SizeOf(disabled) - grown));
        CHECK(grown <= size + kPage + kManifest.size());
        CHECK(SizeOf(disabled) <= grown);
        const Bytes afterEnable = pecheck::ReadFile(enabled);
        CHECK(pecheck::Flatten(afterEnable) == withManifest);
        CHECK_EQ(pecheck::CompareOtherSections(before, afterEnable), std::string());
        CHECK(pecheck::Flatten(pecheck::ReadFile(disabled)) == expected);

        // Ten cycles on one file: no larger than after the first.
        std::string current = disabled;
        for (int cycle = 0; cycle < 10; ++cycle)
        {
            Enable(current, enabled);
            CHECK(SizeOf(enabled) <= grown);
            Disable(enabled, current);
            CHECK(SizeOf(current) <= grown);
        }
        CHECK(pecheck::Flatten(pecheck::ReadFile(current)) == expected);
    }
}
