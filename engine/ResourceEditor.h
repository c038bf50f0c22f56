// Changes the resources of a PE image held in memory and lays out the image
// that results. Portable: bytes in, bytes out.
//
// Every section other than the one holding the resources keeps its bytes and
// its address. The new tree goes in place when it fits the resource section,
// or grows that section when it is the last one; otherwise it goes into a new
// ".rsrc" section appended after the last one (an old ".rsrc" section left
// behind is renamed ".oldrsrc", its bytes and address unchanged). Data after the last section
// (overlay) is kept, and the COFF symbol table and debug data that point into it by file offset
// follow it. A certificate table is removed, since no signature survives a change. The checksum is
// recomputed when the image had one.
#pragma once

#include "ResourceTree.h"

namespace pe
{
class ResourceEditor
{
public:
    // Takes the file's bytes; BadImage unless it is a well-formed image with
    // a readable resource tree.
    explicit ResourceEditor(Bytes file);
    ResourceEditor(const ResourceEditor&) = delete;
    ResourceEditor& operator=(const ResourceEditor&) = delete;

    const Bytes& Original() const { return m_file; }
    ResourceTree& Tree() { return m_tree; }
    const ResourceTree& Tree() const { return m_tree; }

    // The whole new file. BadImage when the tree needs a new section and the
    // headers have no room for its header.
    Bytes Build() const;

private:
    Bytes m_file;
    PeImage m_image;
    ResourceTree m_tree;
};
} // namespace pe
