#include "Bytes.h"

namespace pe
{
void CheckRange(uint64_t offset, uint64_t size, uint64_t total, const char* reason)
{
    if (offset > total || size > total - offset)
        throw BadImage{reason};
}

uint16_t Read16(const Bytes& bytes, size_t offset)
{
    CheckRange(offset, 2, bytes.size(), "field past the end of the file");
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t Read32(const Bytes& bytes, size_t offset)
{
    CheckRange(offset, 4, bytes.size(), "field past the end of the file");
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
           uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}

void Write16(Bytes& bytes, size_t offset, uint16_t value)
{
    CheckRange(offset, 2, bytes.size(), "field past the end of the file");
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Write32(Bytes& bytes, size_t offset, uint32_t value)
{
    CheckRange(offset, 4, bytes.size(), "field past the end of the file");
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t AlignUp(uint64_t value, uint32_t alignment)
{
    const uint64_t aligned = (value + alignment - 1) & ~uint64_t(alignment - 1);
    if (aligned > UINT32_MAX)
        throw BadImage{"size past 4 GiB"};
    return static_cast<uint32_t>(aligned);
}
} // namespace pe
