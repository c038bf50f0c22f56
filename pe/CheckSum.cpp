#include "CheckSum.h"

#include <algorithm>

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
} // namespace

// The format folds the carry into the sum after every word (an end-around
// carry); folding once at the end gives the same value, since a sum that is
// not zero never folds to zero. Four bytes at a time count as their two
// words, because 2^16 is 1 modulo 0xFFFF.
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
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
    {
        sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
               uint32_t(data[i + 3]) << 24;
        if (sum >> 62)
            sum = Fold(sum);
    }
    for (; i + 2 <= size; i += 2)
        sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
    if (i < size)
        sum += data[i]; // a low byte; its high byte may come with the next call
    m_sum = Fold(Fold(m_sum) + Fold(sum));
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
