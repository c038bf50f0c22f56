// The language variants of a program's manifest 1, read from the program
// loaded as data (LoadTargetModule), and what they say about its look.
#pragma once

#include "ManifestReader.h"

#include <windows.h>

#include <vector>

struct CManifestVariant
{
    WORD language;
    ManifestBytes bytes;
    CManifestReading reading;
};

// Every language variant of manifest 1 in module, in the order the platform
// lists them; none when the module has no manifest 1. A variant whose bytes
// lie outside the mapped file reads as not XML. FALSE with the last error
// when the listing itself fails.
BOOL ReadManifestVariants(HMODULE module, std::vector<CManifestVariant>& variants);

// One variant read from bytes, or none when its bytes lie outside the file.
CManifestVariant ReadManifestVariant(WORD language, const uint8_t* bytes, size_t size);

// The program's look: Absent without variants, Themed when one asks for
// Common-Controls 6, else NotXml when one is not XML, else Classic.
ManifestLook ProgramLook(const std::vector<CManifestVariant>& variants);

// One change of the program's manifest 1: the variant in language replaced
// by bytes, or deleted.
struct CVariantChange
{
    WORD language;
    bool remove;
    ManifestBytes bytes;
};

// Enable's changes: composed (the template filled in for the program) as
// manifest 1 in the neutral language when the program has none; else one
// dependency on Common-Controls 6 for architecture added to every variant
// that does not ask for it yet, each in its own language. FALSE with
// ERROR_SXS_MANIFEST_PARSE_ERROR when a variant is not XML.
BOOL PlanThemedLook(const std::vector<CManifestVariant>& variants, LPCSTR composed,
                    LPCSTR architecture, std::vector<CVariantChange>& changes);

// Disable's changes: the dependency cut out of every variant that asks for
// it, a variant left with nothing but its identity and description deleted;
// variants that are not XML deleted when none asks. Variants that do not
// ask stay as they are.
std::vector<CVariantChange> PlanClassicLook(const std::vector<CManifestVariant>& variants);

// The languages of the variants that changes delete because they are not
// XML the reader can be sure of.
std::vector<WORD> UnreadableLanguages(const std::vector<CManifestVariant>& variants,
                                      const std::vector<CVariantChange>& changes);

// Whether Windows builds an activation context from a variant of the
// program at path (a program for machine) that the reader cannot read: the
// probe offers no command for it, as Disable would delete it.
bool PlatformReadsUnreadable(LPCWSTR path, WORD machine,
                             const std::vector<CManifestVariant>& variants);

// Puts changes into the pending update. FALSE with the failing change's last
// error.
BOOL WriteVariantChanges(HANDLE update, const std::vector<CVariantChange>& changes);
