// Reading file versions from real executables built with version blocks.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "engine/FileVersion.h"
#include "framework/AutoHandles.h"

#include <cstring>

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

// A damaged file whose version entry points its data outside the image: the
// platform's reader would fault on it, so it counts as having no version.
TEST(VersionDataOutsideTheImageIsNotRead)
{
    CScratchFolder folder(L"version_damaged");
    const std::wstring path = folder / L"damaged.exe";
    std::string bytes = ReadFileBytes(Fixture(L"version_2_1_300_4.exe"));
    size_t entry = 0;
    {
        CLibrary module(LoadLibraryExW(Fixture(L"version_2_1_300_4.exe").c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE));
        HRSRC info = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_VERSION);
        CHECK(info != nullptr);
        // A data file is mapped as it lies on disk, so the entry's address
        // gives its file offset.
        entry = reinterpret_cast<ULONG_PTR>(info) -
                (reinterpret_cast<ULONG_PTR>(module.Get()) & ~ULONG_PTR(3));
    }
    const uint32_t outside[2] = {0x70001, 0x80000218}; // data RVA and size
    memcpy(&bytes[entry], outside, sizeof outside);
    CHECK(WriteFileBytes(path, bytes));

    DWORD packed = 0xDEADBEEF;
    int build = -7;
    CHECK(!GetFileVersionNumbers(path.c_str(), packed, &build));
    CHECK_EQ(packed, DWORD(0));
    CHECK_EQ(build, -7);
}
