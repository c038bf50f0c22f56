#include "ResourceTree.h"

#include <cstring>
#include <set>
#include <utility>

namespace pe
{
namespace
{
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint64_t kMaxSectionSize = 0x7FFFFFFF;

// Walks the three levels of a resource directory. Every offset is checked
// against the bytes available from the directory's start to the end of its
// section, and every directory may be visited once, which rules out cycles
// and trees that fan out by sharing subdirectories.
class TreeReader
{
public:
    TreeReader(const PeImage& image, uint32_t rootRva) : m_image(image), m_file(image.File())
    {
        const int index = image.SectionOf(rootRva);
        if (index < 0)
            throw BadImage{};
        const Section& s = image.Sections()[index];
        const uint32_t into = rootRva - s.virtualAddress;
        if (into >= s.MappedRawSize())
            throw BadImage{};
        m_base = size_t(s.pointerToRawData) + into;
        m_limit = s.MappedRawSize() - into;
    }

    void Read(TypeDirectory& root) { ReadDirectory(0, root); }

private:
    void Check(uint64_t offset, uint64_t size) const
    {
        if (offset > m_limit || size > m_limit - offset)
            throw BadImage{};
    }

    DirectoryInfo ReadHeader(uint32_t offset, unsigned& count)
    {
        if (!m_visited.insert(offset).second)
            throw BadImage{};
        Check(offset, kDirectoryHeaderSize);
        const size_t at = m_base + offset;
        DirectoryInfo info{Read32(m_file, at), Read32(m_file, at + 4), Read16(m_file, at + 8),
                           Read16(m_file, at + 10)};
        count = unsigned(Read16(m_file, at + 12)) + Read16(m_file, at + 14);
        Check(offset + kDirectoryHeaderSize, uint64_t(count) * kEntrySize);
        return info;
    }

    ResName ReadName(uint32_t field) const
    {
        if (!(field & kHighBit))
        {
            if (field > 0xFFFF)
                throw BadImage{};
            return ResName::Id(static_cast<uint16_t>(field));
        }
        const uint32_t offset = field & ~kHighBit;
        Check(offset, 2);
        const uint16_t length = Read16(m_file, m_base + offset);
        Check(offset + 2, uint64_t(length) * 2);
        std::u16string text(length, u'\0');
        for (uint16_t i = 0; i < length; ++i)
            text[i] = static_cast<char16_t>(Read16(m_file, m_base + offset + 2 + 2 * i));
        return ResName::Named(std::move(text));
    }

    template <typename Child> void ReadDirectory(uint32_t offset, Directory<Child>& directory)
    {
        unsigned count = 0;
        directory.info = ReadHeader(offset, count);
        for (unsigned i = 0; i < count; ++i)
        {
            const size_t at = m_base + offset + kDirectoryHeaderSize + i * kEntrySize;
            ResName name = ReadName(Read32(m_file, at));
            const uint32_t target = Read32(m_file, at + 4);
            auto inserted = directory.entries.emplace(std::move(name), Child{});
            if (!inserted.second)
                throw BadImage{};
            ReadChild(target, inserted.first->second);
        }
    }

    template <typename Grandchild> void ReadChild(uint32_t target, Directory<Grandchild>& child)
    {
        if (!(target & kHighBit))
            throw BadImage{};
        ReadDirectory(target & ~kHighBit, child);
    }

    void ReadChild(uint32_t target, ResourceData& data)
    {
        if (target & kHighBit)
            throw BadImage{};
        Check(target, kDataEntrySize);
        const size_t at = m_base + target;
        data.inImage = true;
        data.rva = Read32(m_file, at);
        data.size = Read32(m_file, at + 4);
        data.codePage = Read32(m_file, at + 8);
        data.reserved = Read32(m_file, at + 12);
        m_image.OffsetOf(data.rva, data.size); // the data must lie in the image
    }

