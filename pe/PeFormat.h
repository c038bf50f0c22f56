// Where the fields of a PE image's headers lie, as the format defines them:
// offsets within each header, so that code reads `optional + kSizeOfImage`
// rather than a bare number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pe::format
{
// DOS header.
constexpr size_t kDosHeaderSize = 0x40;
constexpr size_t kNewHeaderOffset = 0x3C;     // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr size_t kPeSignatureSize = 4;

// COFF file header, after the signature.
namespace file
{
constexpr size_t kMachine = 0;
constexpr size_t kNumberOfSections = 2;
constexpr size_t kPointerToSymbolTable = 8;
constexpr size_t kSizeOfOptionalHeader = 16;
constexpr size_t kSize = 20;
} // namespace file

// Optional header, after the file header. PE32 and PE32+ agree up to the
// checksum; the directory count moves with the 64-bit fields before it.
namespace optional
{
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kMagic = 0;
constexpr size_t kSizeOfInitializedData = 8;
constexpr size_t kAddressOfEntryPoint = 16;
constexpr size_t kImageBasePe32 = 28;     // 32 bits
constexpr size_t kImageBasePe32Plus = 24; // 64 bits
constexpr size_t kSectionAlignment = 32;
constexpr size_t kFileAlignment = 36;
constexpr size_t kSizeOfImage = 56;
constexpr size_t kSizeOfHeaders = 60;
constexpr size_t kCheckSum = 64;
constexpr size_t kNumberOfRvaAndSizesPe32 = 92;
constexpr size_t kNumberOfRvaAndSizesPe32Plus = 108;
constexpr unsigned kMaxDirectories = 16;
constexpr size_t kDirectoryEntrySize = 8; // RVA, size
} // namespace optional

enum DataDirectoryIndex : unsigned
{
    kDirExport = 0,
    kDirImport = 1,
    kDirResource = 2,
    kDirException = 3,
    kDirSecurity = 4,
    kDirBaseReloc = 5,
    kDirDebug = 6,
    kDirTls = 9,
    kDirDelayImport = 13,
    kDirClr = 14,
};

// One entry of the section table.
namespace section
{
constexpr size_t kName = 0;
constexpr size_t kNameSize = 8;
constexpr size_t kVirtualSize = 8;
constexpr size_t kVirtualAddress = 12;
constexpr size_t kSizeOfRawData = 16;
constexpr size_t kPointerToRawData = 20;
constexpr size_t kCharacteristics = 36;
constexpr size_t kSize = 40;
constexpr unsigned kMaxCount = 96; // the loader's own limit
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kMemoryRead = 0x40000000;
} // namespace section

// One entry of the debug directory.
namespace debug
{
constexpr size_t kSizeOfData = 16;
constexpr size_t kAddressOfRawData = 20;
constexpr size_t kPointerToRawData = 24;
constexpr size_t kSize = 28;
} // namespace debug

// What data directories point to, as far as the writer must know where it
// lies: the structures' fields that hold addresses.
namespace imports
{
constexpr size_t kOriginalFirstThunk = 0;
constexpr size_t kName = 12;
constexpr size_t kFirstThunk = 16;
constexpr size_t kSize = 20;
} // namespace imports
namespace delay
{
constexpr size_t kAttributes = 0;   // bit 0: the fields are RVAs, else VAs
constexpr size_t kFirstAddress = 4; // then five more address fields
constexpr unsigned kAddressCount = 6;
constexpr size_t kSize = 32;
} // namespace delay
namespace exports
{
constexpr size_t kName = 12;
constexpr size_t kNumberOfFunctions = 20;
constexpr size_t kAddressOfFunctions = 28; // then the names' and ordinals' tables
constexpr size_t kSize = 40;
} // namespace exports
namespace tls // VAs: start and end of the template, index, callbacks
{
constexpr unsigned kAddressCount = 4;
} // namespace tls
namespace clr // RVA and size pairs: metadata, resources, strong-name signature, ...
{
constexpr size_t kRanges[] = {8, 24, 32, 40, 48, 56, 64};
constexpr size_t kSize = 72;
} // namespace clr

// The resource directory's three kinds of record.
namespace resource
{
constexpr size_t kCharacteristics = 0;
constexpr size_t kTimeDateStamp = 4;
constexpr size_t kMajorVersion = 8;
constexpr size_t kMinorVersion = 10;
constexpr size_t kNumberOfNamedEntries = 12;
constexpr size_t kNumberOfIdEntries = 14;
constexpr size_t kTableSize = 16;
constexpr size_t kEntryName = 0;
constexpr size_t kEntryTarget = 4;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataRva = 0;
constexpr size_t kDataSize = 4;
constexpr size_t kDataCodePage = 8;
constexpr size_t kDataReserved = 12;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u; // a name string, or a subdirectory
} // namespace resource
} // namespace pe::format
