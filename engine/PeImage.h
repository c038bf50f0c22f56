// Reading the headers of a PE32 or PE32+ image held in memory. Portable: no
// Win32 dependency, so the resource writer can also be built and tested on
// the build machine itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pe
{
using Bytes = std::vector<uint8_t>;

// Thrown for anything that is not a well-formed PE32 or PE32+ image.
struct BadImage
{
};

uint16_t Read16(const Bytes& bytes, size_t offset);
uint32_t Read32(const Bytes& bytes, size_t offset);
void Write16(Bytes& bytes, size_t offset, uint16_t value);
void Write32(Bytes& bytes, size_t offset, uint32_t value);
// value rounded up to alignment, a power of two; BadImage past 32 bits.
uint32_t AlignUp(uint64_t value, uint32_t alignment);

enum DataDirectoryIndex : unsigned
{
    kDirResource = 2,
    kDirSecurity = 4,
    kDirDebug = 6,
};

struct Section
{
    size_t headerOffset; // of its 40-byte entry in the section table
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

// The parsed headers of an image. Every offset and size it hands out has been
// checked against the file.
class PeImage
{
public:
    // Checks the headers of file, which must outlive this object.
    explicit PeImage(const Bytes& file);

    const Bytes& File() const { return m_file; }
    bool Is64() const { return m_is64; }
    uint32_t FileAlignment() const { return m_fileAlignment; }
    uint32_t SectionAlignment() const { return m_sectionAlignment; }
    uint32_t SizeOfHeaders() const { return m_sizeOfHeaders; }
    const std::vector<Section>& Sections() const { return m_sections; }

    size_t FileHeaderOffset() const { return m_fileHeader; }
    size_t OptionalHeaderOffset() const { return m_optionalHeader; }
    size_t SectionTableOffset() const { return m_sectionTable; }
    size_t CheckSumOffset() const { return m_optionalHeader + 64; }
    size_t SizeOfImageOffset() const { return m_optionalHeader + 56; }
    size_t SizeOfInitializedDataOffset() const { return m_optionalHeader + 8; }
    size_t PointerToSymbolTableOffset() const { return m_fileHeader + 8; }
    size_t NumberOfSectionsOffset() const { return m_fileHeader + 2; }

    // Offset of data directory index in the file; 0 when the header has none.
    size_t DirectoryOffset(unsigned index) const;
    uint32_t DirectoryRva(unsigned index) const;
    uint32_t DirectorySize(unsigned index) const;

    // Index of the section whose memory extent holds rva, or -1.
    int SectionOf(uint32_t rva) const;
    // File offset of size bytes at rva; BadImage unless they lie wholly in
    // the mapped raw data of one section.
    size_t OffsetOf(uint32_t rva, uint32_t size) const;
    // End of the last section's raw data: where the overlay begins.
    size_t OverlayStart() const { return m_overlayStart; }
    // Where a header for one more section would go, if the headers have room.
    bool HasRoomForSectionHeader() const;

private:
    const Bytes& m_file;
    bool m_is64 = false;
    size_t m_fileHeader = 0;
    size_t m_optionalHeader = 0;
    size_t m_sectionTable = 0;
    size_t m_directories = 0;
    unsigned m_directoryCount = 0;
    uint32_t m_fileAlignment = 0;
    uint32_t m_sectionAlignment = 0;
    uint32_t m_sizeOfHeaders = 0;
    size_t m_overlayStart = 0;
    std::vector<Section> m_sections;
};

// The image checksum of file, the checksum field itself counted as zero.
uint32_t ComputeCheckSum(const Bytes& file, size_t checkSumOffset);
} // namespace pe