    const PeImage& m_image;
    const Bytes& m_file;
    size_t m_base = 0;
    uint32_t m_limit = 0;
    std::set<uint32_t> m_visited;
};

// Where everything of a serialized tree goes, as offsets from its start.
// Directories come first (root, types' name tables, names' language tables),
// then the data entries, the strings and, aligned, the data itself. Data of
// the original image that several entries share is written once.
class TreeLayout
{
public:
    explicit TreeLayout(const TypeDirectory& root)
    {
        uint64_t directories = DirectorySize(root);
        uint64_t leaves = 0;
        for (const auto& type : root.entries)
        {
            Name(type.first);
            directories += DirectorySize(type.second);
            for (const auto& name : type.second.entries)
            {
                Name(name.first);
                directories += DirectorySize(name.second);
                for (const auto& language : name.second.entries)
                {
                    Name(language.first);
                    ++leaves;
                }
            }
        }
        dataEntries = directories;
        strings = dataEntries + leaves * kDataEntrySize;
        uint64_t end = strings;
        for (auto& s : stringOffsets)
        {
            s.second = end;
            end += 2 + 2 * uint64_t(s.first.size());
        }
        end = Align8(end);
        for (const auto& type : root.entries)
            for (const auto& name : type.second.entries)
                for (const auto& language : name.second.entries)
                {
                    const ResourceData& data = language.second;
                    if (data.inImage)
                    {
                        auto placed = sharedData.emplace(std::make_pair(data.rva, data.size), end);
                        if (!placed.second)
                            continue;
                    }
                    end = Align8(end + DataSize(data));
                }
        size = end;
        if (size > kMaxSectionSize)
            throw BadImage{};
    }

    static uint32_t DataSize(const ResourceData& data)
    {
        return data.inImage ? data.size : static_cast<uint32_t>(data.bytes.size());
    }

    uint64_t dataEntries = 0;
    uint64_t strings = 0;
    uint64_t size = 0;
    std::map<std::u16string, uint64_t> stringOffsets;
    std::map<std::pair<uint32_t, uint32_t>, uint64_t> sharedData;

private:
    static uint64_t Align8(uint64_t value) { return (value + 7) & ~uint64_t(7); }
    template <typename Child> static uint64_t DirectorySize(const Directory<Child>& directory)
    {
        return kDirectoryHeaderSize + kEntrySize * uint64_t(directory.entries.size());
    }
    void Name(const ResName& name)
    {
        if (name.named)
            stringOffsets.emplace(name.text, 0);
    }
};

class TreeWriter
{
public:
    TreeWriter(const PeImage& image, const TreeLayout& layout, uint32_t baseRva, Bytes& out)
        : m_image(image), m_layout(layout), m_baseRva(baseRva), m_out(out)
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
        m_nextDirectory = 0;
        m_nextDataEntry = m_layout.dataEntries;
        m_nextData = (m_layout.strings + StringBytes() + 7) & ~uint64_t(7);
        // Breadth first: every table of one level before the next level's.
        std::vector<const NameDirectory*> names;
        std::vector<const LanguageDirectory*> languages;
        uint64_t rootAt = Reserve(root);
        uint64_t next = m_nextDirectory;
        WriteTable(root, rootAt, [&](const NameDirectory& d) { return Child(d, names, next); });
        for (const NameDirectory* d : names)
            WriteTable(*d, Reserve(*d),
                       [&](const LanguageDirectory& l) { return Child(l, languages, next); });
        for (const LanguageDirectory* d : languages)
            WriteTable(*d, Reserve(*d), [&](const ResourceData& data) { return Leaf(data); });
    }

private:
    uint64_t StringBytes() const
    {
        uint64_t total = 0;
        for (const auto& s : m_layout.stringOffsets)
            total += 2 + 2 * s.first.size();
        return total;
    }

    template <typename Child> uint64_t Reserve(const Directory<Child>& directory)
    {
        const uint64_t at = m_nextDirectory;
        m_nextDirectory += kDirectoryHeaderSize + kEntrySize * directory.entries.size();
        return at;
    }

