// A target read with the tool's own PE reader (pe/) instead of the loader,
// for a name the loader cannot take: longer than MAX_PATH with no shorter
// form, which the loader refuses even as "\\?\". The file is read, not
// mapped, and none of it runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One language variant of a resource.
struct CResourceVariant
{
    WORD language;
    bool inFile;                // false when its bytes lie outside the file's sections
    std::vector<uint8_t> bytes; // as the file holds them
};

struct CImageResources
{
    WORD machine = 0;
    // Of its .NET runtime header (RuntimeFlags), 0 without one.
    DWORD runtimeFlags = 0;
    // Every language variant of manifest 1 and of version block 1, in the
    // order of the resource tree (the order the platform lists them in).
    std::vector<CResourceVariant> manifests;
    std::vector<CResourceVariant> versions;
    // Why manifests is empty, as the platform's listing says it:
    // ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
    DWORD manifestsMissing = 0;
};

// Reads the headers and those resources of the file named name, in the
// form the file calls take (CTargetPath::Platform), into resources. FALSE with the
// last error: the file's own, or ERROR_BAD_EXE_FORMAT for anything that is
// not a well-formed PE image. Out of memory throws std::bad_alloc.
BOOL ReadImageResources(LPCWSTR name, CImageResources& resources);
