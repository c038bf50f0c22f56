// The image checksum (the sum the platform's CheckSumMappedFile computes),
// taken over bytes as they stream past.
#pragma once

#include "Bytes.h"

namespace pe
{
class CheckSum
{
public:
    // The next size bytes of the file, in order.
    void Add(const uint8_t* data, size_t size);
    // The checksum of everything added; the checksum field itself must have
    // been added as zeros.
    uint32_t Value() const;

private:
    uint64_t m_sum = 0;   // of 16-bit words, folded only at the end
    uint64_t m_total = 0; // bytes added
};

// The image checksum of a whole file, its checksum field counted as zero.
uint32_t ComputeCheckSum(const Bytes& file, size_t checkSumOffset);
} // namespace pe
