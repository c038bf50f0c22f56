#include "ResourceEditor.h"

#include <algorithm>
#include <cstring>

namespace pe
{
namespace
{
using namespace format;

// Debug directories larger than this are not read: a real one lists a
// handful of 28-byte entries.
constexpr uint32_t kMaxDebugDirectory = 1024 * 1024;

// Writes what a section change makes of its table entry and of the header
// fields that sum over sections.
void ApplyChange(const PeImage& image, const SectionChange& change, Bytes& headers, FilePlan& plan)
{
    const size_t count = image.Sections().size();
    const uint32_t newRaw = static_cast<uint32_t>(change.content.size());
    size_t entry;
    uint32_t characteristics;
    bool last;
    if (change.index >= 0)
    {
        const Section& s = image.Sections()[static_cast<size_t>(change.index)];
        entry = s.headerOffset;
        characteristics = s.characteristics;
        last = size_t(change.index) + 1 == count;
        plan.Replace(s.pointerToRawData, s.sizeOfRawData, change.content);
    }
    else
    {
        entry = image.SectionTableOffset() + count * section::kSize;
        characteristics = section::kInitializedData | section::kMemoryRead;
        last = true;
        // Padding up to the file alignment, then the section, before the
        // overlay.
        Bytes bytes(static_cast<size_t>(change.pointerToRawData - image.OverlayStart()), 0);
        bytes.insert(bytes.end(), change.content.begin(), change.content.end());
        plan.Replace(image.OverlayStart(), 0, std::move(bytes));
        Write16(headers, image.NumberOfSectionsOffset(), static_cast<uint16_t>(count + 1));
        Write32(headers, entry + section::kCharacteristics, characteristics);
    }
    std::memcpy(headers.data() + entry + section::kName, change.name, section::kNameSize);
    Write32(headers, entry + section::kVirtualSize, change.virtualSize);
    Write32(headers, entry + section::kVirtualAddress, change.virtualAddress);
    Write32(headers, entry + section::kSizeOfRawData, newRaw);
    Write32(headers, entry + section::kPointerToRawData, change.pointerToRawData);
    if (characteristics & section::kInitializedData)
    {
        const size_t at = image.SizeOfInitializedDataOffset();
        Write32(headers, at, Read32(headers, at) - change.oldRawSize + newRaw);
    }
    if (last)
    {
        const uint32_t extent = change.virtualSize != 0 ? change.virtualSize : newRaw;
        Write32(headers, image.SizeOfImageOffset(),
                AlignUp(uint64_t(change.virtualAddress) + extent, image.SectionAlignment()));
    }
}

// Debug directory entries whose data lies in the overlay carry its file
// offset; they follow it. The directory itself stays where it is.
void MoveDebugData(const PeImage& image, Source& source, FilePlan& plan)
{
    const uint32_t rva = image.DirectoryRva(kDirDebug);
    const uint32_t size = image.DirectorySize(kDirDebug);
    const int index = image.SectionOf(rva);
    if (size < debug::kSize || index < 0)
        return;
    const Section& s = image.Sections()[static_cast<size_t>(index)];
    if (rva - s.virtualAddress > s.MappedRawSize() ||
        size > s.MappedRawSize() - (rva - s.virtualAddress))
        return;
    if (size > kMaxDebugDirectory)
        throw BadImage{"debug directory too large"};
    const uint64_t at = image.OffsetOf(rva, size);
    const Bytes entries = ReadRange(source, at, size, "debug directory past the end of the file");
    for (size_t i = 0; i + debug::kSize <= size; i += debug::kSize)
    {
        const uint32_t pointer = Read32(entries, i + debug::kPointerToRawData);
        if (pointer == 0 || pointer < image.OverlayStart())
            continue;
        const uint64_t moved = plan.Map(pointer);
        if (moved > UINT32_MAX)
            throw BadImage{"debug data moved past 4 GiB"};
        Bytes field(4);
        Write32(field, 0, static_cast<uint32_t>(moved));
        // Inside a section that is rewritten the entry is ours no more.
        plan.Patch(at + i + debug::kPointerToRawData, field);
    }
}
} // namespace

ResourceEditor::ResourceEditor(Source& source)
    : m_source(source), m_image(source), m_root(ReadRootSection(m_image, source)),
      m_spill(ReadSpillSection(m_image, m_root, source)), m_tree(m_image, m_root)
{
}

ResourceEditor::ResourceEditor(Bytes file)
    : ResourceEditor(std::make_unique<Bytes>(std::move(file)))
{
}

ResourceEditor::ResourceEditor(std::unique_ptr<Bytes> file)
    : m_file(std::move(file)), m_memory(std::make_unique<MemorySource>(*m_file)),
      m_source(*m_memory), m_image(m_source), m_root(ReadRootSection(m_image, m_source)),
      m_spill(ReadSpillSection(m_image, m_root, m_source)), m_tree(m_image, m_root)
{
}

FilePlan ResourceEditor::Plan() const
{
    FilePlan plan(m_image.FileSize());
    Bytes headers = m_image.Headers();
    size_t headerEnd = m_image.SectionTableOffset() + m_image.Sections().size() * section::kSize;

    if (m_root.index >= 0 || !m_tree.Empty())
    {
        const Placement placement = PlaceTree(m_image, m_root, m_spill, m_tree);
        for (const SectionChange& change : placement.changes)
        {
            ApplyChange(m_image, change, headers, plan);
            if (change.index < 0)
                headerEnd += section::kSize;
        }
        if (placement.renamedOld >= 0)
        {
            static const char kOldName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};
            const Section& old = m_image.Sections()[static_cast<size_t>(placement.renamedOld)];
            std::memcpy(headers.data() + old.headerOffset + section::kName, kOldName,
                        section::kNameSize);
        }
        const size_t directory = m_image.DirectoryOffset(kDirResource);
        if (directory == 0)
            throw BadImage{"no resource entry among the data directories"};
        Write32(headers, directory, placement.directoryRva);
        Write32(headers, directory + 4, placement.directorySize);
    }

