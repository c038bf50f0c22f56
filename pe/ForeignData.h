// Whether a section holds anything besides the resource tree. Packers and
// some linkers keep the import directory, TLS data, the load configuration,
// debug data or code in the resource section's slack; a rewrite of that
// section must leave every such byte where it is. Portable.
#pragma once

#include "PeImage.h"
#include "Stream.h"

namespace pe
{
// Whether anything but the resources uses bytes of section index: a data
// directory other than the resources' and the certificate table, or a
// structure one of them points to (import names and thunks, TLS template,
// index and callbacks, base relocation fixups, debug data, exported
// functions, exception entries, the .NET header's ranges), or the entry
// point. Structures that cannot be read are skipped: the loader would
// refuse them before the writer's change matters.
bool HoldsForeignData(const PeImage& image, Source& source, int index);
} // namespace pe
