#include "PeImage.h"

#include <algorithm>

namespace pe
{
namespace
{
using namespace format;

// Headers larger than this are refused rather than read into memory: the
// section table of any real image ends within the first pages.
constexpr uint64_t kMaxHeaderBytes = 16 * 1024 * 1024;

bool IsPowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}
} // namespace

uint32_t Section::MappedRawSize() const
{
    return virtualSize != 0 ? std::min(virtualSize, sizeOfRawData) : sizeOfRawData;
}

uint32_t Section::VirtualExtent() const
{
    return virtualSize != 0 ? virtualSize : sizeOfRawData;
}

PeImage::PeImage(Source& source)
{
    Parse(source);
}

PeImage::PeImage(const Bytes& file)
{
    MemorySource source(file);
    Parse(source);
}

void PeImage::Parse(Source& source)
{
    m_fileSize = source.Size();
    if (m_fileSize < kDosHeaderSize)
        throw BadImage{"shorter than a DOS header"};
    m_headers = ReadRange(source, 0, kDosHeaderSize, "shorter than a DOS header");
    if (m_headers[0] != 'M' || m_headers[1] != 'Z')
        throw BadImage{"no MZ signature"};
    const uint32_t peOffset = Read32(m_headers, kNewHeaderOffset);
    m_fileHeader = size_t(peOffset) + kPeSignatureSize;
    m_optionalHeader = m_fileHeader + file::kSize;
    if (m_optionalHeader > kMaxHeaderBytes)
        throw BadImage{"PE header too far into the file"};
    CheckRange(0, m_optionalHeader, m_fileSize, "PE header past the end of the file");
    // Up to the optional header, then up to the section table and one entry
    // more: what a new section's entry needs.
    m_headers = ReadRange(source, 0, m_optionalHeader, "PE header past the end of the file");
    if (Read32(m_headers, peOffset) != kPeSignature)
        throw BadImage{"no PE signature"};
    const unsigned sectionCount = Read16(m_headers, m_fileHeader + file::kNumberOfSections);
    const uint16_t optionalSize = Read16(m_headers, m_fileHeader + file::kSizeOfOptionalHeader);
    if (sectionCount == 0 || sectionCount > section::kMaxCount)
        throw BadImage{"section count out of range"};
    m_sectionTable = m_optionalHeader + optionalSize;
    const uint64_t tableEnd = m_sectionTable + uint64_t(sectionCount) * section::kSize;
    CheckRange(0, tableEnd, m_fileSize, "section table past the end of the file");
    m_headers = ReadRange(source, 0, std::min<uint64_t>(tableEnd + section::kSize, m_fileSize),
                          "section table past the end of the file");

    const uint16_t magic = Read16(m_headers, m_optionalHeader + optional::kMagic);
    if (magic != optional::kMagicPe32 && magic != optional::kMagicPe32Plus)
        throw BadImage{"neither PE32 nor PE32+"};
    m_is64 = magic == optional::kMagicPe32Plus;
    const size_t countField =
        m_is64 ? optional::kNumberOfRvaAndSizesPe32Plus : optional::kNumberOfRvaAndSizesPe32;
    if (optionalSize < countField + 4)
        throw BadImage{"optional header too short"};
    m_directories = m_optionalHeader + countField + 4;
    // Room in the optional header limits the directories that count.
    m_directoryCount = std::min<uint32_t>(Read32(m_headers, m_optionalHeader + countField),
                                          optional::kMaxDirectories);
    m_directoryCount =
        std::min<unsigned>(m_directoryCount, unsigned((optionalSize - countField - 4) /
                                                      optional::kDirectoryEntrySize));

    m_sectionAlignment = Read32(m_headers, m_optionalHeader + optional::kSectionAlignment);
    m_fileAlignment = Read32(m_headers, m_optionalHeader + optional::kFileAlignment);
    m_sizeOfHeaders = Read32(m_headers, m_optionalHeader + optional::kSizeOfHeaders);
    if (!IsPowerOfTwo(m_fileAlignment) || !IsPowerOfTwo(m_sectionAlignment) ||
        m_fileAlignment > 0x10000 || m_sectionAlignment < m_fileAlignment)
        throw BadImage{"bad file or section alignment"};
    if (tableEnd > m_sizeOfHeaders)
        throw BadImage{"section table beyond SizeOfHeaders"};

    m_overlayStart = std::min<uint64_t>(m_sizeOfHeaders, m_fileSize);
    uint32_t previousEnd = 0;
    for (unsigned i = 0; i < sectionCount; ++i)
    {
        const size_t h = m_sectionTable + i * section::kSize;
        Section s{h,
                  Read32(m_headers, h + section::kVirtualSize),
                  Read32(m_headers, h + section::kVirtualAddress),
                  Read32(m_headers, h + section::kSizeOfRawData),
                  Read32(m_headers, h + section::kPointerToRawData),
                  Read32(m_headers, h + section::kCharacteristics)};
        if (s.sizeOfRawData != 0)
        {
            CheckRange(s.pointerToRawData, s.sizeOfRawData, m_fileSize,
                       "section raw data past the end of the file");
            m_overlayStart =
                std::max<uint64_t>(m_overlayStart, uint64_t(s.pointerToRawData) + s.sizeOfRawData);
        }
        // Sections follow one another in memory without overlapping.
        if (s.virtualAddress < previousEnd ||
            uint64_t(s.virtualAddress) + s.VirtualExtent() > UINT32_MAX)
            throw BadImage{"sections overlap in memory"};
        previousEnd = s.virtualAddress + s.VirtualExtent();
        m_sections.push_back(s);
    }
    // The headers come before the first section in memory; loaders that
    // resolve addresses below SizeOfHeaders as file offsets would otherwise
    // read the resources from the wrong place.
    if (m_sizeOfHeaders > m_sections.front().virtualAddress)
        throw BadImage{"headers reach into the first section"};

    // The certificate table is addressed by file offset and lies in the
    // overlay, after every section.
    if (DirectorySize(kDirSecurity) != 0)
    {
        const uint32_t offset = DirectoryRva(kDirSecurity);
        CheckRange(offset, DirectorySize(kDirSecurity), m_fileSize,
                   "certificate table past the end of the file");
        if (offset < m_overlayStart)
            throw BadImage{"certificate table inside the sections"};
    }
}

