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

// Debug directory entries whose data lies in raw data that moves (from
// movedFrom on) carry its file offset; they follow it. The directory itself
// stays where it is.
void MoveDebugData(const PeImage& image, Source& source, uint64_t movedFrom, FilePlan& plan)
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
        if (pointer == 0 || pointer < movedFrom)
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
      m_spill(ReadSpillSection(m_image, m_root, source)), m_tree(m_image, m_root),
      m_shared(HoldsForeignData(m_image, source, m_root.index))
{
}

ResourceEditor::ResourceEditor(Bytes file)
    : ResourceEditor(std::make_unique<Bytes>(std::move(file)))
{
}

ResourceEditor::ResourceEditor(std::unique_ptr<Bytes> file)
    : m_file(std::move(file)), m_memory(std::make_unique<MemorySource>(*m_file)),
      m_source(*m_memory), m_image(m_source), m_root(ReadRootSection(m_image, m_source)),
      m_spill(ReadSpillSection(m_image, m_root, m_source)), m_tree(m_image, m_root),
      m_shared(HoldsForeignData(m_image, m_source, m_root.index))
{
}

bool ResourceEditor::RemovesEmptySection() const
{
    // The last section in the table and in the file, ending the file, and
    // holding nothing but a tree that is now empty.
    if (!m_tree.Empty() || m_root.index < 0 || m_shared || m_spill.index >= 0)
        return false;
    const std::vector<Section>& sections = m_image.Sections();
    const size_t index = static_cast<size_t>(m_root.index);
    const Section& s = sections[index];
    if (index + 1 != sections.size() || sections.size() < 2 || s.sizeOfRawData == 0 ||
        uint64_t(s.pointerToRawData) + s.sizeOfRawData != m_image.OverlayStart())
        return false;
    return std::all_of(
        sections.begin(), sections.end() - 1,
        [&](const Section& other)
        { return uint64_t(other.pointerToRawData) + other.sizeOfRawData <= s.pointerToRawData; });
}

// Takes the empty resource section out of the table and the file, with the
// padding before it: the other sections' raw data ends the sections again,
// and the data after them is back where it was before the section came.
void ResourceEditor::RemoveSection(Bytes& headers, FilePlan& plan) const
{
    const std::vector<Section>& sections = m_image.Sections();
    const Section& s = sections[static_cast<size_t>(m_root.index)];
    uint64_t fileEnd = m_image.SizeOfHeaders(), memoryEnd = 0;
    for (size_t i = 0; i + 1 < sections.size(); ++i)
    {
        fileEnd = std::max<uint64_t>(fileEnd, uint64_t(sections[i].pointerToRawData) +
                                                  sections[i].sizeOfRawData);
        memoryEnd = std::max<uint64_t>(memoryEnd, uint64_t(sections[i].virtualAddress) +
                                                      sections[i].VirtualExtent());
    }
    plan.Replace(fileEnd, m_image.OverlayStart() - fileEnd, {});
    std::fill(headers.begin() + static_cast<std::ptrdiff_t>(s.headerOffset),
              headers.begin() + static_cast<std::ptrdiff_t>(s.headerOffset + section::kSize), 0);
    Write16(headers, m_image.NumberOfSectionsOffset(), static_cast<uint16_t>(sections.size() - 1));
    if (s.characteristics & section::kInitializedData)
    {
        const size_t at = m_image.SizeOfInitializedDataOffset();
        Write32(headers, at, Read32(headers, at) - s.sizeOfRawData);
    }
    Write32(headers, m_image.SizeOfImageOffset(), AlignUp(memoryEnd, m_image.SectionAlignment()));
    const size_t directory = m_image.DirectoryOffset(kDirResource);
    Write32(headers, directory, 0);
    Write32(headers, directory + 4, 0);
}

FilePlan ResourceEditor::Plan() const
{
    FilePlan plan(m_image.FileSize());
    Bytes headers = m_image.Headers();
    size_t headerEnd = m_image.SectionTableOffset() + m_image.Sections().size() * section::kSize;
    // Raw data from here on may move in the file.
    uint64_t movedFrom = m_image.OverlayStart();

    if (RemovesEmptySection())
    {
        RemoveSection(headers, plan);
    }
    else if (m_root.index >= 0 || !m_tree.Empty())
    {
        const Placement placement = PlaceTree(m_image, m_root, m_spill, m_tree, m_shared);
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
        for (const Placement::Trim& trim : placement.trims)
        {
            const Section& s = m_image.Sections()[static_cast<size_t>(trim.index)];
            Write32(headers, s.headerOffset + section::kSizeOfRawData, trim.sizeOfRawData);
            if (s.characteristics & section::kInitializedData)
            {
                const size_t at = m_image.SizeOfInitializedDataOffset();
                Write32(headers, at, Read32(headers, at) - (s.sizeOfRawData - trim.sizeOfRawData));
            }
        }
        if (placement.movesLaterSections)
        {
            // The sections after the resources' in the file follow it.
            const Section& root = m_image.Sections()[static_cast<size_t>(m_root.index)];
            movedFrom = uint64_t(root.pointerToRawData) + root.sizeOfRawData;
            for (const Section& s : m_image.Sections())
            {
                if (s.sizeOfRawData == 0 || s.pointerToRawData < movedFrom)
                    continue;
                const uint64_t moved = plan.Map(s.pointerToRawData);
                if (moved > UINT32_MAX)
                    throw BadImage{"section moved past 4 GiB"};
                Write32(headers, s.headerOffset + section::kPointerToRawData, uint32_t(moved));
            }
        }
    }

    if (m_image.DirectorySize(kDirSecurity) != 0)
    {
        plan.Replace(m_image.DirectoryRva(kDirSecurity), m_image.DirectorySize(kDirSecurity), {});
        Write32(headers, m_image.DirectoryOffset(kDirSecurity), 0);
        Write32(headers, m_image.DirectoryOffset(kDirSecurity) + 4, 0);
    }

    // Pointers into the overlay by file offset follow it.
    const uint32_t symbols = Read32(headers, m_image.PointerToSymbolTableOffset());
    if (symbols != 0 && symbols >= movedFrom)
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
    if (plan.Map(movedFrom) != movedFrom || m_image.DirectorySize(kDirSecurity) != 0)
        MoveDebugData(m_image, m_source, movedFrom, plan);
    return plan;
}

Bytes ResourceEditor::Build() const
{
    MemorySink sink;
    WritePlan(Plan(), m_source, sink);
    return std::move(sink.Data());
}
} // namespace pe
