#include "CheckSum.h"

#include <algorithm>
#include <cstring>

namespace pe
{
namespace
{
uint64_t Fold(uint64_t sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

// The sum of the little-endian 32-bit words of data (size a multiple of 4),
// in a block small enough that 64 bits cannot overflow.
uint64_t SumWords(const uint8_t* data, size_t size)
{
    uint64_t sum = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    size_t i = 0;
    for (; i + 8 <= size; i += 8)
    {
        uint64_t pair;
        std::memcpy(&pair, data + i, 8);
        sum += (pair & 0xFFFFFFFFu) + (pair >> 32);
    }
    for (; i < size; i += 4)
    {
        uint32_t word;
        std::memcpy(&word, data + i, 4);
        sum += word;
    }
#else
    for (size_t i = 0; i < size; i += 4)
        sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
               uint32_t(data[i + 3]) << 24;
#endif
    return sum;
}
} // namespace

// The format folds the carry into the sum after every 16-bit word (an
// end-around carry); folding once at the end gives the same value, since a
// sum that is not zero never folds to zero. A 32-bit word counts as its two
// 16-bit words, because 2^16 is 1 modulo 0xFFFF.
void CheckSum::Add(const uint8_t* data, size_t size)
{
    if (size != 0 && (m_total & 1))
    {
        m_sum += uint64_t(*data) << 8; // the high byte of a word begun before
        ++data;
        --size;
        ++m_total;
    }
    m_total += size;
    // Blocks of at most 2^30 bytes: their sum stays below 2^63.
    constexpr size_t kBlock = size_t(1) << 30;
    const size_t words = size & ~size_t(3);
    for (size_t at = 0; at < words; at += kBlock)
        m_sum = Fold(Fold(m_sum) + Fold(SumWords(data + at, std::min(kBlock, words - at))));
    size_t i = words;
    if (i + 2 <= size)
    {
        m_sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
        i += 2;
    }
    if (i < size)
        m_sum += data[i]; // a low byte; its high byte may come with the next call
    m_sum = Fold(m_sum);
}

uint32_t CheckSum::Value() const
{
    return static_cast<uint32_t>(Fold(m_sum) + m_total);
}

uint32_t ComputeCheckSum(const Bytes& file, size_t checkSumOffset)
{
    CheckSum sum;
    const uint8_t zeros[4] = {};
    const size_t before = std::min(checkSumOffset, file.size());
    sum.Add(file.data(), before);
    if (before < file.size())
    {
        const size_t field = std::min<size_t>(4, file.size() - before);
        sum.Add(zeros, field);
        sum.Add(file.data() + before + field, file.size() - before - field);
    }
    return sum.Value();
}
} // namespace pe
