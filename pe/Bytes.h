// Little-endian fields in byte buffers, and the one error the portable core
// throws for an image it will not change. Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pe
{
using Bytes = std::vector<uint8_t>;

// Thrown for anything that is not a well-formed PE32 or PE32+ image, or that
// the writer cannot change without damaging it; reason names the check that
// refused it (a static text).
struct BadImage
{
    const char* reason = "malformed image";
    // A well-formed image that the writer finds no layout for; reason says why.
    bool noRoom = false;
};

// Throws BadImage{reason} unless [offset, offset + size) lies within total.
void CheckRange(uint64_t offset, uint64_t size, uint64_t total, const char* reason);

uint16_t Read16(const Bytes& bytes, size_t offset);
uint32_t Read32(const Bytes& bytes, size_t offset);
void Write16(Bytes& bytes, size_t offset, uint16_t value);
void Write32(Bytes& bytes, size_t offset, uint32_t value);
// value rounded up to alignment, a power of two; BadImage past 32 bits.
uint32_t AlignUp(uint64_t value, uint32_t alignment);
} // namespace pe
