#include "ForeignData.h"

#include <algorithm>

namespace pe
{
namespace
{
using namespace format;

// Structures larger than this are not followed: real ones are far smaller,
// and a damaged file must not make the writer read without end.
constexpr uint32_t kMaxStructureBytes = 16 * 1024 * 1024;
constexpr uint32_t kMaxEntries = 65536;

class ForeignScan
{
public:
    ForeignScan(const PeImage& image, Source& source, const Section& section)
        : m_image(image), m_source(source), m_begin(section.virtualAddress),
          m_end(uint64_t(section.virtualAddress) +
                std::max(section.VirtualExtent(), section.sizeOfRawData))
    {
        const Bytes& headers = image.Headers();
        m_imageBase =
            image.Is64()
                ? (uint64_t(Read32(headers,
                                   image.OptionalHeaderOffset() + optional::kImageBasePe32Plus + 4))
                   << 32) |
                      Read32(headers, image.OptionalHeaderOffset() + optional::kImageBasePe32Plus)
                : Read32(headers, image.OptionalHeaderOffset() + optional::kImageBasePe32);
    }

    bool Found()
    {
        const Bytes& headers = m_image.Headers();
        if (Hits(Read32(headers, m_image.OptionalHeaderOffset() + optional::kAddressOfEntryPoint),
                 1))
            return true;
        for (unsigned d = 0; d < optional::kMaxDirectories; ++d)
        {
            const uint32_t rva = m_image.DirectoryRva(d), size = m_image.DirectorySize(d);
            if (d == kDirResource || d == kDirSecurity || (rva == 0 && size == 0))
                continue;
            if (Hits(rva, std::max<uint32_t>(size, 1)))
                return true;
            try
            {
                if (Follow(d, rva, size))
                    return true;
            }
            catch (const BadImage&)
            {
            }
        }
        return false;
    }

private:
    bool Hits(uint64_t rva, uint64_t size) const
    {
        return rva != 0 && rva < m_end && rva + size > m_begin;
    }
    bool HitsVa(uint64_t va, uint64_t size) const
    {
        return va >= m_imageBase && Hits(va - m_imageBase, size);
    }

    Bytes At(uint32_t rva, uint32_t size) const
    {
        if (size > kMaxStructureBytes)
            throw BadImage{"structure too large"};
        return ReadRange(m_source, m_image.OffsetOf(rva, size), size, "structure past the file");
    }
    uint64_t Pointer(const Bytes& bytes, size_t at) const
    {
        return m_image.Is64() ? (uint64_t(Read32(bytes, at + 4)) << 32) | Read32(bytes, at)
                              : Read32(bytes, at);
    }
    size_t PointerSize() const { return m_image.Is64() ? 8 : 4; }

    // A zero-ended array of pointer-sized values at rva: thunks or callbacks.
    // Read a few hundred at a time, up to the end of the section's raw data.
    template <typename Visit> bool Array(uint32_t rva, Visit visit) const
    {
        const uint32_t size = uint32_t(PointerSize());
        const int index = m_image.SectionOf(rva);
        if (index < 0)
            throw BadImage{"array outside every section"};
        const Section& s = m_image.Sections()[size_t(index)];
        const uint64_t raw = uint64_t(s.virtualAddress) + s.MappedRawSize();
        for (uint64_t at = rva, read = 0; at + size <= raw && read < kMaxEntries;)
        {
            const uint32_t count = uint32_t(std::min<uint64_t>((raw - at) / size, 256));
            const Bytes values = At(uint32_t(at), count * size);
            for (uint32_t i = 0; i < count; ++i, ++read)
            {
                const uint64_t value = Pointer(values, i * size);
                if (value == 0)
                    return false;
                if (visit(value))
                    return true;
            }
            at += uint64_t(count) * size;
        }
        return false;
    }

    bool Thunks(uint32_t rva) const
    {
        const uint64_t ordinal = uint64_t(1) << (PointerSize() * 8 - 1);
        return Hits(rva, PointerSize()) ||
               (rva != 0 &&
                Array(rva, [&](uint64_t thunk) { return !(thunk & ordinal) && Hits(thunk, 2); }));
    }

