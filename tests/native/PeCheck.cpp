#include "PeCheck.h"

#include <fstream>
#include <iterator>
#include <random>

namespace pecheck
{
pe::Bytes Random(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    pe::Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

pe::Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return pe::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const pe::Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Flat Flatten(const pe::Bytes& file)
{
    pe::MemorySource source(file);
    const pe::PeImage image(source);
    const pe::ResourceTree tree(image, pe::ReadRootSection(image, source));
    Flat flat;
    for (const auto& type : tree.Root().entries)
        for (const auto& name : type.second.entries)
            for (const auto& language : name.second.entries)
            {
                const pe::ResourceData& data = language.second;
                const size_t at = image.OffsetOf(data.rva, data.size);
                flat[Key(type.first, name.first, language.first)] = Entry{
                    pe::Bytes(file.begin() + at, file.begin() + at + data.size), data.codePage};
            }
    return flat;
}

std::string CompareOtherSections(const pe::Bytes& before, const pe::Bytes& after)
{
    const pe::PeImage a(before);
    const pe::PeImage b(after);
    if (a.Sections().size() > b.Sections().size())
        return "sections were removed";
    if (a.FileAlignment() != b.FileAlignment() || a.SectionAlignment() != b.SectionAlignment())
        return "alignment changed";
    // The DOS header and stub, the machine and the time stamp.
    const size_t count = a.NumberOfSectionsOffset();
    if (!std::equal(before.begin(), before.begin() + count, after.begin()) ||
        !std::equal(before.begin() + count + 2, before.begin() + a.PointerToSymbolTableOffset(),
                    after.begin() + count + 2))
        return "DOS header or file header changed";
    const uint32_t root = a.DirectoryRva(pe::kDirResource);
    for (size_t i = 0; i < a.Sections().size(); ++i)
    {
        const pe::Section& s = a.Sections()[i];
        const pe::Section& t = b.Sections()[i];
        if (s.virtualAddress != t.virtualAddress)
            return "section " + std::to_string(i) + " moved in memory";
        if (root != 0 && s.virtualAddress == root)
            continue;
        if (s.virtualSize != t.virtualSize || s.sizeOfRawData != t.sizeOfRawData ||
            s.pointerToRawData != t.pointerToRawData || s.characteristics != t.characteristics)
            return "section " + std::to_string(i) + " header changed";
        if (!std::equal(before.begin() + s.pointerToRawData,
                        before.begin() + s.pointerToRawData + s.sizeOfRawData,
                        after.begin() + t.pointerToRawData))
            return "section " + std::to_string(i) + " bytes changed";
    }
    return {};
}

std::string Describe(const Key& key)
{
    auto text = [](const pe::ResName& n)
    {
        if (!n.named)
            return std::to_string(n.id);
        std::string s = "\"";
        for (char16_t c : n.text)
            s += c < 0x80 ? char(c) : '?';
        return s + "\"";
    };
    return text(std::get<0>(key)) + "/" + text(std::get<1>(key)) + "/" + text(std::get<2>(key));
}
} // namespace pecheck
