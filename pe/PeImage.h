// The headers of a PE32 or PE32+ image: read from a Source (only the bytes up
// to the end of the section table, with room for one more entry) and
// checked. Portable: no Win32 dependency, so the resource writer can also be
// built and tested on the build machine itself.
#pragma once

#include "PeFormat.h"
#include "Stream.h"

#include <vector>

namespace pe
{
using format::kDirDebug;
using format::kDirResource;
using format::kDirSecurity;

struct Section
{
    size_t headerOffset; // of its entry in the section table
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t sizeOfRawData;
    uint32_t pointerToRawData;
    uint32_t characteristics;

    // Bytes that the loader maps from the file.
    uint32_t MappedRawSize() const;
    // Extent in memory.
    uint32_t VirtualExtent() const;
};

class PeImage
{
public:
    // Reads and checks the headers; BadImage with the failing check.
    explicit PeImage(Source& source);
    // The same for a whole file held in memory.
    explicit PeImage(const Bytes& file);

    // The bytes read: the file from its start to the end of the section
    // table plus one entry (less where the file is shorter).
    const Bytes& Headers() const { return m_headers; }
    uint64_t FileSize() const { return m_fileSize; }
    bool Is64() const { return m_is64; }
    uint16_t Machine() const;
    uint32_t FileAlignment() const { return m_fileAlignment; }
    uint32_t SectionAlignment() const { return m_sectionAlignment; }
    uint32_t SizeOfHeaders() const { return m_sizeOfHeaders; }
    const std::vector<Section>& Sections() const { return m_sections; }

    size_t FileHeaderOffset() const { return m_fileHeader; }
    size_t OptionalHeaderOffset() const { return m_optionalHeader; }
    size_t SectionTableOffset() const { return m_sectionTable; }
    size_t CheckSumOffset() const { return m_optionalHeader + format::optional::kCheckSum; }
    size_t SizeOfImageOffset() const { return m_optionalHeader + format::optional::kSizeOfImage; }
    size_t SizeOfInitializedDataOffset() const
    {
        return m_optionalHeader + format::optional::kSizeOfInitializedData;
    }
    size_t PointerToSymbolTableOffset() const
    {
        return m_fileHeader + format::file::kPointerToSymbolTable;
    }
    size_t NumberOfSectionsOffset() const { return m_fileHeader + format::file::kNumberOfSections; }

    // Offset of data directory index in the file; 0 when the header has none.
    size_t DirectoryOffset(unsigned index) const;
    uint32_t DirectoryRva(unsigned index) const;
    uint32_t DirectorySize(unsigned index) const;

    // Index of the section whose memory extent holds rva, or -1.
    int SectionOf(uint32_t rva) const;
    // File offset of size bytes at rva; BadImage unless they lie wholly in
    // the mapped raw data of one section.
    uint64_t OffsetOf(uint32_t rva, uint32_t size) const;
    // End of the last section's raw data: where the overlay begins.
    uint64_t OverlayStart() const { return m_overlayStart; }
    // Whether the headers have room for one more section table entry.
    bool HasRoomForSectionHeader() const;

private:
    void Parse(Source& source);

    Bytes m_headers;
    uint64_t m_fileSize = 0;
    bool m_is64 = false;
    size_t m_fileHeader = 0;
    size_t m_optionalHeader = 0;
    size_t m_sectionTable = 0;
    size_t m_directories = 0;
    unsigned m_directoryCount = 0;
    uint32_t m_fileAlignment = 0;
    uint32_t m_sectionAlignment = 0;
    uint32_t m_sizeOfHeaders = 0;
    uint64_t m_overlayStart = 0;
    std::vector<Section> m_sections;
};
} // namespace pe
