#include "ResourcePlacement.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace pe
{
const char kSpillSectionName[8] = {'.', 'r', 'e', 's', 'd', 'a', 't', 'a'};

namespace
{
using namespace format;

const char kTreeName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
const char kOldTreeName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
// A new section for the directory must cost less than a page more than
// leaving the directory in place.
constexpr int64_t kDirectoryMoveAllowance = 4096;
constexpr int kGivenData = -2; // the home of data that an update gave

uint64_t Align8(uint64_t value)
{
    return (value + 7) & ~uint64_t(7);
}

bool HasName(const PeImage& image, const Section& s, const char (&name)[8])
{
    return std::memcmp(image.Headers().data() + s.headerOffset + section::kName, name,
                       section::kNameSize) == 0;
}

// Whether a section's raw data can be rewritten without touching any other
// byte the loader reads: it starts after the headers, where every loader
// looks for it (Windows rounds the start down to 512 bytes), and shares no
// bytes with another section.
bool OwnsItsRawData(const PeImage& image, size_t index)
{
    const std::vector<Section>& sections = image.Sections();
    const Section& s = sections[index];
    const uint64_t begin = s.pointerToRawData, end = begin + s.sizeOfRawData;
    if (s.sizeOfRawData == 0 || begin % 512 != 0 || begin < image.SizeOfHeaders())
        return false;
    for (size_t i = 0; i < sections.size(); ++i)
    {
        const Section& other = sections[i];
        const uint64_t otherBegin = other.pointerToRawData;
        if (i != index && other.sizeOfRawData != 0 && otherBegin < end &&
            begin < otherBegin + other.sizeOfRawData)
            return false;
    }
    return true;
}

// The last section of the table whose raw data ends the sections in the
// file: it can grow or shrink, the overlay moving behind it.
bool IsLastInFile(const PeImage& image, size_t index)
{
    const std::vector<Section>& sections = image.Sections();
    const Section& s = sections[index];
    if (index + 1 != sections.size() || s.sizeOfRawData == 0 ||
        uint64_t(s.pointerToRawData) + s.sizeOfRawData != image.OverlayStart())
        return false;
    return std::all_of(sections.begin(), sections.end() - 1,
                       [&](const Section& other) {
                           return other.sizeOfRawData == 0 ||
                                  other.pointerToRawData < s.pointerToRawData;
                       });
}

// Free space of one section being laid out, as offsets from its start.
class Area
{
public:
    Area(int section, uint32_t virtualAddress, uint64_t capacity)
        : m_section(section), m_virtualAddress(virtualAddress), m_capacity(capacity)
    {
    }

    void Reserve(uint64_t begin, uint64_t end)
    {
        if (begin == end)
            return;
        m_sorted = m_sorted && (m_used.empty() || m_used.back().first <= begin);
        m_used.emplace_back(begin, end);
        m_end = std::max(m_end, end);
    }

    // The first 8-aligned gap that holds size bytes.
    bool Place(uint64_t size, uint64_t& at)
    {
        if (!m_sorted)
            std::sort(m_used.begin(), m_used.end());
        m_sorted = true;
        uint64_t cursor = 0;
        size_t next = 0;
        for (; next < m_used.size(); ++next)
        {
            if (Align8(cursor) + size <= m_used[next].first)
                break;
            cursor = std::max(cursor, m_used[next].second);
        }
        at = Align8(cursor);
        if (at + size > m_capacity)
            return false;
        if (size != 0)
        {
            m_used.insert(m_used.begin() + static_cast<std::ptrdiff_t>(next), {at, at + size});
            m_end = std::max(m_end, at + size);
        }
        return true;
    }

    int SectionIndex() const { return m_section; }
    uint32_t VirtualAddress() const { return m_virtualAddress; }
    uint64_t End() const { return m_end; }
    bool Empty() const { return m_used.empty(); }

private:
    int m_section;
    uint32_t m_virtualAddress;
    uint64_t m_capacity;
    std::vector<std::pair<uint64_t, uint64_t>> m_used;
    bool m_sorted = true;
    uint64_t m_end = 0;
};

// One piece of data, shared by every entry that points at the same bytes.
struct Blob
{
    const ResourceData* data;
    uint32_t size;
    int home;     // the section that holds it, or kGivenData
    uint32_t rva; // where it is now, for data in the image
};

// A candidate layout: each blob's new address and the area it is copied
// into (-1: it stays where it is, untouched).
struct Layout
{
    std::vector<uint32_t> rva;
    std::vector<int> area;
    std::vector<Area> areas;
    int directoryArea = 0;
    int64_t growth = 0;       // bytes the file grows by
    bool grownInFile = false; // the root's section grows before later sections' raw data
};

class Placer
{
public:
    Placer(const PeImage& image, const RootSection& root, const SpillSection& spill,
           const ResourceTree& tree, bool shared)
        : m_image(image), m_root(root), m_spill(spill), m_tree(tree),
          m_directorySize(tree.DirectorySize()), m_fileAlignment(image.FileAlignment()),
          m_shared(shared && root.index >= 0)
    {
        std::map<std::pair<uint32_t, uint32_t>, size_t> byPlace;
        tree.ForEachData(
            [&](const ResourceData& data)
            {
                if (data.inImage)
                {
                    auto found =
                        byPlace.emplace(std::make_pair(data.rva, data.size), m_blobs.size());
                    if (!found.second)
                    {
                        m_blobOf[&data] = found.first->second;
                        return;
                    }
                }
                m_blobOf[&data] = m_blobs.size();
                const int home = data.inImage ? image.SectionOf(data.rva) : kGivenData;
                m_blobs.push_back(Blob{&data, data.Size(), home, data.rva});
                if (home == m_spill.index)
                    m_spillLive = true;
            });
        m_owned = root.index >= 0 && root.root == 0 &&
                  OwnsItsRawData(image, static_cast<size_t>(root.index));
        if (m_shared)
            PinAllButTheTree();
    }

    Placement Place()
    {
        // What keeps the file's size keeps the data after the last section
        // where it is: installers find their payload by its offset.
        Layout inPlace, spilled, moved, grown;
        const bool fits = m_owned && InPlace(inPlace, RootCapacity());
        if (fits && inPlace.growth <= 0)
            return Finish(inPlace);
        const bool canSpill = m_owned && DirectoryInPlace(spilled);
        if (canSpill && spilled.growth <= 0)
            return Finish(spilled);
        if (fits)
            return Finish(inPlace);
        const bool canMove = DirectoryMoved(moved);
        if (canSpill && (!canMove || moved.growth >= spilled.growth + kDirectoryMoveAllowance))
            return Finish(spilled);
        if (canMove)
            return Finish(moved);
        // No room for another section header (small .NET programs): the
        // section grows in the file within its own address space.
        if (m_owned && !RootIsLastInFile() && InPlace(grown, AddressSpace()))
        {
            grown.grownInFile = true;
            return Finish(grown);
        }
        throw BadImage{"no room for another section header, and none in the resource section's "
                       "address space",
                       true};
    }

private:
    const Section& RootSectionHeader() const
    {
        return m_image.Sections()[static_cast<size_t>(m_root.index)];
    }
    bool RootIsLastInFile() const
    {
        return IsLastInFile(m_image, static_cast<size_t>(m_root.index));
    }

    // Every byte of the root's section that the tree did not use when it
    // was read, up to the end of its memory, keeps its place.
    void PinAllButTheTree()
    {
        const Section& s = RootSectionHeader();
        const uint64_t begin = s.virtualAddress;
        const uint64_t end = std::max<uint64_t>(s.VirtualExtent(), s.MappedRawSize());
        std::vector<std::pair<uint64_t, uint64_t>> tree;
        for (const auto& range : m_tree.ReadRanges())
            if (range.second > begin && range.first < begin + end)
                tree.emplace_back(std::max<uint64_t>(range.first, begin) - begin,
                                  std::min<uint64_t>(range.second, begin + end) - begin);
        std::sort(tree.begin(), tree.end());
        uint64_t cursor = 0;
        for (const auto& range : tree)
        {
            if (range.first > cursor)
                m_pinned.emplace_back(cursor, range.first);
            cursor = std::max(cursor, range.second);
        }
        if (cursor < end)
            m_pinned.emplace_back(cursor, end);
    }

    // Whether a directory of size fits at the section's start.
    bool DirectoryClearOfPinned() const
    {
        return m_pinned.empty() || m_pinned.front().first >= m_directorySize;
    }

    void ReservePinned(Area& area) const
    {
        for (const auto& range : m_pinned)
            area.Reserve(range.first, range.second);
    }

    // The root's address space: up to the next section's address.
    uint64_t AddressSpace() const
    {
        const Section& s = RootSectionHeader();
        const size_t next = static_cast<size_t>(m_root.index) + 1;
        return next < m_image.Sections().size()
                   ? m_image.Sections()[next].virtualAddress - s.virtualAddress
                   : UINT32_MAX - uint64_t(s.virtualAddress);
    }

    // How far the root's section may reach, from its start.
    uint64_t RootCapacity() const
    {
        const Section& s = RootSectionHeader();
        const uint64_t limit = UINT32_MAX - uint64_t(s.virtualAddress);
        if (RootIsLastInFile())
            return limit;
        const size_t next = static_cast<size_t>(m_root.index) + 1;
        const uint64_t gap = next < m_image.Sections().size()
                                 ? m_image.Sections()[next].virtualAddress - s.virtualAddress
                                 : limit;
        return std::min<uint64_t>(s.sizeOfRawData, gap);
    }

    bool Movable(const Blob& blob) const
    {
        return blob.home == kGivenData || blob.home == m_root.index || blob.home == m_spill.index;
    }

    Layout Start() const
    {
        Layout layout;
        layout.rva.resize(m_blobs.size());
        layout.area.assign(m_blobs.size(), -1);
        for (size_t i = 0; i < m_blobs.size(); ++i)
            layout.rva[i] = m_blobs[i].rva;
        return layout;
    }

    void Put(Layout& layout, size_t blob, int area, uint64_t at) const
    {
        layout.area[blob] = area;
        layout.rva[blob] = static_cast<uint32_t>(layout.areas[area].VirtualAddress() + at);
    }

    // A blob that stays at its address inside an area that is rewritten.
    void Pin(Layout& layout, size_t blob, int area) const
    {
        const uint64_t at = m_blobs[blob].rva - layout.areas[area].VirtualAddress();
        layout.areas[area].Reserve(at, at + m_blobs[blob].size);
        layout.area[blob] = area;
    }

    // The whole tree laid out again in its own section, up to capacity.
    bool InPlace(Layout& layout, uint64_t capacity) const
    {
        uint64_t total = m_directorySize;
        for (const Blob& blob : m_blobs)
            if (Movable(blob))
                total = Align8(total) + blob.size;
        if (total > capacity || !DirectoryClearOfPinned())
            return false;
        layout = Start();
        layout.areas.emplace_back(m_root.index, RootSectionHeader().virtualAddress, capacity);
        layout.areas[0].Reserve(0, m_directorySize);
        ReservePinned(layout.areas[0]);
        for (size_t i = 0; i < m_blobs.size(); ++i)
        {
            uint64_t at = 0;
            if (!Movable(m_blobs[i]))
                continue;
            if (!layout.areas[0].Place(m_blobs[i].size, at))
                return false;
            Put(layout, i, 0, at);
        }
        // A last section keeps its raw size when it needs less: the freed
        // bytes stay as slack, and the data after it where it is.
        const int64_t raw = int64_t(AlignUp(layout.areas[0].End(), m_fileAlignment));
        const int64_t old = int64_t(RootSectionHeader().sizeOfRawData);
        layout.growth =
            RootIsLastInFile() || capacity > RootCapacity() ? std::max<int64_t>(raw - old, 0) : 0;
        return true;
    }

    // The directory in place; the data it covers now and the new data go to
    // free space in the section, then to the spill section.
    bool DirectoryInPlace(Layout& layout) const
    {
        if (m_directorySize > RootCapacity() || !DirectoryClearOfPinned())
            return false;
        layout = Start();
        const Section& s = RootSectionHeader();
        layout.areas.emplace_back(m_root.index, s.virtualAddress, RootCapacity());
        layout.areas[0].Reserve(0, m_directorySize);
        ReservePinned(layout.areas[0]);
        std::vector<size_t> moving;
        for (size_t i = 0; i < m_blobs.size(); ++i)
        {
            const Blob& blob = m_blobs[i];
            if (blob.home == m_root.index && blob.rva - s.virtualAddress >= m_directorySize)
                Pin(layout, i, 0);
            else if (blob.home != m_spill.index && Movable(blob))
                moving.push_back(i);
        }
        std::stable_sort(moving.begin(), moving.end(),
                         [&](size_t a, size_t b) { return m_blobs[a].size > m_blobs[b].size; });
        std::vector<size_t> spilled;
        for (size_t i : moving)
        {
            uint64_t at = 0;
            if (layout.areas[0].Place(m_blobs[i].size, at))
                Put(layout, i, 0, at);
            else
                spilled.push_back(i);
        }
        if (spilled.empty())
            return true; // a spill section from before is left as it is
        if (!StartTail(layout, m_spillLive))
            return false;
        for (size_t i = 0; i < m_blobs.size(); ++i)
            if (m_blobs[i].home == m_spill.index && m_spillLive)
                Pin(layout, i, 1);
        for (size_t i : spilled)
        {
            uint64_t at = 0;
            layout.areas[1].Place(m_blobs[i].size, at);
            Put(layout, i, 1, at);
        }
        layout.growth = TailGrowth(layout);
        return true;
    }

    // The directory and the new data in a new last section; everything
    // else stays where it is.
    bool DirectoryMoved(Layout& layout) const
    {
        layout = Start();
        if (!StartTail(layout, false))
            return false;
        layout.directoryArea = 1;
        layout.areas[1].Reserve(0, m_directorySize);
        for (size_t i = 0; i < m_blobs.size(); ++i)
        {
            uint64_t at = 0;
            if (m_blobs[i].home == kGivenData)
            {
                layout.areas[1].Place(m_blobs[i].size, at);
                Put(layout, i, 1, at);
            }
        }
        layout.growth = TailGrowth(layout);
        return true;
    }

    // Adds the area at the end of the file as layout.areas[1] (after a
    // placeholder for the root's when there is none): the spill section
    // itself when keep is set, else a section in its place when it holds
    // nothing live, else a new one. False when a new section has no room
    // for its table entry.
    bool StartTail(Layout& layout, bool keep) const
    {
        if (layout.areas.empty())
            layout.areas.emplace_back(-1, 0, 0);
        const uint64_t unlimited = UINT32_MAX;
        if (keep)
        {
            const Section& r = m_image.Sections()[static_cast<size_t>(m_spill.index)];
            layout.areas.emplace_back(m_spill.index, r.virtualAddress,
                                      unlimited - r.virtualAddress);
            return true;
        }
        const bool reuse = m_spill.index >= 0 && !m_spillLive;
        if (!reuse && !HasRoomForEntry())
            return false;
        // Right after the last section's memory: sections follow one
        // another in memory without a gap, and a raw size beyond the memory
        // size is no part of the memory.
        uint64_t end = 0;
        for (size_t i = 0; i < m_image.Sections().size(); ++i)
        {
            const Section& s = m_image.Sections()[i];
            if (!(reuse && int(i) == m_spill.index))
                end = std::max<uint64_t>(end, uint64_t(s.virtualAddress) + s.VirtualExtent());
        }
        const uint32_t address = AlignUp(end, m_image.SectionAlignment());
        layout.areas.emplace_back(reuse ? m_spill.index : -1, address, unlimited - address);
        return true;
    }

    bool HasRoomForEntry() const
    {
        if (!m_image.HasRoomForSectionHeader())
            return false;
        const Bytes& headers = m_image.Headers();
        const size_t at = m_image.SectionTableOffset() + m_image.Sections().size() * section::kSize;
        return std::all_of(headers.begin() + static_cast<std::ptrdiff_t>(at),
                           headers.begin() + static_cast<std::ptrdiff_t>(at + section::kSize),
                           [](uint8_t b) { return b == 0; });
    }

    int64_t TailGrowth(const Layout& layout) const
    {
        const int64_t raw = AlignUp(layout.areas[1].End(), m_fileAlignment);
        if (layout.areas[1].SectionIndex() >= 0)
            return raw -
                   int64_t(
                       m_image.Sections()[size_t(layout.areas[1].SectionIndex())].sizeOfRawData);
        const uint64_t overlay = m_image.OverlayStart();
        return raw + int64_t(AlignUp(overlay, m_fileAlignment) - overlay);
    }

    // Where the bytes of a blob are now.
    const uint8_t* Origin(const Blob& blob) const
    {
        if (blob.home == kGivenData)
            return blob.data->bytes.data();
        const bool inRoot = blob.home == m_root.index;
        const Bytes& bytes = inRoot ? m_root.bytes : m_spill.bytes;
        const Section& s = m_image.Sections()[static_cast<size_t>(blob.home)];
        return bytes.data() + (blob.rva - s.virtualAddress);
    }

    Placement Finish(const Layout& layout) const
    {
        Placement placement;
        const Area& directoryArea = layout.areas[size_t(layout.directoryArea)];
        placement.directoryRva = directoryArea.VirtualAddress();
        const Bytes directory =
            m_tree.SerializeDirectory(placement.directoryRva, [&](const ResourceData& data)
                                      { return layout.rva[m_blobOf.at(&data)]; });
        for (size_t a = 0; a < layout.areas.size(); ++a)
        {
            const Area& area = layout.areas[a];
            const bool holdsDirectory = int(a) == layout.directoryArea;
            if (area.Empty() || (a == 0 && layout.directoryArea != 0))
                continue;
            placement.changes.push_back(Change(layout, a, holdsDirectory ? &directory : nullptr));
            if (holdsDirectory)
                placement.directorySize = static_cast<uint32_t>(area.End());
        }
        if (layout.directoryArea != 0 && m_root.index >= 0 &&
            HasName(m_image, RootSectionHeader(), kTreeName))
            placement.renamedOld = m_root.index;
        placement.movesLaterSections = layout.grownInFile;
        if (layout.areas.size() > 1 && layout.areas[1].SectionIndex() < 0 &&
            !layout.areas[1].Empty())
        {
            const uint32_t address = layout.areas[1].VirtualAddress();
            for (size_t i = 0; i < m_image.Sections().size(); ++i)
            {
                const Section& s = m_image.Sections()[i];
                if (s.virtualAddress < address &&
                    uint64_t(s.virtualAddress) + s.sizeOfRawData > address)
                    placement.trims.push_back({int(i), address - s.virtualAddress});
            }
        }
        return placement;
    }

    SectionChange Change(const Layout& layout, size_t a, const Bytes* directory) const
    {
        const Area& area = layout.areas[a];
        SectionChange change{};
        change.index = area.SectionIndex();
        change.virtualAddress = area.VirtualAddress();
        const uint64_t used = area.End();
        uint64_t raw = AlignUp(used, m_fileAlignment);
        if (change.index >= 0)
        {
            const Section& s = m_image.Sections()[static_cast<size_t>(change.index)];
            std::memcpy(change.name, m_image.Headers().data() + s.headerOffset, 8);
            change.pointerToRawData = s.pointerToRawData;
            change.oldRawSize = s.sizeOfRawData;
            const bool fixedSize = a == 0 && !RootIsLastInFile() && !layout.grownInFile;
            if (fixedSize)
            {
                raw = s.sizeOfRawData;
                change.virtualSize =
                    s.virtualSize == 0 ? 0 : std::max<uint32_t>(s.virtualSize, uint32_t(used));
            }
            else if (a == 0)
            {
                // A last section never shrinks in the file (the data after
                // it stays put); one that grows within its address space
                // keeps at least its memory size.
                if (RootIsLastInFile())
                    raw = std::max<uint64_t>(raw, s.sizeOfRawData);
                change.virtualSize = layout.grownInFile
                                         ? std::max<uint32_t>(s.virtualSize, uint32_t(used))
                                         : static_cast<uint32_t>(used);
            }
            else
            {
                change.virtualSize = static_cast<uint32_t>(used);
            }
        }
        else
        {
            change.pointerToRawData = AlignUp(m_image.OverlayStart(), m_fileAlignment);
            change.virtualSize = static_cast<uint32_t>(used);
        }
        // The section at the end holds either the tree or spilled data.
        if (a == 1)
            std::memcpy(change.name, directory ? kTreeName : kSpillSectionName, 8);

        change.content.assign(static_cast<size_t>(raw), 0);
        // A section that holds more than the tree keeps every other byte.
        if (a == 0 && m_shared)
            std::memcpy(change.content.data(), m_root.bytes.data(),
                        std::min<size_t>(m_root.bytes.size(), change.content.size()));
        if (directory)
            std::memcpy(change.content.data(), directory->data(), directory->size());
        for (size_t i = 0; i < m_blobs.size(); ++i)
            if (layout.area[i] == int(a) && m_blobs[i].size != 0)
                std::memcpy(change.content.data() + (layout.rva[i] - area.VirtualAddress()),
                            Origin(m_blobs[i]), m_blobs[i].size);
        return change;
    }

    const PeImage& m_image;
    const RootSection& m_root;
    const SpillSection& m_spill;
    const ResourceTree& m_tree;
    const uint32_t m_directorySize;
    const uint32_t m_fileAlignment;
    std::vector<Blob> m_blobs;
    std::map<const ResourceData*, size_t> m_blobOf;
    bool m_spillLive = false;
    bool m_owned = false;
    const bool m_shared;
    // Ranges of the root's section, from its start, that the tree must leave
    // alone: all but the old tree's in a shared section.
    std::vector<std::pair<uint64_t, uint64_t>> m_pinned;
};
} // namespace

SpillSection ReadSpillSection(const PeImage& image, const RootSection& root, Source& source)
{
    SpillSection spill;
    const std::vector<Section>& sections = image.Sections();
    const size_t last = sections.size() - 1;
    const Section& s = sections[last];
    if (int(last) == root.index || !HasName(image, s, kSpillSectionName) ||
        !IsLastInFile(image, last) || !OwnsItsRawData(image, last))
        return spill;
    // Only resource data may lie in it.
    for (unsigned d = 0; d < optional::kMaxDirectories; ++d)
    {
        const uint32_t rva = image.DirectoryRva(d), size = image.DirectorySize(d);
        if (d == kDirResource || d == kDirSecurity || (rva == 0 && size == 0))
            continue;
        if (uint64_t(rva) + size > s.virtualAddress &&
            rva < uint64_t(s.virtualAddress) + s.VirtualExtent())
            return spill;
    }
    spill.index = static_cast<int>(last);
    spill.bytes = ReadRange(source, s.pointerToRawData, s.MappedRawSize(),
                            "section raw data past the end of the file");
    return spill;
}

Placement PlaceTree(const PeImage& image, const RootSection& root, const SpillSection& spill,
                    const ResourceTree& tree, bool shared)
{
    return Placer(image, root, spill, tree, shared).Place();
}
} // namespace pe
