// The resource writer's portable core on real images built by the cross
// build: round trips, adding and deleting manifest 1, overlays, checksums,
// certificate tables and images whose resource section is not last.
// Arguments: the folder holding the cross build's fixtures.
#include "PeCheck.h"
#include "tests/support/TestHarness.h"

#include <cstring>

using namespace pe;
using pecheck::Flatten;

namespace
{
const ResName kManifestType = ResName::Id(24);
const ResName kNameOne = ResName::Id(1);
const ResName kNeutral = ResName::Id(0);

std::string FixturePath(const char* name)
{
    const auto& args = testing::Arguments();
    return (args.empty() ? std::string(".") : args[0]) + "/" + name;
}

Bytes Fixture(const char* name)
{
    Bytes bytes = pecheck::ReadFile(FixturePath(name));
    if (bytes.empty())
        testing::Fail(__FILE__, __LINE__, std::string("missing fixture ") + name);
    return bytes;
}

Bytes Text(const char* text)
{
    return Bytes(text, text + strlen(text));
}

using pecheck::Random;

Bytes Edit(const Bytes& file, void (*change)(ResourceTree&))
{
    ResourceEditor editor(file);
    change(editor.Tree());
    return editor.Build();
}

void AddManifest(ResourceTree& tree)
{
    tree.Set(kManifestType, kNameOne, kNeutral, Text("<assembly/>"));
}

void AddLargeEntry(ResourceTree& tree)
{
    tree.Set(ResName::Named(u"LARGE"), kNameOne, kNeutral, Random(300000, 7));
}

void AddHugeEntry(ResourceTree& tree)
{
    tree.Set(ResName::Named(u"HUGE"), kNameOne, kNeutral, Random(500000, 8));
}

void DeleteManifest(ResourceTree& tree)
{
    tree.Remove(kManifestType, kNameOne, kNeutral);
}

void NoChange(ResourceTree&) {}

const char* const kImages[] = {"rich_resources.exe",        "rich_resources_other.exe",
                               "version_1016.exe",          "no_version.exe",
                               "manifest1twolanguages.exe", "marker.dll"};

size_t SectionCount(const Bytes& file)
{
    return PeImage(file).Sections().size();
}
} // namespace

TEST(RoundTripKeepsEveryResourceAndSection)
{
    for (const char* name : kImages)
    {
        const Bytes file = Fixture(name);
        const Bytes once = Edit(file, NoChange);
        CHECK(Flatten(once) == Flatten(file));
        CHECK_EQ(pecheck::CompareOtherSections(file, once), std::string());
        CHECK(Edit(once, NoChange) == once); // the layout is stable
        CHECK_EQ(once.size(), file.size());
    }
}

TEST(AddThenDeleteManifestOne)
{
    for (const char* name : kImages)
    {
        const Bytes file = Fixture(name);
        pecheck::Flat expected = Flatten(file);
        expected.erase({kManifestType, kNameOne, kNeutral});
        const Bytes added = Edit(file, AddManifest);
        pecheck::Flat withManifest = expected;
        withManifest[{kManifestType, kNameOne, kNeutral}] = {Text("<assembly/>"), 0};
        CHECK(Flatten(added) == withManifest);
        CHECK_EQ(pecheck::CompareOtherSections(file, added), std::string());

        const Bytes deleted = Edit(added, DeleteManifest);
        CHECK(Flatten(deleted) == expected);
        CHECK_EQ(pecheck::CompareOtherSections(added, deleted), std::string());
        // A program that had no resources is as it was, to the byte.
        if (PeImage(file).DirectoryRva(kDirResource) == 0)
            CHECK(deleted == file);
    }
}

