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
// a tree in the last section grows in place in every later update.
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
};

// BadImage when the tree needs a section and the headers have no room for
// its entry.
Placement PlaceTree(const PeImage& image, const RootSection& root, const SpillSection& spill,
                    const ResourceTree& tree);

extern const char kSpillSectionName[8];
} // namespace pe
