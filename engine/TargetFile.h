// A target opened to read its manifest: loaded as a data file
// (LoadTargetModule) where the loader takes its name, else read with the
// tool's own PE reader (ReadImageResources), so that a long path without a
// short form can still be changed. None of the target runs either way.
#pragma once

#include "ImageResources.h"
#include "ManifestVariants.h"
#include "TargetPath.h"

#include "framework/AutoHandles.h"

class CTargetFile
{
public:
    CTargetFile() = default;
    CTargetFile(const CTargetFile&) = delete;
    CTargetFile& operator=(const CTargetFile&) = delete;

    // FALSE with the last error: the loader's or the file's;
    // ERROR_BAD_EXE_FORMAT for what is not a program for a processor the
    // tool serves.
    BOOL Open(const CTargetPath& path);
    // Lets the file go: a loaded module is freed (the file must not be
    // mapped while it is replaced). Nothing is read after this.
    void Close();

    // The processorArchitecture a manifest for the program names
    // (ManifestArchitecture).
    LPCSTR Architecture() const;
    // The program's processor, as its headers name it (IMAGE_FILE_MACHINE_*).
    WORD Machine() const;
    // As ReadManifestVariants (ManifestVariants.h); with no manifest 1 the
    // last error says which level is missing, as the platform's listing does.
    BOOL ReadManifestVariants(std::vector<CManifestVariant>& variants) const;

private:
    CLibrary m_module;
    std::wstring m_platformName; // of a loaded module (CTargetPath::Platform)
    bool m_read = false;         // by the tool's own reader, into m_resources
    CImageResources m_resources;
};