// Layouts other linkers, packers and compilers make. Enable, Disable and
// Enable again keep the loader's rules, every data directory other than the
// resources' reading the same bytes at the same address, every other
// section's mapped bytes, and the data after the last section at its offset
// unless a change needs more room than the file has.
TEST(EveryLayoutKeepsAllButItsResources)
{
    // A manifest as Enable writes it, in the neutral language; Disable
    // deletes it in every language.
    void (*const enable)(ResourceTree&) = [](ResourceTree& tree)
    { tree.Set(kManifestType, kNameOne, kNeutral, Random(700, 21)); };
    void (*const disable)(ResourceTree&) = [](ResourceTree& tree)
    {
        tree.Remove(kManifestType, kNameOne, kNeutral);
        tree.Remove(kManifestType, kNameOne, ResName::Id(0x409));
    };
    const struct
    {
        const char* fixture;
        const char* layout;
        bool overlayStays; // the data after the last section keeps its offset
    } layouts[] = {
        {"packed.exe", "imports and TLS in the resource section's slack", true},
        {"managed.exe", "no room for a section header", false},
        {"raw_beyond.exe", "a last section's raw size past its memory", false},
        {"installer.exe", "a payload found by its offset, resources last", true},
        {"uac_only.exe", "resources before relocations, symbols after the sections", false},
        {"no_version.exe", "no resources, symbols after the sections", false},
    };
    for (const auto& l : layouts)
    {
        const Bytes file = Fixture(l.fixture);
        if (file.empty())
            continue;
        const uint64_t overlay = PeImage(file).OverlayStart();
        const Bytes appended(file.begin() + overlay, file.end());
        Bytes step = file;
        for (int i = 0; i < 3; ++i)
        {
            const std::string what = std::string(l.fixture) + " (" + l.layout + "), step " +
                                     std::to_string(i + 1) + ": ";
            try
            {
                step = Edit(step, i == 1 ? disable : enable);
            }
            catch (const BadImage& refused)
            {
                testing::Fail(__FILE__, __LINE__, what + "refused: " + refused.reason);
                break;
            }
            const std::string rules = pecheck::LoaderRuleViolations(step);
            const std::string directories = pecheck::CompareDirectories(file, step);
            const std::string sections = pecheck::CompareOtherSections(file, step);
            if (!rules.empty() || !directories.empty() || !sections.empty())
                testing::Fail(__FILE__, __LINE__, what + rules + directories + sections);
            CHECK_EQ(Flatten(step).count({kManifestType, kNameOne, kNeutral}), size_t(i != 1));
            const uint64_t now = PeImage(step).OverlayStart();
            CHECK(Bytes(step.begin() + std::min<uint64_t>(now, step.size()), step.end()) ==
                  appended);
            if (l.overlayStays && !appended.empty())
                CHECK_EQ(now, overlay);
        }
    }
}

TEST(DeletingTheLastEntryOfANameOrTypeRemovesIt)
{
    ResourceEditor editor(Fixture("manifest1twolanguages.exe"));
    ResourceTree& tree = editor.Tree();
    CHECK(tree.Remove(kManifestType, kNameOne, kNeutral));
    CHECK(tree.Remove(kManifestType, kNameOne, ResName::Id(0x409)));
    CHECK(!tree.Remove(kManifestType, kNameOne, ResName::Id(0x409)));
    const auto& types = tree.Root().entries;
    CHECK(types.count(kManifestType) == 1);
    CHECK(types.at(kManifestType).entries.count(kNameOne) == 0);
    CHECK(tree.Remove(kManifestType, ResName::Id(2), kNeutral));
    CHECK(types.count(kManifestType) == 0);
}

// A mingw build has .reloc (and debug sections) after .rsrc: a tree that
// outgrows its section goes into a new last section, and nothing moves.
TEST(GrowingTreeBeforeOtherSectionsGoesToANewSection)
{
    const Bytes file = Fixture("rich_resources.exe");
    const PeImage before(file);
    const int resources = before.SectionOf(before.DirectoryRva(kDirResource));
    CHECK(resources >= 0 && size_t(resources) + 1 < before.Sections().size());

    const Bytes grown = Edit(file, AddLargeEntry);
    CHECK_EQ(SectionCount(grown), SectionCount(file) + 1);
    CHECK_EQ(pecheck::CompareOtherSections(file, grown), std::string());
    const PeImage after(grown);
    CHECK_EQ(after.DirectoryRva(kDirResource), after.Sections().back().virtualAddress);
    const Section& added = after.Sections().back();
    CHECK_EQ(Read32(grown, after.SizeOfImageOffset()),
             AlignUp(uint64_t(added.virtualAddress) + added.virtualSize, after.SectionAlignment()));

    // Shrinking back fits the new section in place.
    const Bytes shrunk = Edit(grown, [](ResourceTree& tree)
                              { tree.Remove(ResName::Named(u"LARGE"), kNameOne, kNeutral); });
    CHECK_EQ(SectionCount(shrunk), SectionCount(grown));
    CHECK(Flatten(shrunk) == Flatten(file));
}

