// A program's manifest 1 as its language variants, what they say about its
// look, and the changes Enable and Disable make to them: which variant is
// replaced by which bytes, which is deleted. Portable (no Win32): how the
// variants are read from a program and the changes written into it is the
// engine's.
#pragma once

#include "ManifestReader.h"

#include <cstdint>
#include <vector>

struct CManifestVariant
{
    uint16_t language;
    ManifestBytes bytes;
    CManifestReading reading;
};

// One variant read from bytes, or none when its bytes lie outside the file
// (it then reads as not XML).
CManifestVariant ReadManifestVariant(uint16_t language, const uint8_t* bytes, size_t size);

// The program's look: Absent without variants, Themed when one asks for
// Common-Controls 6, else NotXml when one is not XML, else Classic.
ManifestLook ProgramLook(const std::vector<CManifestVariant>& variants);

// One change of the program's manifest 1: the variant in language replaced
// by bytes, or deleted.
struct CVariantChange
{
    uint16_t language;
    bool remove;
    ManifestBytes bytes;
};

// Enable's changes: composed (the template filled in for the program) as
// manifest 1 in the neutral language when the program has none; else every
// variant that does not ask yet made to ask (InsertThemedLook, for
// processorArchitecture architecture), each in its own language. False,
// with no change, when a variant is not XML: where the dependency would go
// is unknown.
bool PlanThemedLook(const std::vector<CManifestVariant>& variants, const char* composed,
                    const char* architecture, std::vector<CVariantChange>& changes);

// Disable's changes: the dependency cut out of every variant that asks for
// it, a variant left with nothing but its identity and description deleted;
// variants that are not XML deleted when none asks (the commit keeps them
// where Windows accepts them: UnreadableLanguages). Variants that do not ask
// stay as they are.
std::vector<CVariantChange> PlanClassicLook(const std::vector<CManifestVariant>& variants);

// The languages of the variants that changes delete because they are not
// XML the reader can be sure of.
std::vector<uint16_t> UnreadableLanguages(const std::vector<CManifestVariant>& variants,
                                          const std::vector<CVariantChange>& changes);
