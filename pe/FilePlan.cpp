#include "FilePlan.h"

#include "CheckSum.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace pe
{
void FilePlan::Replace(uint64_t offset, uint64_t length, Bytes bytes)
{
    CheckRange(offset, length, m_sourceSize, "replaced range past the end of the file");
    auto at = std::find_if(m_replacements.begin(), m_replacements.end(),
                           [&](const Replacement& r)
                           { return r.offset > offset || (r.offset == offset && r.length != 0); });
    // Neighbours must not overlap the new range.
    if (at != m_replacements.begin())
    {
        const Replacement& before = *(at - 1);
        if (before.offset + before.length > offset)
            throw BadImage{"overlapping changes"};
    }
    if (at != m_replacements.end() && length != 0 && offset + length > at->offset)
        throw BadImage{"overlapping changes"};
    m_replacements.insert(at, Replacement{offset, length, std::move(bytes)});
}

bool FilePlan::Patch(uint64_t offset, const Bytes& bytes)
{
    const uint64_t end = offset + bytes.size();
    for (Replacement& r : m_replacements)
    {
        if (r.length == 0 || end <= r.offset || offset >= r.offset + r.length)
            continue;
        if (r.bytes.size() != r.length || offset < r.offset || end > r.offset + r.length)
            return false;
        std::memcpy(r.bytes.data() + (offset - r.offset), bytes.data(), bytes.size());
        return true;
    }
    Replace(offset, bytes.size(), bytes);
    return true;
}

uint64_t FilePlan::Map(uint64_t offset) const
{
    uint64_t mapped = offset;
    for (const Replacement& r : m_replacements)
    {
        if (r.offset + r.length > offset)
            break;
        mapped = mapped - r.length + r.bytes.size();
    }
    return mapped;
}

uint64_t FilePlan::Size() const
{
    uint64_t size = m_sourceSize;
    for (const Replacement& r : m_replacements)
        size = size - r.length + r.bytes.size();
    return size;
}

void WritePlan(const FilePlan& plan, Source& source, Sink& sink, size_t bufferSize)
{
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferSize]);
    CheckSum sum;
    const bool summing = plan.RecomputesCheckSum();
    uint64_t written = 0;
    auto write = [&](const uint8_t* data, size_t size)
    {
        if (summing)
            sum.Add(data, size);
        sink.Write(data, size);
        written += size;
    };
    // Pieces end on multiples of the buffer size in the new file, so that
    // writes (and, where nothing moved, reads) stay aligned to whole pages.
    auto copy = [&](uint64_t from, uint64_t to)
    {
        while (from < to)
        {
            const uint64_t room = bufferSize - written % bufferSize;
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(to - from, room));
            source.Read(from, buffer.get(), piece);
            write(buffer.get(), piece);
            from += piece;
        }
    };
    uint64_t cursor = 0;
    for (const FilePlan::Replacement& r : plan.Replacements())
    {
        copy(cursor, r.offset);
        write(r.bytes.data(), r.bytes.size());
        cursor = r.offset + r.length;
    }
    copy(cursor, plan.SourceSize());
    if (summing)
    {
        const uint32_t value = sum.Value();
        const uint8_t field[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                                  uint8_t(value >> 24)};
        sink.WriteAt(plan.CheckSumOffset(), field, sizeof field);
    }
}
} // namespace pe