// With the tree in the last section, that section grows and the overlay
// (here with the COFF symbol table in it) moves behind it.
TEST(LastSectionGrowsAndOverlayFollows)
{
    // A first update moves the tree into a new last section.
    const Bytes base = Edit(Fixture("rich_resources.exe"), AddLargeEntry);
    const PeImage image(base);
    const Bytes overlay = Random(100 * 1024, 3);
    Bytes file(base.begin(), base.begin() + image.OverlayStart());
    const size_t symbolTableInto =
        Read32(base, image.PointerToSymbolTableOffset()) - image.OverlayStart();
    const Bytes oldOverlay(base.begin() + image.OverlayStart(), base.end());
    file.insert(file.end(), oldOverlay.begin(), oldOverlay.end());
    file.insert(file.end(), overlay.begin(), overlay.end());

    const Bytes grown = Edit(file, AddHugeEntry);
    CHECK_EQ(SectionCount(grown), SectionCount(file));
    const PeImage after(grown);
    CHECK(after.OverlayStart() > image.OverlayStart());
    const Bytes newOverlay(grown.begin() + after.OverlayStart(), grown.end());
    Bytes expected = oldOverlay;
    expected.insert(expected.end(), overlay.begin(), overlay.end());
    CHECK(newOverlay == expected);
    CHECK_EQ(size_t(Read32(grown, after.PointerToSymbolTableOffset())),
             after.OverlayStart() + symbolTableInto);
    CHECK_EQ(pecheck::CompareOtherSections(file, grown), std::string());
}

TEST(CheckSumRecomputedOnlyWhenPresent)
{
    Bytes file = Fixture("version_1016.exe");
    const PeImage image(file);
    Write32(file, image.CheckSumOffset(), 0);
    CHECK_EQ(Read32(Edit(file, AddManifest), image.CheckSumOffset()), 0u);

    Write32(file, image.CheckSumOffset(), ComputeCheckSum(file, image.CheckSumOffset()) ^ 1);
    const Bytes changed = Edit(file, AddManifest);
    const uint32_t sum = Read32(changed, image.CheckSumOffset());
    CHECK(sum != 0 && sum != Read32(file, image.CheckSumOffset()));
    CHECK_EQ(sum, ComputeCheckSum(changed, image.CheckSumOffset()));
}

TEST(CertificateTableIsCutOutOfTheOverlay)
{
    Bytes file = Fixture("version_1016.exe");
    const PeImage image(file);
    const Bytes before = Random(1000, 11), certificate = Random(512, 12), after = Random(900, 13);
    const size_t symbols = Read32(file, image.PointerToSymbolTableOffset());
    file.insert(file.end(), before.begin(), before.end());
    const uint32_t at = static_cast<uint32_t>(file.size());
    file.insert(file.end(), certificate.begin(), certificate.end());
    file.insert(file.end(), after.begin(), after.end());
    Write32(file, image.DirectoryOffset(kDirSecurity), at);
    Write32(file, image.DirectoryOffset(kDirSecurity) + 4, 512);

    const Bytes changed = Edit(file, AddManifest);
    const PeImage result(changed);
    CHECK_EQ(result.DirectoryRva(kDirSecurity), 0u);
    CHECK_EQ(result.DirectorySize(kDirSecurity), 0u);
    Bytes expected(file.begin() + image.OverlayStart(), file.begin() + at);
    expected.insert(expected.end(), after.begin(), after.end());
    CHECK(Bytes(changed.begin() + result.OverlayStart(), changed.end()) == expected);
    CHECK_EQ(size_t(Read32(changed, result.PointerToSymbolTableOffset())),
             symbols - image.OverlayStart() + result.OverlayStart());
}

// Something after the section table (bound imports, for one) leaves no room
// for one more section header: refused, unless the tree fits in place.
TEST(NoRoomForASectionHeader)
{
    Bytes file = Fixture("rich_resources.exe");
    const PeImage image(file);
    const size_t end = image.SectionTableOffset() + 40 * image.Sections().size();
    file[end] = 0x5A;
    bool refused = false;
    try
    {
        Edit(file, AddLargeEntry);
    }
    catch (const BadImage&)
    {
        refused = true;
    }
    CHECK(refused);
    try
    {
        Edit(file, AddLargeEntry);
    }
    catch (const BadImage& refusal)
    {
        CHECK(refusal.noRoom);
    }
    // A shrinking tree still goes in place.
    const Bytes shrunk =
        Edit(file, [](ResourceTree& tree)
             { tree.Remove(ResName::Id(10), ResName::Named(u"MYDATA"), kNeutral); });
    CHECK_EQ(Flatten(shrunk).size() + 1, Flatten(file).size());
}

