#include "PeCheck.h"

#include <algorithm>
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
        const std::string name = "section " + std::to_string(i);
        if (root != 0 && s.virtualAddress == root)
            continue;
        if (i >= b.Sections().size())
            return name + " was removed";
        const pe::Section& t = b.Sections()[i];
        if (s.virtualAddress != t.virtualAddress)
            return name + " moved in memory";
        // Raw data may move later in the file, and a raw size past the
        // memory size may be cut back; what is mapped stays.
        const bool cut = t.sizeOfRawData < s.sizeOfRawData && s.virtualSize != 0 &&
                         t.sizeOfRawData >= pe::AlignUp(s.virtualSize, a.FileAlignment());
        if (s.virtualSize != t.virtualSize || s.characteristics != t.characteristics ||
            (s.sizeOfRawData != t.sizeOfRawData && !cut))
            return name + " header changed";
        const uint32_t mapped = std::min(s.MappedRawSize(), t.sizeOfRawData);
        if (!std::equal(before.begin() + s.pointerToRawData,
                        before.begin() + s.pointerToRawData + mapped,
                        after.begin() + t.pointerToRawData))
            return name + " bytes changed";
    }
    return {};
}

std::string LoaderRuleViolations(const pe::Bytes& file)
{
    const pe::PeImage image(file);
    const uint32_t fa = image.FileAlignment(), sa = image.SectionAlignment();
    const uint64_t tableEnd = image.SectionTableOffset() + image.Sections().size() * 40;
    if (tableEnd > image.SizeOfHeaders() || image.SizeOfHeaders() % fa != 0)
        return "SizeOfHeaders does not hold the section table or is not aligned";
    uint64_t expected = pe::AlignUp(image.SizeOfHeaders(), sa);
    std::vector<std::pair<uint64_t, uint64_t>> raw;
    for (size_t i = 0; i < image.Sections().size(); ++i)
    {
        const pe::Section& s = image.Sections()[i];
        const std::string name = "section " + std::to_string(i);
        if (s.virtualAddress != expected)
            return name + " does not follow the previous one in memory";
        expected = pe::AlignUp(uint64_t(s.virtualAddress) + s.VirtualExtent(), sa);
        if (s.sizeOfRawData == 0)
            continue;
        if (s.pointerToRawData % fa != 0 || s.sizeOfRawData % fa != 0)
            return name + "'s raw data is not aligned";
        if (s.pointerToRawData < image.SizeOfHeaders() ||
            uint64_t(s.pointerToRawData) + s.sizeOfRawData > file.size())
            return name + "'s raw data lies in the headers or past the file";
        raw.emplace_back(s.pointerToRawData, uint64_t(s.pointerToRawData) + s.sizeOfRawData);
    }
    if (pe::Read32(file, image.SizeOfImageOffset()) != expected)
        return "SizeOfImage is not the end of the last section";
    std::sort(raw.begin(), raw.end());
    for (size_t i = 1; i < raw.size(); ++i)
        if (raw[i].first < raw[i - 1].second)
            return "raw data of two sections overlap";
    return {};
}

std::string CompareDirectories(const pe::Bytes& before, const pe::Bytes& after)
{
    const pe::PeImage a(before), b(after);
    for (unsigned d = 0; d < 16; ++d)
    {
        if (d == pe::kDirResource || d == pe::kDirSecurity)
            continue;
        const uint32_t rva = a.DirectoryRva(d), size = a.DirectorySize(d);
        if (b.DirectoryRva(d) != rva || b.DirectorySize(d) != size)
            return "data directory " + std::to_string(d) + " moved";
        if (rva == 0 || size == 0 || a.SectionOf(rva) < 0)
            continue;
        const pe::Section& s = a.Sections()[size_t(a.SectionOf(rva))];
        const uint64_t readable =
            std::min<uint64_t>(size, s.virtualAddress + s.MappedRawSize() - rva);
        const uint64_t from = a.OffsetOf(rva, uint32_t(readable)),
                       to = b.OffsetOf(rva, uint32_t(readable));
        if (!std::equal(before.begin() + from, before.begin() + from + readable,
                        after.begin() + to))
            return "data directory " + std::to_string(d) + " reads other bytes";
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
