// Where a changed resource tree goes in an image, so that the file grows as
// little as it can and every section but the resources' keeps its bytes and
// its address. Portable.
//
// The directory (tables, data entries, names) must lie at or after its root,
// since the offsets inside it are unsigned; the data entries hold RVAs, so
// the data itself may lie anywhere in the image. Hence, in this order:
// 1. the whole tree is laid out again in the section that holds its root,
//    which may grow up to its raw size and the next section's address (or
//    without limit when it is the last one in the file);
// 2. the directory is rewritten in place, data it now covers and new data
//    go into free space of that section or into a spill section at the end
//    (".resdata", reused by later updates), all other data stays put;
// 3. the directory goes, with the new data, into a new last section; the
//    old section keeps its bytes (renamed ".oldrsrc" so that no reader
//    takes it for the tree) and the data still in it stays where it is.
// The third is taken over the second when it costs less than a page more:
// a tree in the last section grows in place in every later update. A layout
// that keeps the file's size (and so the data after the last section where
// it is) comes before one that grows it. Where the headers have no room for
// another section, the root's section may also grow in the file within its
// address space, the raw data of the sections after it moving later.
#pragma once

#include "ResourceTree.h"

namespace pe
{
// The section a previous update spilled data into: the last one in the
// table and in the file, named ".resdata", not pointed into by any data
// directory but the resources'.
struct SpillSection
{
    int index = -1;
    Bytes bytes; // its raw data
};
SpillSection ReadSpillSection(const PeImage& image, const RootSection& root, Source& source);

struct SectionChange
{
    int index; // of an existing section, or -1 for one added to the table
    char name[8];
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t pointerToRawData;
    uint32_t oldRawSize; // of the raw data it replaces (0 for a new one)
    Bytes content;       // the whole raw data, a multiple of the file alignment
};

struct Placement
{
    uint32_t directoryRva = 0;
    uint32_t directorySize = 0; // from the root to the end of what its section holds
    std::vector<SectionChange> changes;
    int renamedOld = -1; // a section to be renamed ".oldrsrc"
    // The root's section grew in the file within its address space: the raw
    // data of the sections after it in the file move later, their addresses
    // stay.
    bool movesLaterSections = false;
    // Sections whose raw size reached past the new section's address (a raw
    // size beyond the memory size) and now ends there: readers that find a
    // section by its raw size must not take the new section's bytes for
    // theirs. What is cut off was never mapped.
    struct Trim
    {
        int index;
        uint32_t sizeOfRawData;
    };
    std::vector<Trim> trims;
};

// shared: the root's section holds more than the tree (HoldsForeignData).
// Every byte of it that the tree did not use when it was read then keeps its
// place and its value, and the tree is laid out only where the old one was
// (or moves to a new section). NoRoom when no layout fits.
Placement PlaceTree(const PeImage& image, const RootSection& root, const SpillSection& spill,
                    const ResourceTree& tree, bool shared);

extern const char kSpillSectionName[8];
} // namespace pe
