// Strings of the program's string table that the framework itself shows; the
// program's resource ids must match.
#pragma once

// "Unexpected error: %s", for an exception a handler let escape.
#define AFX_IDS_UNEXPECTED_ERROR 2
// A short sentence saying that memory ran out.
#define AFX_IDP_FAILED_MEMORY_ALLOC 6