    // Subdirectories are placed in the order their parents are written, so
    // the offset of each is known when its parent's entry is written.
    template <typename Dir>
    uint32_t Child(const Dir& directory, std::vector<const Dir*>& queue, uint64_t& next)
    {
        queue.push_back(&directory);
        const uint64_t at = next;
        next += kDirectoryHeaderSize + kEntrySize * directory.entries.size();
        return static_cast<uint32_t>(at) | kHighBit;
    }

    uint32_t Leaf(const ResourceData& data)
    {
        const uint64_t entry = m_nextDataEntry;
        m_nextDataEntry += kDataEntrySize;
        const uint32_t size = TreeLayout::DataSize(data);
        uint64_t at = 0;
        bool copy = true;
        if (data.inImage)
        {
            auto shared = m_written.find({data.rva, data.size});
            if (shared != m_written.end())
            {
                at = shared->second;
                copy = false;
            }
        }
        if (copy)
        {
            at = m_nextData;
            m_nextData = (m_nextData + size + 7) & ~uint64_t(7);
            const uint8_t* source =
                data.inImage ? m_image.File().data() + m_image.OffsetOf(data.rva, data.size)
                             : data.bytes.data();
            if (size != 0)
                std::memcpy(m_out.data() + at, source, size);
            if (data.inImage)
                m_written[{data.rva, data.size}] = at;
        }
        Write32(m_out, entry, m_baseRva + static_cast<uint32_t>(at));
        Write32(m_out, entry + 4, size);
        Write32(m_out, entry + 8, data.codePage);
        Write32(m_out, entry + 12, data.reserved);
        return static_cast<uint32_t>(entry);
    }

    template <typename Child, typename Place>
    void WriteTable(const Directory<Child>& directory, uint64_t at, Place place)
    {
        Write32(m_out, at, directory.info.characteristics);
        Write32(m_out, at + 4, directory.info.timeDateStamp);
        Write16(m_out, at + 8, directory.info.majorVersion);
        Write16(m_out, at + 10, directory.info.minorVersion);
        uint16_t named = 0;
        for (const auto& entry : directory.entries)
            named += entry.first.named ? 1 : 0;
        Write16(m_out, at + 12, named);
        Write16(m_out, at + 14, static_cast<uint16_t>(directory.entries.size() - named));
        uint64_t entryAt = at + kDirectoryHeaderSize;
        for (const auto& entry : directory.entries)
        {
            const ResName& name = entry.first;
            const uint32_t nameField =
                name.named ? static_cast<uint32_t>(m_layout.stringOffsets.at(name.text)) | kHighBit
                           : name.id;
            Write32(m_out, entryAt, nameField);
            Write32(m_out, entryAt + 4, place(entry.second));
            entryAt += kEntrySize;
        }
    }

    const PeImage& m_image;
    const TreeLayout& m_layout;
    uint32_t m_baseRva;
    Bytes& m_out;
    uint64_t m_nextDirectory = 0;
    uint64_t m_nextDataEntry = 0;
    uint64_t m_nextData = 0;
    std::map<std::pair<uint32_t, uint32_t>, uint64_t> m_written;
};
} // namespace

ResourceTree::ResourceTree(const PeImage& image)
{
    const uint32_t rva = image.DirectoryRva(kDirResource);
    if (rva == 0 && image.DirectorySize(kDirResource) == 0)
        return;
    TreeReader(image, rva).Read(m_root);
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

uint32_t ResourceTree::SerializedSize() const
{
    return static_cast<uint32_t>(TreeLayout(m_root).size);
}

Bytes ResourceTree::Serialize(const PeImage& image, uint32_t baseRva) const
{
    const TreeLayout layout(m_root);
    if (uint64_t(baseRva) + layout.size > UINT32_MAX)
        throw BadImage{};
    Bytes out(static_cast<size_t>(layout.size), 0);
    TreeWriter(image, layout, baseRva, out).Write(m_root);
    return out;
}
} // namespace pe
