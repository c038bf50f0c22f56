#include "ResourceEditor.h"

#include <algorithm>
#include <cstring>

namespace pe
{
namespace
{
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDebugEntrySize = 28;
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kMemoryRead = 0x40000000;

// Where the bytes after the last section go: the overlay moves as a whole,
// less the certificate table that is cut out of it.
class OverlayMove
{
public:
    OverlayMove(const PeImage& image, size_t newStart)
        : m_oldStart(image.OverlayStart()), m_newStart(newStart),
          m_certificate(image.DirectoryRva(kDirSecurity)),
          m_certificateSize(image.DirectorySize(kDirSecurity))
    {
    }

    bool Inside(uint64_t offset) const { return offset >= m_oldStart; }
    uint64_t Map(uint64_t offset) const
    {
        uint64_t into = offset - m_oldStart;
        if (m_certificateSize != 0 && offset >= uint64_t(m_certificate) + m_certificateSize)
            into -= m_certificateSize;
        return m_newStart + into;
    }

    void AppendTo(Bytes& out, const Bytes& file) const
    {
        const auto begin = file.begin() + static_cast<std::ptrdiff_t>(m_oldStart);
        if (m_certificateSize == 0)
        {
            out.insert(out.end(), begin, file.end());
            return;
        }
        const auto certificate = file.begin() + m_certificate;
        out.insert(out.end(), begin, certificate);
        out.insert(out.end(), certificate + m_certificateSize, file.end());
    }

private:
    size_t m_oldStart;
    size_t m_newStart;
    uint32_t m_certificate;
    uint32_t m_certificateSize;
};

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

bool IsLastSection(const PeImage& image, size_t index)
{
    const std::vector<Section>& sections = image.Sections();
    const Section& s = sections[index];
    if (index + 1 != sections.size() || s.sizeOfRawData == 0 ||
        size_t(s.pointerToRawData) + s.sizeOfRawData != image.OverlayStart())
        return false;
    return std::all_of(sections.begin(), sections.end() - 1,
                       [&](const Section& other) {
                           return other.sizeOfRawData == 0 ||
                                  other.pointerToRawData < s.pointerToRawData;
                       });
}

// Debug directory entries whose data lies in the overlay carry its file
// offset; they follow it. The directory itself stays where it is.
void MoveDebugData(const PeImage& image, const OverlayMove& move, int rewritten, Bytes& out)
{
    const uint32_t rva = image.DirectoryRva(kDirDebug);
    const uint32_t size = image.DirectorySize(kDirDebug);
    const int index = image.SectionOf(rva);
    if (size < kDebugEntrySize || index < 0 || index == rewritten)
        return;
    const Section& s = image.Sections()[index];
    if (rva - s.virtualAddress > s.MappedRawSize() ||
        size > s.MappedRawSize() - (rva - s.virtualAddress))
        return;
    const size_t at = image.OffsetOf(rva, size);
    for (size_t i = 0; i + kDebugEntrySize <= size; i += kDebugEntrySize)
    {
        const uint32_t pointer = Read32(out, at + i + 24);
        if (pointer != 0 && move.Inside(pointer))
            Write32(out, at + i + 24, static_cast<uint32_t>(move.Map(pointer)));
    }
}

void PadTo(Bytes& out, size_t size)
{
    if (out.size() < size)
        out.resize(size, 0);
}
} // namespace

ResourceEditor::ResourceEditor(Bytes file)
    : m_file(std::move(file)), m_image(m_file), m_tree(m_image)
{
}

Bytes ResourceEditor::Build() const
{
    const Bytes& file = m_file;
    const std::vector<Section>& sections = m_image.Sections();
    const uint32_t rootRva = m_image.DirectoryRva(kDirResource);
    const bool hadTree = rootRva != 0 || m_image.DirectorySize(kDirResource) != 0;
    const int found = hadTree ? m_image.SectionOf(rootRva) : -1;
    // Only a section that starts with the tree is taken to hold nothing else;
    // one whose raw bytes overlap others' is left alone.
    const int owned = found >= 0 && sections[found].virtualAddress == rootRva &&
                              OwnsItsRawData(m_image, static_cast<size_t>(found))
                          ? found
                          : -1;

    // One allocation for the whole new file: the tree, the alignment of a new
    // section and the overlay come on top of the image.
    Bytes out;
    out.reserve(file.size() + (hadTree || !m_tree.Empty() ? m_tree.SerializedSize() : 0) +
                2 * size_t(m_image.FileAlignment()));
    out.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(m_image.OverlayStart()));
    const uint32_t fileAlignment = m_image.FileAlignment();
    const uint32_t sectionAlignment = m_image.SectionAlignment();
    int rewritten = -1;

