// Reading file versions from real executables built with version blocks.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "engine/FileVersion.h"
#include "engine/ImageResources.h"
#include "engine/ManifestVariants.h"
#include "engine/TargetModule.h"
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

// Damaged files whose version entry points its data outside the image: the
// platform's reader would fault on them, so they count as having no version.
TEST(VersionDataOutsideTheImageIsNotRead)
{
    CScratchFolder folder(L"version_damaged");
    const std::wstring fixture = Fixture(L"version_2_1_300_4.exe");
    const std::string original = ReadFileBytes(fixture);
    size_t entryOffset = 0;
    IMAGE_RESOURCE_DATA_ENTRY entry = {};
    DWORD imageSize = 0;
    {
        CLibrary module(LoadLibraryExW(fixture.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        HRSRC info = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_VERSION);
        CHECK(info != nullptr);
        // A data file is mapped as it lies on disk, so the entry's address
        // gives its file offset.
        const ULONG_PTR base = reinterpret_cast<ULONG_PTR>(module.Get()) & ~ULONG_PTR(3);
        entryOffset = reinterpret_cast<ULONG_PTR>(info) - base;
        memcpy(&entry, &original[entryOffset], sizeof entry);
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        imageSize = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)
                        ->OptionalHeader.SizeOfImage;
    }
    const std::wstring path = folder / L"damaged.exe";
    auto versionOf = [&](const std::string& bytes)
    {
        CHECK(WriteFileBytes(path, bytes));
        DWORD packed = 0xDEADBEEF;
        int build = -7;
        const BOOL read = GetFileVersionNumbers(path.c_str(), packed, &build);
        CHECK_EQ(packed, DWORD(0));
        CHECK_EQ(build, -7);
        return read;
    };

    // The data's address and size outside every section.
    std::string bytes = original;
    const uint32_t outside[2] = {0x70001, 0x80000218};
    memcpy(&bytes[entryOffset], outside, sizeof outside);
    CHECK(!versionOf(bytes));

    // The data running past the end of the image into data appended to the
    // file: readable in the file, not in the image.
    bytes = original + std::string(1 << 20, 'x');
    const uint32_t pastImage = imageSize - entry.OffsetToData + 0x1000;
    memcpy(&bytes[entryOffset + 4], &pastImage, 4);
    CHECK(!versionOf(bytes));
}

// The tool's own reader, used where the loader cannot take a name, reads
// what the loader reads: the processor, every language variant of manifest
// 1 and the version block, byte for byte, and why there is no manifest 1.
TEST(TheOwnReaderReadsWhatTheLoaderReads)
{
    for (const wchar_t* fixture :
         {L"version_1016.exe", L"no_version.exe", L"manifest1english.exe",
          L"manifest1twolanguages.exe", L"manifest2only.exe", L"not_xml.exe", L"utf16_settings.exe",
          L"rich_resources.exe", L"other_arch.exe", L"arm64_target.exe", L"managed.exe"})
    {
        const std::wstring path = Fixture(fixture);
        CImageResources own;
        CHECK(ReadImageResources(path.c_str(), own));
        CLibrary module(LoadTargetModule(path.c_str()));
        CHECK(static_cast<bool>(module));
        if (!module)
            continue;
        CHECK_EQ(own.machine, DataModuleHeaders(module.Get())->FileHeader.Machine);
        CHECK_EQ(std::string(ManifestArchitectureOf(own.machine, own.runtimeFlags)),
                 std::string(ManifestArchitecture(module.Get())));
        std::vector<CManifestVariant> loaded;
        SetLastError(0);
        CHECK(ReadManifestVariants(module.Get(), loaded));
        const DWORD missing = GetLastError();
        CHECK_EQ(own.manifests.size(), loaded.size());
        for (size_t i = 0; i < loaded.size() && i < own.manifests.size(); ++i)
        {
            CHECK_EQ(own.manifests[i].language, loaded[i].language);
            CHECK(own.manifests[i].inFile);
            CHECK(own.manifests[i].bytes == loaded[i].bytes);
        }
        // Windows says which level is missing; Wine says the data is.
        if (loaded.empty())
            CHECK(own.manifestsMissing == missing || missing == ERROR_RESOURCE_DATA_NOT_FOUND);
        HRSRC version = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_VERSION);
        CHECK_EQ(own.versions.empty(), version == nullptr);
        if (version && !own.versions.empty())
        {
            const auto bytes =
                static_cast<const uint8_t*>(LockResource(LoadResource(module.Get(), version)));
            CHECK(own.versions[0].bytes ==
                  std::vector<uint8_t>(bytes, bytes + SizeofResource(module.Get(), version)));
        }
        printf("  %s: %zu manifest variant(s), %zu version block(s)\n", Utf8(fixture).c_str(),
               own.manifests.size(), own.versions.size());
    }
    // Not a program, and no file at all: the reasons the loader gives.
    CImageResources own;
    SetLastError(0);
    CHECK(!ReadImageResources(Fixture(L"does not exist.exe").c_str(), own));
    CHECK_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    CScratchFolder folder(L"own_reader");
    WriteFileBytes(folder / L"text.exe", "MZ but nothing more");
    SetLastError(0);
    CHECK(!ReadImageResources((folder / L"text.exe").c_str(), own));
    CHECK_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
}