    bool Follow(unsigned d, uint32_t rva, uint32_t size) const
    {
        switch (d)
        {
        case kDirImport:
            for (uint32_t i = 0; i < kMaxEntries; ++i)
            {
                const Bytes entry = At(rva + i * imports::kSize, imports::kSize);
                if (std::all_of(entry.begin(), entry.end(), [](uint8_t b) { return b == 0; }))
                    return false;
                if (Hits(Read32(entry, imports::kName), 1) ||
                    Thunks(Read32(entry, imports::kOriginalFirstThunk)) ||
                    Thunks(Read32(entry, imports::kFirstThunk)))
                    return true;
            }
            return false;
        case kDirDelayImport:
            for (uint32_t i = 0; i < kMaxEntries; ++i)
            {
                const Bytes entry = At(rva + i * delay::kSize, delay::kSize);
                if (Read32(entry, delay::kFirstAddress) == 0)
                    return false;
                const bool rvas = Read32(entry, delay::kAttributes) & 1;
                for (unsigned f = 0; f < delay::kAddressCount; ++f)
                {
                    const uint32_t field = Read32(entry, delay::kFirstAddress + 4 * f);
                    if (rvas ? Hits(field, 1) : HitsVa(field, 1))
                        return true;
                }
            }
            return false;
        case kDirTls:
        {
            const Bytes directory = At(rva, uint32_t(PointerSize() * tls::kAddressCount));
            const uint64_t start = Pointer(directory, 0), end = Pointer(directory, PointerSize());
            if ((end > start && HitsVa(start, end - start)) ||
                HitsVa(Pointer(directory, 2 * PointerSize()), 4))
                return true;
            const uint64_t callbacks = Pointer(directory, 3 * PointerSize());
            return callbacks >= m_imageBase && callbacks - m_imageBase <= UINT32_MAX &&
                   (HitsVa(callbacks, PointerSize()) ||
                    Array(uint32_t(callbacks - m_imageBase),
                          [&](uint64_t callback) { return HitsVa(callback, 1); }));
        }
        case kDirBaseReloc:
        {
            const Bytes blocks = At(rva, size);
            for (size_t at = 0; at + 8 <= blocks.size();)
            {
                const uint32_t page = Read32(blocks, at), length = Read32(blocks, at + 4);
                if (length < 8 || length > blocks.size() - at)
                    return false;
                for (size_t e = at + 8; e + 2 <= at + length; e += 2)
                {
                    // Type 0 pads a block; type 10 patches 8 bytes, the others 4 at most.
                    const uint16_t entry = Read16(blocks, e);
                    const unsigned type = entry >> 12;
                    if (type != 0 && Hits(uint64_t(page) + (entry & 0xFFF), type == 10 ? 8 : 4))
                        return true;
                }
                at += length;
            }
            return false;
        }
        case kDirDebug:
        {
            const Bytes entries = At(rva, size);
            for (size_t at = 0; at + debug::kSize <= entries.size(); at += debug::kSize)
                if (Hits(Read32(entries, at + debug::kAddressOfRawData),
                         std::max<uint32_t>(Read32(entries, at + debug::kSizeOfData), 1)))
                    return true;
            return false;
        }
        case kDirExport:
        {
            const Bytes directory = At(rva, exports::kSize);
            for (size_t field = exports::kAddressOfFunctions; field < exports::kSize; field += 4)
                if (Hits(Read32(directory, field), 1))
                    return true;
            if (Hits(Read32(directory, exports::kName), 1))
                return true;
            const uint32_t count =
                std::min(Read32(directory, exports::kNumberOfFunctions), kMaxEntries);
            const Bytes functions = At(Read32(directory, exports::kAddressOfFunctions), 4 * count);
            for (uint32_t i = 0; i < count; ++i)
                if (Hits(Read32(functions, 4 * i), 1))
                    return true;
            return false;
        }
        case kDirException:
        {
            if (!m_image.Is64())
                return false;
            const Bytes entries = At(rva, size);
            for (size_t at = 0; at + 12 <= entries.size(); at += 12)
                for (size_t field = 0; field < 12; field += 4)
                    if (Hits(Read32(entries, at + field), 1))
                        return true;
            return false;
        }
        case kDirClr:
        {
            const Bytes header = At(rva, clr::kSize);
            for (size_t at : clr::kRanges)
                if (Hits(Read32(header, at), std::max<uint32_t>(Read32(header, at + 4), 1)))
                    return true;
            return false;
        }
        default:
            return false;
        }
    }

    const PeImage& m_image;
    Source& m_source;
    uint64_t m_begin;
    uint64_t m_end;
    uint64_t m_imageBase = 0;
};
} // namespace

bool HoldsForeignData(const PeImage& image, Source& source, int index)
{
    if (index < 0)
        return false;
    return ForeignScan(image, source, image.Sections()[static_cast<size_t>(index)]).Found();
}
} // namespace pe