    if (hadTree || !m_tree.Empty())
    {
        const uint32_t size = m_tree.SerializedSize();
        uint32_t baseRva = 0;
        if (owned >= 0 && size <= sections[owned].sizeOfRawData &&
            size <= sections[owned].VirtualExtent())
        {
            // In place: the section keeps its size, the rest of it is cleared.
            const Section& s = sections[owned];
            baseRva = s.virtualAddress;
            Bytes tree = m_tree.Serialize(m_image, baseRva);
            std::fill(out.begin() + s.pointerToRawData,
                      out.begin() + s.pointerToRawData + s.sizeOfRawData, 0);
            std::memcpy(out.data() + s.pointerToRawData, tree.data(), tree.size());
            rewritten = owned;
        }
        else if (owned >= 0 && IsLastSection(m_image, owned))
        {
            // The last section grows (or shrinks to its new size).
            const Section& s = sections[owned];
            baseRva = s.virtualAddress;
            Bytes tree = m_tree.Serialize(m_image, baseRva);
            const uint32_t rawSize = AlignUp(size, fileAlignment);
            out.resize(s.pointerToRawData);
            out.insert(out.end(), tree.begin(), tree.end());
            PadTo(out, size_t(s.pointerToRawData) + rawSize);
            Write32(out, s.headerOffset + 8, size);
            Write32(out, s.headerOffset + 16, rawSize);
            Write32(out, m_image.SizeOfImageOffset(),
                    AlignUp(uint64_t(baseRva) + size, sectionAlignment));
            if (s.characteristics & kInitializedData)
            {
                const size_t at = m_image.SizeOfInitializedDataOffset();
                Write32(out, at, Read32(out, at) - s.sizeOfRawData + rawSize);
            }
            rewritten = owned;
        }
        else
        {
            // A new section after the last one; the old tree stays unused.
            const size_t header =
                m_image.SectionTableOffset() + sections.size() * kSectionHeaderSize;
            if (!m_image.HasRoomForSectionHeader() ||
                std::any_of(out.begin() + header, out.begin() + header + kSectionHeaderSize,
                            [](uint8_t b) { return b != 0; }))
                throw BadImage{};
            // Beyond every section by its memory size and by its raw size:
            // loaders that map files as data find an address by the raw size.
            uint64_t end = 0;
            for (const Section& s : sections)
                end = std::max<uint64_t>(end, uint64_t(s.virtualAddress) +
                                                  std::max(s.VirtualExtent(), s.sizeOfRawData));
            baseRva = AlignUp(end, sectionAlignment);
            Bytes tree = m_tree.Serialize(m_image, baseRva);
            const uint32_t rawPointer = AlignUp(out.size(), fileAlignment);
            const uint32_t rawSize = AlignUp(size, fileAlignment);
            PadTo(out, rawPointer);
            out.insert(out.end(), tree.begin(), tree.end());
            PadTo(out, size_t(rawPointer) + rawSize);
            static const char kName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            static const char kOldName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
            std::memcpy(out.data() + header, kName, sizeof kName);
            // Tools that look for the tree by section name must find the
            // live one; the old section keeps its bytes and address.
            if (found >= 0 && std::memcmp(out.data() + sections[found].headerOffset, kName, 8) == 0)
                std::memcpy(out.data() + sections[found].headerOffset, kOldName, 8);
            Write32(out, header + 8, size);
            Write32(out, header + 12, baseRva);
            Write32(out, header + 16, rawSize);
            Write32(out, header + 20, rawPointer);
            Write32(out, header + 36, kInitializedData | kMemoryRead);
            Write16(out, m_image.NumberOfSectionsOffset(),
                    static_cast<uint16_t>(sections.size() + 1));
            Write32(out, m_image.SizeOfImageOffset(),
                    AlignUp(uint64_t(baseRva) + size, sectionAlignment));
            const size_t at = m_image.SizeOfInitializedDataOffset();
            Write32(out, at, Read32(out, at) + rawSize);
        }
        const size_t directory = m_image.DirectoryOffset(kDirResource);
        if (directory == 0)
            throw BadImage{}; // no resource directory entry to point at the tree
        Write32(out, directory, baseRva);
        Write32(out, directory + 4, size);
    }

    const OverlayMove move(m_image, out.size());
    move.AppendTo(out, file);
    const size_t symbols = m_image.PointerToSymbolTableOffset();
    const uint32_t symbolTable = Read32(out, symbols);
    if (symbolTable != 0 && move.Inside(symbolTable))
        Write32(out, symbols, static_cast<uint32_t>(move.Map(symbolTable)));
    MoveDebugData(m_image, move, rewritten, out);
    if (m_image.DirectorySize(kDirSecurity) != 0)
    {
        Write32(out, m_image.DirectoryOffset(kDirSecurity), 0);
        Write32(out, m_image.DirectoryOffset(kDirSecurity) + 4, 0);
    }
    if (Read32(file, m_image.CheckSumOffset()) != 0)
        Write32(out, m_image.CheckSumOffset(), ComputeCheckSum(out, m_image.CheckSumOffset()));
    return out;
}
} // namespace pe
