// The resource tree of an image (type, name, language) as a value that can be
// changed and written out again. Portable, like PeImage.
#pragma once

#include "PeImage.h"

#include <functional>
#include <map>
#include <string>

namespace pe
{
// A resource type, name or language: an integer id or a string.
struct ResName
{
    bool named = false;
    uint16_t id = 0;
    std::u16string text;

    static ResName Id(uint16_t value) { return {false, value, {}}; }
    static ResName Named(std::u16string value) { return {true, 0, std::move(value)}; }

    // The format's order: strings first, by code unit, then ids ascending.
    bool operator<(const ResName& other) const
    {
        if (named != other.named)
            return named;
        return named ? text < other.text : id < other.id;
    }
    bool operator==(const ResName& other) const
    {
        return named == other.named && id == other.id && text == other.text;
    }
};

// The fields of a directory table that carry no structure; kept as read.
struct DirectoryInfo
{
    uint32_t characteristics = 0;
    uint32_t timeDateStamp = 0;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
};

// One entry's data: either bytes still in the image (by RVA, which may point
// into any section) or bytes given by an update.
struct ResourceData
{
    uint32_t codePage = 0;
    uint32_t reserved = 0;
    bool inImage = false;
    uint32_t rva = 0;
    uint32_t size = 0;
    Bytes bytes;

    uint32_t Size() const { return inImage ? size : static_cast<uint32_t>(bytes.size()); }
};

template <typename Child> struct Directory
{
    DirectoryInfo info;
    std::map<ResName, Child> entries;
};
using LanguageDirectory = Directory<ResourceData>;
using NameDirectory = Directory<LanguageDirectory>;
using TypeDirectory = Directory<NameDirectory>;

// The raw bytes of the section that holds the tree's root directory.
struct RootSection
{
    int index = -1;    // in the section table; -1 for an image without a tree
    uint32_t root = 0; // offset of the root directory within bytes
    Bytes bytes;       // the section's mapped raw data
};

class ResourceTree
{
public:
    ResourceTree() = default;
    // Reads the tree of image from the section that holds its root; an
    // empty tree when the image has none. BadImage with the failing check.
    ResourceTree(const PeImage& image, const RootSection& section);

    const TypeDirectory& Root() const { return m_root; }
    // Where the tree lay when it was read, as RVA ranges: its tables, data
    // entries and names, and the data they pointed to.
    const std::vector<std::pair<uint32_t, uint32_t>>& ReadRanges() const { return m_read; }
    bool Empty() const { return m_root.entries.empty(); }

    // Adds or replaces exactly that entry; code page 0 for a new one.
    void Set(const ResName& type, const ResName& name, const ResName& language, Bytes data);
    // Deletes exactly that entry; a name or type left empty goes too.
    // Whether it existed.
    bool Remove(const ResName& type, const ResName& name, const ResName& language);

    // Calls visit for every entry's data, in the format's order.
    void ForEachData(const std::function<void(const ResourceData&)>& visit) const;

    // Bytes of the directory part of a serialized tree: the tables, the data
    // entries and the name strings, rounded up to 8.
    uint32_t DirectorySize() const;
    // The directory part placed at baseRva, each data entry holding the RVA
    // that rvaOf gives its data.
    Bytes SerializeDirectory(uint32_t baseRva,
                             const std::function<uint32_t(const ResourceData&)>& rvaOf) const;

private:
    TypeDirectory m_root;
    std::vector<std::pair<uint32_t, uint32_t>> m_read;
};

// The section holding the image's tree, read from source; index -1 and no
// bytes when the image has no tree.
RootSection ReadRootSection(const PeImage& image, Source& source);
} // namespace pe
