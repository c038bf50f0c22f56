// Damaged and hostile images: each is refused as a bad image, without a
// crash, a hang or an allocation sized by an unchecked field.
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

bool Refused(const Bytes& file)
{
    try
    {
        ResourceEditor editor(file);
        editor.Tree().Set(ResName::Id(24), ResName::Id(1), ResName::Id(0), Bytes(10, 'x'));
        editor.Build();
        return false;
    }
    catch (const BadImage&)
    {
        return true;
    }
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
        return Refused(copy);
    };
    CHECK(damaged(0, 0x4D4E, 2));                                // not MZ
    CHECK(damaged(0x3C, 0xFFFFFFF0, 4));                         // PE header past the end
    CHECK(damaged(image.OptionalHeaderOffset(), 0x107, 2));      // ROM image magic
    CHECK(damaged(image.NumberOfSectionsOffset(), 0xFFFF, 2));   // absurd section count
    CHECK(damaged(image.NumberOfSectionsOffset(), 0, 2));        // no sections
    CHECK(damaged(image.FileHeaderOffset() + 16, 0xFFFF, 2));    // optional header too long
    CHECK(damaged(image.OptionalHeaderOffset() + 36, 0x300, 4)); // file alignment
    CHECK(damaged(image.Sections()[0].headerOffset + 20, 0xFFFFFF00, 4)); // raw data past end
    CHECK(damaged(image.Sections()[0].headerOffset + 16, 0x7FFFFFFF, 4)); // raw size past end
    // The resource directory outside every section, or its data outside.
    CHECK(damaged(image.DirectoryOffset(kDirResource), 0x7FFF0000, 4));
    // A certificate table inside the sections, or past the end of the file.
    Bytes copy = file;
    Write32(copy, image.DirectoryOffset(kDirSecurity), 0x200);
    Write32(copy, image.DirectoryOffset(kDirSecurity) + 4, 0x100);
    CHECK(Refused(copy));
    Write32(copy, image.DirectoryOffset(kDirSecurity), static_cast<uint32_t>(file.size() - 8));
    CHECK(Refused(copy));
}

TEST(DamagedTreesAreRefused)
{
    const Bytes file = Fixture();
    const size_t root = RootOffset(file);
    auto damaged = [&](size_t offset, uint32_t value)
    {
        Bytes copy = file;
        Write32(copy, offset, value);
        return Refused(copy);
    };
    CHECK(damaged(root + 12, 0xFFFFFFFF)); // 131070 entries in a small section
    CHECK(damaged(root + 20, 0x80000000)); // first type points back at the root
    CHECK(damaged(root + 20, 0x8FFFFFF0)); // subdirectory past the section
    CHECK(damaged(root + 16, 0x8FFFFFF0)); // name string past the section
    CHECK(damaged(root + 20, 0x00000010)); // data entry at the type level
    CHECK(damaged(root + 16, 0x00010003)); // id above 16 bits

    // Walk down to the first data entry and damage it.
    const size_t names = root + (Read32(file, root + 20) & 0x7FFFFFFF);
    const size_t languages = root + (Read32(file, names + 20) & 0x7FFFFFFF);
    const size_t entry = root + Read32(file, languages + 20);
    CHECK(damaged(entry, 0xFFFFF000));     // data RVA outside every section
    CHECK(damaged(entry + 4, 0x7FFFFFFF)); // data size past the section
    CHECK(damaged(languages + 20, 0x80000000 | uint32_t(names - root))); // a cycle
}

TEST(TwoTypesSharingOneDirectoryAreRefused)
{
    // A tree that would fan out by pointing many entries at one table.
    Bytes file = Fixture();
    const size_t root = RootOffset(file);
    const unsigned count = Read16(file, root + 12) + Read16(file, root + 14);
    CHECK(count >= 2);
    Write32(file, root + 16 + 8 + 4, Read32(file, root + 16 + 4));
    CHECK(Refused(file));
}
