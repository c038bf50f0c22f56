#include "ResourceTree.h"

#include <set>
#include <utility>

namespace pe
{
namespace
{
using namespace format::resource;

constexpr uint64_t kMaxDirectorySize = 0x7FFFFFFF;

uint64_t Align8(uint64_t value)
{
    return (value + 7) & ~uint64_t(7);
}

// Walks the three levels of a resource directory. Every offset is checked
// against the bytes available from the root to the end of its section, and
// every directory may be visited once, which rules out cycles and trees
// that fan out by sharing subdirectories.
class TreeReader
{
public:
    TreeReader(const PeImage& image, const RootSection& section,
               std::vector<std::pair<uint32_t, uint32_t>>& ranges)
        : m_image(image), m_bytes(section.bytes), m_base(section.root),
          m_limit(section.bytes.size() - section.root),
          m_rootRva(image.Sections()[static_cast<size_t>(section.index)].virtualAddress +
                    section.root),
          m_ranges(ranges)
    {
    }

    void Read(TypeDirectory& root) { ReadDirectory(0, root); }

private:
    // Checks that the piece lies in the section and records where it is.
    void Check(uint64_t offset, uint64_t size, const char* reason)
    {
        CheckRange(offset, size, m_limit, reason);
        m_ranges.emplace_back(uint32_t(m_rootRva + offset), uint32_t(m_rootRva + offset + size));
    }

    DirectoryInfo ReadHeader(uint32_t offset, unsigned& count)
    {
        if (!m_visited.insert(offset).second)
            throw BadImage{"resource directory visited twice"};
        Check(offset, kTableSize, "resource directory past its section");
        const size_t at = m_base + offset;
        DirectoryInfo info{
            Read32(m_bytes, at + kCharacteristics), Read32(m_bytes, at + kTimeDateStamp),
            Read16(m_bytes, at + kMajorVersion), Read16(m_bytes, at + kMinorVersion)};
        count = unsigned(Read16(m_bytes, at + kNumberOfNamedEntries)) +
                Read16(m_bytes, at + kNumberOfIdEntries);
        Check(offset + kTableSize, uint64_t(count) * kEntrySize,
              "resource directory entries past their section");
        return info;
    }

    ResName ReadName(uint32_t field)
    {
        if (!(field & kHighBit))
        {
            if (field > 0xFFFF)
                throw BadImage{"resource id above 16 bits"};
            return ResName::Id(static_cast<uint16_t>(field));
        }
        const uint32_t offset = field & ~kHighBit;
        Check(offset, 2, "resource name past its section");
        const uint16_t length = Read16(m_bytes, m_base + offset);
        Check(offset + 2, uint64_t(length) * 2, "resource name past its section");
        std::u16string text(length, u'\0');
        for (uint16_t i = 0; i < length; ++i)
            text[i] = static_cast<char16_t>(Read16(m_bytes, m_base + offset + 2 + 2 * i));
        return ResName::Named(std::move(text));
    }

    template <typename Child> void ReadDirectory(uint32_t offset, Directory<Child>& directory)
    {
        unsigned count = 0;
        directory.info = ReadHeader(offset, count);
        for (unsigned i = 0; i < count; ++i)
        {
            const size_t at = m_base + offset + kTableSize + i * kEntrySize;
            ResName name = ReadName(Read32(m_bytes, at + kEntryName));
            const uint32_t target = Read32(m_bytes, at + kEntryTarget);
            auto inserted = directory.entries.emplace(std::move(name), Child{});
            if (!inserted.second)
                throw BadImage{"resource entry listed twice"};
            ReadChild(target, inserted.first->second);
        }
    }

    template <typename Grandchild> void ReadChild(uint32_t target, Directory<Grandchild>& child)
    {
        if (!(target & kHighBit))
            throw BadImage{"data entry where a directory belongs"};
        ReadDirectory(target & ~kHighBit, child);
    }

    void ReadChild(uint32_t target, ResourceData& data)
    {
        if (target & kHighBit)
            throw BadImage{"directory where a data entry belongs"};
        Check(target, kDataEntrySize, "resource data entry past its section");
        const size_t at = m_base + target;
        data.inImage = true;
        data.rva = Read32(m_bytes, at + kDataRva);
        data.size = Read32(m_bytes, at + kDataSize);
        data.codePage = Read32(m_bytes, at + kDataCodePage);
        data.reserved = Read32(m_bytes, at + kDataReserved);
        m_image.OffsetOf(data.rva, data.size); // the data must lie in the image
        m_ranges.emplace_back(data.rva, data.rva + data.size);
    }

