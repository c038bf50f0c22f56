#include "Stream.h"

#include <cstring>

namespace pe
{
Bytes ReadRange(Source& source, uint64_t offset, uint64_t size, const char* reason)
{
    CheckRange(offset, size, source.Size(), reason);
    Bytes bytes(static_cast<size_t>(size));
    if (size != 0)
        source.Read(offset, bytes.data(), bytes.size());
    return bytes;
}

void MemorySource::Read(uint64_t offset, void* data, size_t size)
{
    if (offset > m_bytes.size() || size > m_bytes.size() - offset)
        throw IoError{};
    std::memcpy(data, m_bytes.data() + offset, size);
}

void MemorySink::Write(const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + size);
}

void MemorySink::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (offset > m_bytes.size() || size > m_bytes.size() - offset)
        throw IoError{};
    std::memcpy(m_bytes.data() + offset, data, size);
}
} // namespace pe
