// Damaged and hostile images: each is refused as a bad image, for the reason
// of the check that should catch it, without a crash, a hang or an allocation
// sized by an unchecked field.
#include "PeCheck.h"
#include "tests/support/TestHarness.h"

using namespace pe;

namespace
{
Bytes Fixture()
{
    const auto& args = testing::Arguments();
    return pecheck::ReadFile((args.empty() ? std::string(".") : args[0]) + "/rich_resources.exe");
}

// Why the writer refuses file, or an empty text when it takes it.
std::string Refusal(const Bytes& file)
{
    try
    {
        ResourceEditor editor(file);
        editor.Tree().Set(ResName::Id(24), ResName::Id(1), ResName::Id(0), Bytes(10, 'x'));
        editor.Build();
        return {};
    }
    catch (const BadImage& bad)
    {
        return bad.reason;
    }
}

bool Refused(const Bytes& file)
{
    return !Refusal(file).empty();
}

size_t RootOffset(const Bytes& file)
{
    const PeImage image(file);
    return image.OffsetOf(image.DirectoryRva(kDirResource), 16);
}
} // namespace

TEST(TruncatedImagesAreRefused)
{
    const Bytes file = Fixture();
    const PeImage image(file);
    CHECK(!Refused(file));
    // Every cut inside the headers, and one inside each section.
    for (size_t size = 0; size < image.SizeOfHeaders(); size += 7)
        CHECK(Refused(Bytes(file.begin(), file.begin() + size)));
    for (const Section& s : image.Sections())
        if (s.sizeOfRawData != 0)
            CHECK(Refused(
                Bytes(file.begin(), file.begin() + s.pointerToRawData + s.sizeOfRawData / 2)));
}

TEST(DamagedHeadersAreRefused)
{
    const Bytes file = Fixture();
    const PeImage image(file);
    auto damaged = [&](size_t offset, uint32_t value, int width)
    {
        Bytes copy = file;
        width == 2 ? Write16(copy, offset, static_cast<uint16_t>(value))
                   : Write32(copy, offset, value);
        return Refusal(copy);
    };
    using S = std::string;
    const size_t optional = image.OptionalHeaderOffset();
    const size_t first = image.Sections()[0].headerOffset;
    CHECK_EQ(damaged(0, 0x4D4E, 2), S("no MZ signature"));
    CHECK_EQ(damaged(0x3C, 0xFFFFFFF0, 4), S("PE header too far into the file"));
    CHECK_EQ(damaged(0x3C, 0x100000, 4), S("PE header past the end of the file"));
    CHECK_EQ(damaged(0x3C, 0x40, 4), S("no PE signature"));
    CHECK_EQ(damaged(optional, 0x107, 2), S("neither PE32 nor PE32+")); // ROM image
    CHECK_EQ(damaged(image.NumberOfSectionsOffset(), 0xFFFF, 2), S("section count out of range"));
    CHECK_EQ(damaged(image.NumberOfSectionsOffset(), 0, 2), S("section count out of range"));
    CHECK_EQ(damaged(image.FileHeaderOffset() + 16, 0xFFFF, 2),
             S("section table beyond SizeOfHeaders"));
    CHECK_EQ(damaged(image.FileHeaderOffset() + 16, 0x40, 2), S("optional header too short"));
    CHECK_EQ(damaged(optional + 36, 0x300, 4), S("bad file or section alignment"));
    CHECK_EQ(damaged(first + 20, 0xFFFFFF00, 4), S("section raw data past the end of the file"));
    CHECK_EQ(damaged(first + 16, 0x7FFFFFFF, 4), S("section raw data past the end of the file"));
    CHECK_EQ(damaged(first + 12, 0x7FFFFFF0, 4), S("sections overlap in memory"));
    CHECK_EQ(damaged(optional + 60, 0x7FFFFFF0, 4), S("headers reach into the first section"));
    // The resource directory outside every section.
    CHECK_EQ(damaged(image.DirectoryOffset(kDirResource), 0x7FFF0000, 4),
             S("resource directory outside every section"));
    // A certificate table inside the sections, or past the end of the file.
    Bytes copy = file;
    Write32(copy, image.DirectoryOffset(kDirSecurity), 0x200);
    Write32(copy, image.DirectoryOffset(kDirSecurity) + 4, 0x100);
    CHECK_EQ(Refusal(copy), S("certificate table inside the sections"));
    Write32(copy, image.DirectoryOffset(kDirSecurity), static_cast<uint32_t>(file.size() - 8));
    CHECK_EQ(Refusal(copy), S("certificate table past the end of the file"));
}

TEST(DamagedTreesAreRefused)
{
    const Bytes file = Fixture();
    const size_t root = RootOffset(file);
    auto damaged = [&](size_t offset, uint32_t value)
    {
        Bytes copy = file;
        Write32(copy, offset, value);
        return Refusal(copy);
    };
    using S = std::string;
    // 131070 entries in a small section.
    CHECK_EQ(damaged(root + 12, 0xFFFFFFFF), S("resource directory entries past their section"));
    // The first type points back at the root.
    CHECK_EQ(damaged(root + 20, 0x80000000), S("resource directory visited twice"));
    CHECK_EQ(damaged(root + 20, 0x8FFFFFF0), S("resource directory past its section"));
    CHECK_EQ(damaged(root + 16, 0x8FFFFFF0), S("resource name past its section"));
    CHECK_EQ(damaged(root + 20, 0x00000010), S("data entry where a directory belongs"));
    CHECK_EQ(damaged(root + 16, 0x00010003), S("resource id above 16 bits"));

    // Walk down to the first data entry and damage it.
    const size_t names = root + (Read32(file, root + 20) & 0x7FFFFFFF);
    const size_t languages = root + (Read32(file, names + 20) & 0x7FFFFFFF);
    const size_t entry = root + Read32(file, languages + 20);
    CHECK_EQ(damaged(languages + 20, 0x80000010), S("directory where a data entry belongs"));
    CHECK_EQ(damaged(languages + 20, 0x0FFFFFF0), S("resource data entry past its section"));
    CHECK_EQ(damaged(entry, 0xFFFFF000), S("address outside every section"));
    CHECK_EQ(damaged(entry + 4, 0x7FFFFFFF), S("data past its section's raw bytes"));
    CHECK_EQ(damaged(names + 20, 0x80000000 | uint32_t(names - root)),
             S("resource directory visited twice")); // a cycle
}

TEST(TwoTypesSharingOneDirectoryAreRefused)
{
    // A tree that would fan out by pointing many entries at one table.
    Bytes file = Fixture();
    const size_t root = RootOffset(file);
    const unsigned count = Read16(file, root + 12) + Read16(file, root + 14);
    CHECK(count >= 2);
    Write32(file, root + 16 + 8 + 4, Read32(file, root + 16 + 4));
    CHECK_EQ(Refusal(file), std::string("resource directory visited twice"));
}
