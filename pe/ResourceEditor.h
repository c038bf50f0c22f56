// Changes the resources of a PE image and describes the file that results as
// a plan: the old file with a few ranges replaced (headers, the resource
// sections, a few patched fields), which WritePlan streams. Portable.
//
// Every section other than the resources' keeps its bytes and its address
// (see ResourcePlacement.h for where the tree goes), and so does every byte
// of the resources' section that something else uses. Data after the last
// section (overlay) is kept; where raw data moves later in the file, the
// COFF symbol table, debug data and section table entries that point to it
// by file offset follow it. A certificate table is removed, since no
// signature survives a change. The checksum is recomputed when the image had
// one. A resource section left empty that ends the sections goes, so that
// a program that had none is as it was.
#pragma once

#include "CheckSum.h"
#include "FilePlan.h"
#include "ForeignData.h"
#include "ResourcePlacement.h"

#include <memory>

namespace pe
{
class ResourceEditor
{
public:
    // Reads the headers and the resource sections from source, which must
    // outlive the editor and keep its bytes until the plan is written.
    // BadImage unless it is a well-formed image with a readable tree.
    explicit ResourceEditor(Source& source);
    // The same for a whole file held in memory.
    explicit ResourceEditor(Bytes file);
    ResourceEditor(const ResourceEditor&) = delete;
    ResourceEditor& operator=(const ResourceEditor&) = delete;

    const PeImage& Image() const { return m_image; }
    ResourceTree& Tree() { return m_tree; }
    const ResourceTree& Tree() const { return m_tree; }

    // The new file. BadImage with noRoom set when no layout fits the tree.
    FilePlan Plan() const;
    // The new file in memory: the plan streamed from the source.
    Bytes Build() const;

private:
    ResourceEditor(std::unique_ptr<Bytes> file);
    bool RemovesEmptySection() const;
    void RemoveSection(Bytes& headers, FilePlan& plan) const;

    std::unique_ptr<Bytes> m_file; // for the in-memory constructor
    std::unique_ptr<MemorySource> m_memory;
    Source& m_source;
    PeImage m_image;
    RootSection m_root;
    SpillSection m_spill;
    ResourceTree m_tree;
    bool m_shared;
};
} // namespace pe
