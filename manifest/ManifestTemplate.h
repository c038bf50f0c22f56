// The manifest template the program carries (res/ManifestTemplate.manifest)
// as Enable fills it in: its placeholders, its processor, and the text of a
// version that goes into it.
#pragma once

#include <cstdint>

// The template's processor, as both of its processorArchitecture attributes
// name it; Enable puts the target's in its place.
extern const char kTemplateArchitecture[]; // "processorArchitecture=\"X86\""

// The two placeholders of the template.
extern const char kVersionPlaceholder[]; // "%AppVersion%"
extern const char kNamePlaceholder[];    // "%AppName%"

// Writes "major.minor.release.build" of a packed version (major in bits 31
// to 24, minor in 23 to 16, release in 15 to 0) and its NUL into the 32-byte
// buffer.
void FormatVersionText(uint32_t packed, int build, char (&buffer)[32]);
