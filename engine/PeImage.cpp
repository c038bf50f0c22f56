#include "PeImage.h"

#include <algorithm>

namespace pe
{
namespace
{
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr unsigned kMaxSections = 96; // the loader's own limit
constexpr size_t kSectionHeaderSize = 40;

bool IsPowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

// Throws unless [offset, offset + size) lies within a buffer of total bytes.
void CheckRange(uint64_t offset, uint64_t size, uint64_t total)
{
    if (offset > total || size > total - offset)
        throw BadImage{};
}
} // namespace

uint16_t Read16(const Bytes& bytes, size_t offset)
{
    CheckRange(offset, 2, bytes.size());
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t Read32(const Bytes& bytes, size_t offset)
{
    CheckRange(offset, 4, bytes.size());
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
           uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}

void Write16(Bytes& bytes, size_t offset, uint16_t value)
{
    CheckRange(offset, 2, bytes.size());
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Write32(Bytes& bytes, size_t offset, uint32_t value)
{
    CheckRange(offset, 4, bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t AlignUp(uint64_t value, uint32_t alignment)
{
    uint64_t aligned = (value + alignment - 1) & ~uint64_t(alignment - 1);
    if (aligned > UINT32_MAX)
        throw BadImage{};
    return static_cast<uint32_t>(aligned);
}

uint32_t Section::MappedRawSize() const
{
    return virtualSize != 0 ? std::min(virtualSize, sizeOfRawData) : sizeOfRawData;
}

uint32_t Section::VirtualExtent() const
{
    return virtualSize != 0 ? virtualSize : sizeOfRawData;
}

PeImage::PeImage(const Bytes& file) : m_file(file)
{
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z')
        throw BadImage{};
    const uint32_t peOffset = Read32(file, 0x3C);
    if (Read32(file, peOffset) != 0x00004550) // "PE\0\0"
        throw BadImage{};
    m_fileHeader = size_t(peOffset) + 4;
    const unsigned sectionCount = Read16(file, m_fileHeader + 2);
    const uint16_t optionalSize = Read16(file, m_fileHeader + 16);
    m_optionalHeader = m_fileHeader + 20;
    CheckRange(m_optionalHeader, optionalSize, file.size());

    const uint16_t magic = Read16(file, m_optionalHeader);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        throw BadImage{};
    m_is64 = magic == kMagicPe32Plus;
    const size_t countField = m_is64 ? 108 : 92;
    if (optionalSize < countField + 4)
        throw BadImage{};
    m_directories = m_optionalHeader + countField + 4;
    // Room in the optional header limits the directories that count.
    m_directoryCount = std::min<uint32_t>(Read32(file, m_optionalHeader + countField), 16);
    m_directoryCount =
        std::min<unsigned>(m_directoryCount, unsigned((optionalSize - countField - 4) / 8));

    m_sectionAlignment = Read32(file, m_optionalHeader + 32);
    m_fileAlignment = Read32(file, m_optionalHeader + 36);
    m_sizeOfHeaders = Read32(file, m_optionalHeader + 60);
    if (!IsPowerOfTwo(m_fileAlignment) || !IsPowerOfTwo(m_sectionAlignment) ||
        m_fileAlignment > 0x10000 || m_sectionAlignment < m_fileAlignment)
        throw BadImage{};

    if (sectionCount == 0 || sectionCount > kMaxSections)
        throw BadImage{};
    m_sectionTable = m_optionalHeader + optionalSize;
    CheckRange(m_sectionTable, uint64_t(sectionCount) * kSectionHeaderSize, file.size());
    if (m_sectionTable + sectionCount * kSectionHeaderSize > m_sizeOfHeaders)
        throw BadImage{};

    m_overlayStart = std::min<size_t>(m_sizeOfHeaders, file.size());
    uint32_t previousEnd = 0;
    for (unsigned i = 0; i < sectionCount; ++i)
    {
        const size_t h = m_sectionTable + i * kSectionHeaderSize;
        Section s{h,
                  Read32(file, h + 8),
                  Read32(file, h + 12),
                  Read32(file, h + 16),
                  Read32(file, h + 20),
                  Read32(file, h + 36)};
        if (s.sizeOfRawData != 0)
        {
            CheckRange(s.pointerToRawData, s.sizeOfRawData, file.size());
            m_overlayStart =
                std::max<size_t>(m_overlayStart, size_t(s.pointerToRawData) + s.sizeOfRawData);
        }
        // Sections follow one another in memory without overlapping.
        if (s.virtualAddress < previousEnd ||
            uint64_t(s.virtualAddress) + s.VirtualExtent() > UINT32_MAX)
            throw BadImage{};
        previousEnd = s.virtualAddress + s.VirtualExtent();
        m_sections.push_back(s);
    }
    // The headers come before the first section in memory; loaders that
    // resolve addresses below SizeOfHeaders as file offsets would otherwise
    // read the resources from the wrong place.
    if (m_sizeOfHeaders > m_sections.front().virtualAddress)
        throw BadImage{};

    // The certificate table is addressed by file offset and lies in the
    // overlay, after every section.
    if (DirectorySize(kDirSecurity) != 0)
    {
        const uint32_t offset = DirectoryRva(kDirSecurity);
        CheckRange(offset, DirectorySize(kDirSecurity), file.size());
        if (offset < m_overlayStart)
            throw BadImage{};
    }
}

size_t PeImage::DirectoryOffset(unsigned index) const
{
    return index < m_directoryCount ? m_directories + index * 8 : 0;
}

uint32_t PeImage::DirectoryRva(unsigned index) const
{
    return index < m_directoryCount ? Read32(m_file, DirectoryOffset(index)) : 0;
}

uint32_t PeImage::DirectorySize(unsigned index) const
{
    return index < m_directoryCount ? Read32(m_file, DirectoryOffset(index) + 4) : 0;
}

int PeImage::SectionOf(uint32_t rva) const
{
    for (size_t i = 0; i < m_sections.size(); ++i)
    {
        const Section& s = m_sections[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.VirtualExtent())
            return static_cast<int>(i);
    }
    return -1;
}

size_t PeImage::OffsetOf(uint32_t rva, uint32_t size) const
{
    const int index = SectionOf(rva);
    if (index < 0)
        throw BadImage{};
    const Section& s = m_sections[index];
    CheckRange(rva - s.virtualAddress, size, s.MappedRawSize());
    return size_t(s.pointerToRawData) + (rva - s.virtualAddress);
}

bool PeImage::HasRoomForSectionHeader() const
{
    size_t limit = m_sizeOfHeaders;
    for (const Section& s : m_sections)
        if (s.sizeOfRawData != 0)
            limit = std::min<size_t>(limit, s.pointerToRawData);
    return m_sectionTable + (m_sections.size() + 1) * kSectionHeaderSize <= limit;
}

uint32_t ComputeCheckSum(const Bytes& file, size_t checkSumOffset)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2)
    {
        if (i == checkSumOffset || i == checkSumOffset + 2)
            continue;
        uint32_t word = file[i];
        if (i + 1 < file.size())
            word |= uint32_t(file[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + file.size());
}
} // namespace pe
