#include "Mutations.h"

#include <cstdint>
#include <cstring>

namespace testing
{
std::string MutateImage(const std::string& original, int i, unsigned& seed)
{
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    // The headers, or the fixture's resource section.
    auto place = [&] { return (i & 8) ? next() % 1024 : 0x3800 + next() % 0x1600; };
    std::string bytes = original;
    switch (i % 4)
    {
    case 0: // flipped bits
        for (int k = 0; k < 4; ++k)
            bytes[place() % bytes.size()] ^= static_cast<char>(1 << (next() % 8));
        break;
    case 1: // cut short
        bytes.resize(next() % bytes.size());
        break;
    default: // a 32-bit field grown or shrunk
    {
        const size_t at = (place() & ~size_t(3)) % (bytes.size() - 4);
        uint32_t value;
        memcpy(&value, &bytes[at], 4);
        value = (i % 4 == 2) ? value + (next() % 0x10000) : value >> (next() % 16);
        memcpy(&bytes[at], &value, 4);
    }
    }
    return bytes;
}
} // namespace testing