    const PeImage& m_image;
    const Bytes& m_bytes;
    size_t m_base;
    size_t m_limit;
    uint64_t m_rootRva;
    std::vector<std::pair<uint32_t, uint32_t>>& m_ranges;
    std::set<uint32_t> m_visited;
};

// Where the directory part of a serialized tree puts its pieces, as offsets
// from its start: the tables (root, the types' name tables, the names'
// language tables), then the data entries, then the name strings.
class DirectoryLayout
{
public:
    explicit DirectoryLayout(const TypeDirectory& root)
    {
        uint64_t tables = TableSize(root);
        uint64_t leaves = 0;
        for (const auto& type : root.entries)
        {
            Name(type.first);
            tables += TableSize(type.second);
            for (const auto& name : type.second.entries)
            {
                Name(name.first);
                tables += TableSize(name.second);
                for (const auto& language : name.second.entries)
                {
                    Name(language.first);
                    ++leaves;
                }
            }
        }
        dataEntries = tables;
        uint64_t end = dataEntries + leaves * kDataEntrySize;
        for (auto& s : stringOffsets)
        {
            s.second = end;
            end += 2 + 2 * uint64_t(s.first.size());
        }
        size = Align8(end);
        if (size > kMaxDirectorySize)
            throw BadImage{"resource directory too large"};
    }

    template <typename Child> static uint64_t TableSize(const Directory<Child>& directory)
    {
        return kTableSize + kEntrySize * uint64_t(directory.entries.size());
    }

    uint64_t dataEntries = 0;
    uint64_t size = 0;
    std::map<std::u16string, uint64_t> stringOffsets;

private:
    void Name(const ResName& name)
    {
        if (name.named)
            stringOffsets.emplace(name.text, 0);
    }
};

class DirectoryWriter
{
public:
    DirectoryWriter(const DirectoryLayout& layout,
                    const std::function<uint32_t(const ResourceData&)>& rvaOf, Bytes& out)
        : m_layout(layout), m_rvaOf(rvaOf), m_out(out)
    {
    }

    void Write(const TypeDirectory& root)
    {
        for (const auto& s : m_layout.stringOffsets)
        {
            Write16(m_out, s.second, static_cast<uint16_t>(s.first.size()));
            for (size_t i = 0; i < s.first.size(); ++i)
                Write16(m_out, s.second + 2 + 2 * i, s.first[i]);
        }
        m_nextDataEntry = m_layout.dataEntries;
        // Breadth first: every table of one level before the next level's;
        // subdirectories are placed in the order their parents are written,
        // so the offset of each is known when its parent's entry is written.
        std::vector<const NameDirectory*> names;
        std::vector<const LanguageDirectory*> languages;
        uint64_t next = DirectoryLayout::TableSize(root);
        uint64_t at = 0;
        WriteTable(root, at, [&](const NameDirectory& d) { return Child(d, names, next); });
        at = DirectoryLayout::TableSize(root);
        for (const NameDirectory* d : names)
        {
            WriteTable(*d, at,
                       [&](const LanguageDirectory& l) { return Child(l, languages, next); });
            at += DirectoryLayout::TableSize(*d);
        }
        for (const LanguageDirectory* d : languages)
        {
            WriteTable(*d, at, [&](const ResourceData& data) { return Leaf(data); });
            at += DirectoryLayout::TableSize(*d);
        }
    }

private:
    template <typename Dir>
    uint32_t Child(const Dir& directory, std::vector<const Dir*>& queue, uint64_t& next)
    {
        queue.push_back(&directory);
        const uint64_t at = next;
        next += DirectoryLayout::TableSize(directory);
        return static_cast<uint32_t>(at) | kHighBit;
    }

    uint32_t Leaf(const ResourceData& data)
    {
        const uint64_t entry = m_nextDataEntry;
        m_nextDataEntry += kDataEntrySize;
        Write32(m_out, entry + kDataRva, m_rvaOf(data));
        Write32(m_out, entry + kDataSize, data.Size());
        Write32(m_out, entry + kDataCodePage, data.codePage);
        Write32(m_out, entry + kDataReserved, data.reserved);
        return static_cast<uint32_t>(entry);
    }

