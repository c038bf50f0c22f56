// The resource tree of an image (type, name, language) as a value that can be
// changed and written out again. Portable, like PeImage.
#pragma once

#include "PeImage.h"

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

// One entry's data: either bytes still in the original image (by RVA) or
// bytes given by an update.
struct ResourceData
{
    uint32_t codePage = 0;
    uint32_t reserved = 0;
    bool inImage = false;
    uint32_t rva = 0;
    uint32_t size = 0;
    Bytes bytes;
};

template <typename Child> struct Directory
{
    DirectoryInfo info;
    std::map<ResName, Child> entries;
};
using LanguageDirectory = Directory<ResourceData>;
using NameDirectory = Directory<LanguageDirectory>;
using TypeDirectory = Directory<NameDirectory>;

class ResourceTree
{
public:
    ResourceTree() = default;
    // Reads the tree of image, or an empty tree when it has none.
    explicit ResourceTree(const PeImage& image);

    const TypeDirectory& Root() const { return m_root; }
    bool Empty() const { return m_root.entries.empty(); }

    // Adds or replaces exactly that entry; code page 0 for a new one.
    void Set(const ResName& type, const ResName& name, const ResName& language, Bytes data);
    // Deletes exactly that entry; a name or type left empty goes too.
    // Whether it existed.
    bool Remove(const ResName& type, const ResName& name, const ResName& language);

    // The tree laid out as a resource section placed at baseRva; the data of
    // entries still in the image is copied from it.
    Bytes Serialize(const PeImage& image, uint32_t baseRva) const;
    // Bytes that Serialize produces, without producing them.
    uint32_t SerializedSize() const;

private:
    TypeDirectory m_root;
};
} // namespace pe
