// Checks shared by the native tests of the resource writer: a flat view of a
// tree and a comparison of the sections that must not change.
#pragma once

#include "pe/ResourceEditor.h"

#include <string>
#include <tuple>

namespace pecheck
{
using Key = std::tuple<pe::ResName, pe::ResName, pe::ResName>;
struct Entry
{
    pe::Bytes bytes;
    uint32_t codePage;
    bool operator==(const Entry& other) const
    {
        return bytes == other.bytes && codePage == other.codePage;
    }
};
using Flat = std::map<Key, Entry>;

pe::Bytes ReadFile(const std::string& path);
// size bytes drawn from a generator seeded with seed: the same every run.
pe::Bytes Random(size_t size, unsigned seed);
void WriteFile(const std::string& path, const pe::Bytes& bytes);

// Every entry of the image's tree with its bytes; throws BadImage.
Flat Flatten(const pe::Bytes& file);

// Empty when every section of before, except the one that starts with its
// resource tree, keeps its address, memory size, flags and mapped bytes in
// after (its raw data may move later in the file, and a raw size beyond the
// memory size may be cut back), and the headers before the section table
// are unchanged apart from the fields a resource update may change;
// otherwise what differs.
std::string CompareOtherSections(const pe::Bytes& before, const pe::Bytes& after);

// Empty when the image keeps the loader's rules: the section table within
// SizeOfHeaders, sections ascending and adjacent in memory from the first
// page after the headers, SizeOfImage their end, raw data aligned, within
// the file and not overlapping; otherwise the first rule it breaks.
std::string LoaderRuleViolations(const pe::Bytes& file);

// Empty when every data directory but the resources' and the certificate
// table has the same address and size in after and reads the same bytes
// there; otherwise the first that differs.
std::string CompareDirectories(const pe::Bytes& before, const pe::Bytes& after);

std::string Describe(const Key& key);
} // namespace pecheck