    template <typename Child, typename Place>
    void WriteTable(const Directory<Child>& directory, uint64_t at, Place place)
    {
        Write32(m_out, at + kCharacteristics, directory.info.characteristics);
        Write32(m_out, at + kTimeDateStamp, directory.info.timeDateStamp);
        Write16(m_out, at + kMajorVersion, directory.info.majorVersion);
        Write16(m_out, at + kMinorVersion, directory.info.minorVersion);
        uint16_t named = 0;
        for (const auto& entry : directory.entries)
            named += entry.first.named ? 1 : 0;
        Write16(m_out, at + kNumberOfNamedEntries, named);
        Write16(m_out, at + kNumberOfIdEntries,
                static_cast<uint16_t>(directory.entries.size() - named));
        uint64_t entryAt = at + kTableSize;
        for (const auto& entry : directory.entries)
        {
            const ResName& name = entry.first;
            const uint32_t nameField =
                name.named ? static_cast<uint32_t>(m_layout.stringOffsets.at(name.text)) | kHighBit
                           : name.id;
            Write32(m_out, entryAt + kEntryName, nameField);
            Write32(m_out, entryAt + kEntryTarget, place(entry.second));
            entryAt += kEntrySize;
        }
    }

    const DirectoryLayout& m_layout;
    const std::function<uint32_t(const ResourceData&)>& m_rvaOf;
    Bytes& m_out;
    uint64_t m_nextDataEntry = 0;
};
} // namespace

RootSection ReadRootSection(const PeImage& image, Source& source)
{
    RootSection section;
    const uint32_t rva = image.DirectoryRva(kDirResource);
    if (rva == 0 && image.DirectorySize(kDirResource) == 0)
        return section;
    section.index = image.SectionOf(rva);
    if (section.index < 0)
        throw BadImage{"resource directory outside every section"};
    const Section& s = image.Sections()[static_cast<size_t>(section.index)];
    section.root = rva - s.virtualAddress;
    if (section.root >= s.MappedRawSize())
        throw BadImage{"resource directory past its section's raw bytes"};
    section.bytes = ReadRange(source, s.pointerToRawData, s.MappedRawSize(),
                              "section raw data past the end of the file");
    return section;
}

ResourceTree::ResourceTree(const PeImage& image, const RootSection& section)
{
    if (section.index >= 0)
        TreeReader(image, section, m_read).Read(m_root);
}

void ResourceTree::Set(const ResName& type, const ResName& name, const ResName& language,
                       Bytes data)
{
    ResourceData& entry = m_root.entries[type].entries[name].entries[language];
    entry.inImage = false;
    entry.rva = 0;
    entry.size = 0;
    entry.bytes = std::move(data);
}

bool ResourceTree::Remove(const ResName& type, const ResName& name, const ResName& language)
{
    auto t = m_root.entries.find(type);
    if (t == m_root.entries.end())
        return false;
    auto n = t->second.entries.find(name);
    if (n == t->second.entries.end())
        return false;
    if (n->second.entries.erase(language) == 0)
        return false;
    if (n->second.entries.empty())
        t->second.entries.erase(n);
    if (t->second.entries.empty())
        m_root.entries.erase(t);
    return true;
}

void ResourceTree::ForEachData(const std::function<void(const ResourceData&)>& visit) const
{
    for (const auto& type : m_root.entries)
        for (const auto& name : type.second.entries)
            for (const auto& language : name.second.entries)
                visit(language.second);
}

uint32_t ResourceTree::DirectorySize() const
{
    return static_cast<uint32_t>(DirectoryLayout(m_root).size);
}

Bytes ResourceTree::SerializeDirectory(
    uint32_t baseRva, const std::function<uint32_t(const ResourceData&)>& rvaOf) const
{
    const DirectoryLayout layout(m_root);
    if (uint64_t(baseRva) + layout.size > UINT32_MAX)
        throw BadImage{"resource directory past 4 GiB"};
    Bytes out(static_cast<size_t>(layout.size), 0);
    DirectoryWriter(layout, rvaOf, out).Write(m_root);
    return out;
}
} // namespace pe