    if (m_image.DirectorySize(kDirSecurity) != 0)
    {
        plan.Replace(m_image.DirectoryRva(kDirSecurity), m_image.DirectorySize(kDirSecurity), {});
        Write32(headers, m_image.DirectoryOffset(kDirSecurity), 0);
        Write32(headers, m_image.DirectoryOffset(kDirSecurity) + 4, 0);
    }

    // Pointers into the overlay by file offset follow it.
    const uint32_t symbols = Read32(headers, m_image.PointerToSymbolTableOffset());
    if (symbols != 0 && symbols >= m_image.OverlayStart())
    {
        const uint64_t moved = plan.Map(symbols);
        if (moved > UINT32_MAX)
            throw BadImage{"symbol table moved past 4 GiB"};
        Write32(headers, m_image.PointerToSymbolTableOffset(), static_cast<uint32_t>(moved));
    }
    if (Read32(headers, m_image.CheckSumOffset()) != 0)
    {
        Write32(headers, m_image.CheckSumOffset(), 0);
        plan.RecomputeCheckSumAt(m_image.CheckSumOffset());
    }
    headers.resize(std::min(headers.size(), headerEnd));
    const uint64_t headerLength = headers.size();
    plan.Replace(0, headerLength, std::move(headers));
    if (plan.Map(m_image.OverlayStart()) != m_image.OverlayStart() ||
        m_image.DirectorySize(kDirSecurity) != 0)
        MoveDebugData(m_image, m_source, plan);
    return plan;
}

Bytes ResourceEditor::Build() const
{
    MemorySink sink;
    WritePlan(Plan(), m_source, sink);
    return std::move(sink.Data());
}
} // namespace pe
