// A new file described as the old one with some byte ranges replaced, and
// the streaming of it: unchanged ranges are copied from the source through
// one fixed buffer, so that a change to a large file needs memory only for
// the bytes that change.
#pragma once

#include "Stream.h"

#include <vector>

namespace pe
{
class FilePlan
{
public:
    explicit FilePlan(uint64_t sourceSize) : m_sourceSize(sourceSize) {}

    // The source bytes [offset, offset + length) become bytes, of any
    // length; length 0 inserts before the byte at offset. Ranges must not
    // overlap.
    void Replace(uint64_t offset, uint64_t length, Bytes bytes);
    // Overwrites bytes.size() source bytes at offset in place: within a
    // replacement of the same length its new bytes change; in an unchanged
    // range a replacement is added. False, and nothing changed, when they
    // fall into a replacement of another length or straddle one.
    bool Patch(uint64_t offset, const Bytes& bytes);
    // Where the source byte at offset, outside every replaced range, lies in
    // the new file.
    uint64_t Map(uint64_t offset) const;
    uint64_t Size() const;

    // After streaming, the image checksum goes into the 4 bytes at this
    // offset of the new file, which must hold zeros until then.
    void RecomputeCheckSumAt(uint64_t offset) { m_checkSumAt = offset; }
    bool RecomputesCheckSum() const { return m_checkSumAt != kNone; }
    uint64_t CheckSumOffset() const { return m_checkSumAt; }

    struct Replacement
    {
        uint64_t offset;
        uint64_t length;
        Bytes bytes;
    };
    // In file order; insertions before replacements at the same offset.
    const std::vector<Replacement>& Replacements() const { return m_replacements; }
    uint64_t SourceSize() const { return m_sourceSize; }

private:
    static constexpr uint64_t kNone = ~uint64_t(0);
    uint64_t m_sourceSize;
    uint64_t m_checkSumAt = kNone;
    std::vector<Replacement> m_replacements;
};

// Streams the new file into sink: each unchanged range read from source
// through one buffer of bufferSize bytes, each replacement written as it
// is, the checksum written last. Source and sink errors pass through as
// IoError.
void WritePlan(const FilePlan& plan, Source& source, Sink& sink, size_t bufferSize = 1024 * 1024);
} // namespace pe
