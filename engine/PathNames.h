// Cutting a path into its file name and extension. Only the backslash
// separates folders; a forward slash or a drive colon is an ordinary character.
#pragma once

#include <windows.h>

// Points just after the last backslash of path, or at its start.
LPCWSTR FindFileName(LPCWSTR path);
// Points at the last full stop of text, or at its terminating NUL.
LPCWSTR FindExtension(LPCWSTR text);
