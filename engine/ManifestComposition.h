// Composing the manifest that Enable writes into a target: the template from
// the program's own resources with the target's version and name put in.
#pragma once

#include "CodePageText.h"

#include "manifest/ManifestTemplate.h"

#include <windows.h>

class CMemFile;

// Appends text (length UTF-16 units, or up to the NUL when -1) to stream,
// escaped as manifest/XmlEscape.h says. Any other negative length writes
// nothing. The stream's out-of-memory exception passes through.
void EscapeXmlText(CMemFile& stream, LPCWSTR text, int length);

// Puts the target's file name, without folder and extension, XML-escaped and
// in UTF-8, into name. 0 on failure, name then unchanged.
BOOL MakeManifestAppName(LPCWSTR path, CCodePageText& name);

// A new runtime-heap copy of the template resource with a NUL after it; the
// caller owns it and frees it. Null on failure, the last error as the failing
// call left it.
char* LoadManifestTemplate();

// Replaces every occurrence of pattern from left to right; text brought in by
// a replacement is not searched again. The block grows (to exactly the new
// length + 1) only when its usable size is too small, and text is updated when
// it moves. 0 when it cannot grow: text then still points at a valid text,
// owned by the caller.
BOOL ReplaceAll(char*& text, const char* pattern, const char* replacement);
