#include "ImageResources.h"

#include "TargetModule.h"

#include "pe/ResourceTree.h"
#include "pe/Win32FileSource.h"

#include <cstring>

namespace
{
// Every language variant of (type, name) in tree.
std::vector<CResourceVariant> VariantsOf(const pe::ResourceTree& tree, const pe::PeImage& image,
                                         pe::Source& source, WORD type, WORD name, DWORD* missing)
{
    std::vector<CResourceVariant> variants;
    const auto& types = tree.Root().entries;
    const auto names = types.find(pe::ResName::Id(type));
    if (names == types.end())
    {
        if (missing)
            *missing = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return variants;
    }
    const auto languages = names->second.entries.find(pe::ResName::Id(name));
    if (languages == names->second.entries.end())
    {
        if (missing)
            *missing = ERROR_RESOURCE_NAME_NOT_FOUND;
        return variants;
    }
    for (const auto& [language, data] : languages->second.entries)
    {
        if (language.named)
            continue; // languages are numbers; a damaged tree may say otherwise
        CResourceVariant variant{language.id, true, {}};
        try
        {
            variant.bytes = data.inImage
                                ? pe::ReadRange(source, image.OffsetOf(data.rva, data.size),
                                                data.size, "resource data past the end of the file")
                                : data.bytes;
        }
        catch (const pe::BadImage&)
        {
            variant.inFile = false;
        }
        variants.push_back(std::move(variant));
    }
    return variants;
}

// The file's bytes at an RVA, for RuntimeFlags.
struct CImageBytes
{
    const pe::PeImage& image;
    pe::Source& source;

    static bool Read(DWORD rva, void* to, DWORD size, void* context)
    {
        auto& bytes = *static_cast<CImageBytes*>(context);
        try
        {
            bytes.source.Read(bytes.image.OffsetOf(rva, size), to, size);
            return true;
        }
        catch (const pe::BadImage&)
        {
            return false;
        }
    }
};
} // namespace

BOOL ReadImageResources(LPCWSTR name, CImageResources& resources)
{
    resources = CImageResources();
    const DWORD error = pe::ReadImageFile(
        name,
        [&](pe::Win32FileSource& source, const pe::PeImage& image)
        {
            const pe::ResourceTree tree(image, pe::ReadRootSection(image, source));
            resources.machine = image.Machine();
            CImageBytes bytes{image, source};
            resources.runtimeFlags = RuntimeFlags(
                !image.Is64(), image.DirectoryRva(IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR),
                image.DirectorySize(IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR), CImageBytes::Read,
                &bytes);
            resources.manifests = VariantsOf(tree, image, source, 24 /* RT_MANIFEST */, 1,
                                             &resources.manifestsMissing);
            resources.versions = VariantsOf(tree, image, source, 16 /* RT_VERSION */, 1, nullptr);
        });
    if (error == ERROR_SUCCESS)
        return TRUE;
    resources = CImageResources();
    SetLastError(error);
    return FALSE;
}