TEST(StringNamesAndTypesKeepTheFormatsOrder)
{
    ResourceEditor editor(Fixture("no_version.exe"));
    ResourceTree& tree = editor.Tree();
    tree.Set(ResName::Id(10), ResName::Named(u"ZED"), kNeutral, Text("z"));
    tree.Set(ResName::Id(10), ResName::Named(u"ALPHA"), kNeutral, Text("a"));
    tree.Set(ResName::Id(10), ResName::Id(7), kNeutral, Text("7"));
    tree.Set(ResName::Id(10), ResName::Id(3), kNeutral, Text("3"));
    const Bytes out = editor.Build();
    const PeImage image(out);
    const size_t root = image.OffsetOf(image.DirectoryRva(kDirResource), 16);
    // Root: one id entry (type 10), pointing at a directory.
    CHECK_EQ(Read16(out, root + 12), 0);
    CHECK_EQ(Read16(out, root + 14), 1);
    const size_t names = root + (Read32(out, root + 20) & 0x7FFFFFFF);
    CHECK_EQ(Read16(out, names + 12), 2);
    CHECK_EQ(Read16(out, names + 14), 2);
    auto nameAt = [&](int i)
    {
        const uint32_t field = Read32(out, names + 16 + 8 * i);
        if (!(field & 0x80000000))
            return std::to_string(field);
        const size_t s = root + (field & 0x7FFFFFFF);
        std::string text;
        for (unsigned k = 0; k < Read16(out, s); ++k)
            text += char(Read16(out, s + 2 + 2 * k));
        return text;
    };
    CHECK_EQ(nameAt(0), std::string("ALPHA"));
    CHECK_EQ(nameAt(1), std::string("ZED"));
    CHECK_EQ(nameAt(2), std::string("3"));
    CHECK_EQ(nameAt(3), std::string("7"));
}

// Damaged section tables the loaders read differently from the format: the
// writer must not put the tree where one of them would look elsewhere, nor
// overwrite bytes that belong to another section or to the headers.
TEST(SectionsWhoseRawBytesOverlapAreNeverWrittenInPlace)
{
    const Bytes file = Fixture("rich_resources.exe");
    const PeImage image(file);
    const int resources = image.SectionOf(image.DirectoryRva(kDirResource));
    CHECK(resources > 0);
    const Section& s = image.Sections()[static_cast<size_t>(resources)];
    const Section& previous = image.Sections()[static_cast<size_t>(resources) - 1];

    // The tree section's raw bytes start inside the previous section's (the
    // tree is copied there first so that it still reads).
    Bytes overlapping = file;
    const uint32_t start = previous.pointerToRawData;
    std::copy(file.begin() + s.pointerToRawData,
              file.begin() + s.pointerToRawData + s.sizeOfRawData, overlapping.begin() + start);
    Write32(overlapping, previous.headerOffset + 16, 1024);
    Write32(overlapping, s.headerOffset + 20, start);
    CHECK(Flatten(overlapping) == Flatten(file));
    const Bytes changed = Edit(overlapping, DeleteManifest);
    CHECK_EQ(SectionCount(changed), SectionCount(overlapping) + 1);
    CHECK(std::equal(overlapping.begin() + start, overlapping.begin() + start + 1024,
                     changed.begin() + start));
}

// The last section's raw size reaches past its memory (VirtualSize 0x10, raw
// data beyond the next address): a new section follows its memory without a
// gap, and its raw size is cut back to that address, so that readers that
// find a section by its raw size still read the tree from the new one.
TEST(ANewSectionFollowsTheLastOnesMemory)
{
    Bytes file = Fixture("rich_resources.exe");
    const PeImage image(file);
    const Section& last = image.Sections().back();
    const uint32_t grownRaw =
        AlignUp(uint64_t(last.virtualAddress) + 0x5000, 512) - last.virtualAddress;
    file.resize(size_t(last.pointerToRawData) + grownRaw, 0);
    Write32(file, last.headerOffset + 16, grownRaw);
    Write32(file, last.headerOffset + 8, 0x10);
    const Bytes grown = Edit(file, AddLargeEntry);
    const PeImage after(grown);
    const uint32_t due = AlignUp(uint64_t(last.virtualAddress) + 0x10, image.SectionAlignment());
    CHECK_EQ(after.Sections().back().virtualAddress, due);
    CHECK_EQ(after.DirectoryRva(kDirResource), due);
    const Section& cut = after.Sections()[after.Sections().size() - 2];
    CHECK_EQ(cut.sizeOfRawData, due - last.virtualAddress);
    CHECK_EQ(pecheck::LoaderRuleViolations(grown), std::string());
    CHECK(Flatten(grown).size() == Flatten(file).size() + 1);
}

TEST(HeadersReachingIntoTheFirstSectionAreRefused)
{
    Bytes file = Fixture("rich_resources.exe");
    const PeImage image(file);
    Write32(file, image.OptionalHeaderOffset() + 60, image.Sections()[0].virtualAddress + 0x200);
    bool refused = false;
    try
    {
        ResourceEditor editor(file);
    }
    catch (const BadImage&)
    {
        refused = true;
    }
    CHECK(refused);
}
