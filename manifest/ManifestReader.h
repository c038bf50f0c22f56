// Reading the text of one language variant of an application manifest, and
// the two changes the commands make to it, as ranges of its bytes: nothing
// is written back from a parsed form, so every byte the change does not
// concern stays as the program's author wrote it. Portable (no Win32): the
// native tests and the fuzzer build it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using ManifestBytes = std::vector<uint8_t>;

// What a program's manifest 1 says about the themed look, over all its
// language variants (a reading of one variant is never Absent).
enum class ManifestLook
{
    Absent,  // no manifest 1
    Classic, // well-formed XML, and no variant asks for Common-Controls 6
    Themed,  // a variant asks for it
    NotXml,  // a variant the reader cannot be sure of, and none asks
};

enum class ManifestEncoding
{
    Utf8,       // with or without its byte-order mark
    Utf16LE,    // with its byte-order mark
    Utf16BE,    // with its byte-order mark
    SingleByte, // declared: US-ASCII, ISO-8859-x or windows-125x, ASCII below 128
};

struct CByteRange
{
    size_t begin;
    size_t end;
};

// One variant as the commands need it. Offsets are byte offsets into the
// variant's bytes.
struct CManifestReading
{
    ManifestLook look = ManifestLook::NotXml;
    // Why the variant is not XML: the check that refused it (a static text).
    const char* refusal = nullptr;
    ManifestEncoding encoding = ManifestEncoding::Utf8;

    // Where Enable puts the dependency: at the start of the line of the
    // root's closing tag when that tag begins its line (the block then takes
    // lines of its own, with the text's newline and indentation), else just
    // before the tag on the same line.
    size_t insertAt = 0;
    bool ownLines = false;
    std::wstring newline;    // the text's first line end
    std::wstring indent;     // of the root's children
    std::wstring indentStep; // one level deeper
    // The namespace prefix and its colon of the elements Enable adds: none
    // where the default namespace at the root's end is asm.v1, else the
    // root's own.
    std::wstring prefix;
    // The values of the version attributes of Common-Controls dependencies
    // at another version (5.82, the classic controls): Enable changes them
    // to 6.0.0.0 instead of adding a dependency, since Windows refuses two
    // versions of one assembly in one program.
    std::vector<CByteRange> otherVersions;

    // Themed: what Disable cuts, ascending and apart (each asking
    // dependency, or only its dependentAssembly when the dependency holds
    // something else, with its own line when it stands alone on it), and
    // whether what is left holds nothing but the assembly's identity and
    // description, so that the variant goes as a whole.
    std::vector<CByteRange> cuts;
    bool nothingLeft = false;
};

// Reads a variant. Never reads outside [data, data + size); anything it
// cannot be sure of reads as NotXml with the refusing check named.
CManifestReading ReadManifest(const uint8_t* data, size_t size);

// The variant asking for Common-Controls 6.0.0.0, in its own encoding: one
// dependency for processorArchitecture architecture (ASCII) inserted, or,
// where it names the controls at another version, that version changed.
// reading must be the Classic reading of the same bytes.
ManifestBytes InsertThemedLook(const uint8_t* data, size_t size, const CManifestReading& reading,
                               const char* architecture);

// The variant with reading's cuts made. reading must be the Themed reading
// of the same bytes.
ManifestBytes CutThemedLook(const uint8_t* data, size_t size, const CManifestReading& reading);