uint16_t PeImage::Machine() const
{
    return Read16(m_headers, m_fileHeader + file::kMachine);
}

size_t PeImage::DirectoryOffset(unsigned index) const
{
    return index < m_directoryCount ? m_directories + index * optional::kDirectoryEntrySize : 0;
}

uint32_t PeImage::DirectoryRva(unsigned index) const
{
    return index < m_directoryCount ? Read32(m_headers, DirectoryOffset(index)) : 0;
}

uint32_t PeImage::DirectorySize(unsigned index) const
{
    return index < m_directoryCount ? Read32(m_headers, DirectoryOffset(index) + 4) : 0;
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

uint64_t PeImage::OffsetOf(uint32_t rva, uint32_t size) const
{
    const int index = SectionOf(rva);
    if (index < 0)
        throw BadImage{"address outside every section"};
    const Section& s = m_sections[index];
    CheckRange(rva - s.virtualAddress, size, s.MappedRawSize(),
               "data past its section's raw bytes");
    return uint64_t(s.pointerToRawData) + (rva - s.virtualAddress);
}

bool PeImage::HasRoomForSectionHeader() const
{
    uint64_t limit = m_sizeOfHeaders;
    for (const Section& s : m_sections)
        if (s.sizeOfRawData != 0)
            limit = std::min<uint64_t>(limit, s.pointerToRawData);
    return m_sectionTable + (m_sections.size() + 1) * format::section::kSize <= limit &&
           m_sectionTable + (m_sections.size() + 1) * format::section::kSize <= m_headers.size();
}
} // namespace pe
