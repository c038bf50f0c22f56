// Reading file versions from real executables built with version blocks.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "engine/FileVersion.h"

using namespace testing;

namespace
{
struct Read
{
    BOOL result;
    DWORD packed;
    int build;
};

Read VersionOf(const wchar_t* fixture)
{
    Read read = {FALSE, 0xDEADBEEF, -7};
    read.result = GetFileVersionNumbers(fixture ? Fixture(fixture).c_str() : nullptr, read.packed,
                                        &read.build);
    return read;
}
} // namespace

TEST(FileVersionNotProductVersion)
{
    const Read read = VersionOf(L"version_1016.exe");
    CHECK(read.result);
    CHECK_EQ(Hex(read.packed), Hex(0x01000001));
    CHECK_EQ(read.build, 6);
}

TEST(MajorAndMinorKeepTheirLowEightBits)
{
    const Read read = VersionOf(L"version_300.exe");
    CHECK(read.result);
    CHECK_EQ(Hex(read.packed), Hex(0x2C020003));
    CHECK_EQ(VersionMajor(read.packed), 44);
    CHECK_EQ(read.build, 4);
}

TEST(LargestVersion)
{
    const Read read = VersionOf(L"version_max.exe");
    CHECK(read.result);
    CHECK_EQ(Hex(read.packed), Hex(0xFFFFFFFF));
    CHECK_EQ(VersionMajor(read.packed), 255);
    CHECK_EQ(VersionMinor(read.packed), 255);
    CHECK_EQ(VersionRelease(read.packed), 65535);
    CHECK_EQ(read.build, 65535);
}

TEST(NoVersionBlock)
{
    const Read read = VersionOf(L"no_version.exe");
    CHECK(!read.result);
    CHECK_EQ(read.packed, DWORD(0));
    CHECK_EQ(read.build, -7); // untouched
    const Read missing = VersionOf(L"does not exist.exe");
    CHECK(!missing.result);
    CHECK_EQ(missing.packed, DWORD(0));
    CHECK_EQ(missing.build, -7);
}

TEST(NoPathReadsTheProgramItself)
{
    // The test executable carries version 3.1.4.1592 (its resource script).
    const Read read = VersionOf(nullptr);
    CHECK(read.result);
    CHECK_EQ(Hex(read.packed), Hex(0x03010004));
    CHECK_EQ(read.build, 1592);
}

TEST(BuildMayBeOmitted)
{
    DWORD packed = 0;
    CHECK(GetFileVersionNumbers(Fixture(L"version_1016.exe").c_str(), packed));
    CHECK_EQ(Hex(packed), Hex(0x01000001));
}
