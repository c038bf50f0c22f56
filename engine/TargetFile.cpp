#include "TargetFile.h"

#include "TargetModule.h"

#include <algorithm>

namespace
{
void ReadVariants(const CImageResources& resources, std::vector<CManifestVariant>& variants)
{
    variants.clear();
    for (const CResourceVariant& found : resources.manifests)
        variants.push_back(ReadManifestVariant(
            found.language, found.inFile ? found.bytes.data() : nullptr, found.bytes.size()));
    if (variants.empty())
        SetLastError(resources.manifestsMissing);
}
} // namespace

BOOL CTargetFile::Open(const CTargetPath& path)
{
    Close();
    if (path.Loader().size() < MAX_PATH)
    {
        m_module.Attach(LoadTargetModuleByLoaderName(path.Loader()));
        if (m_module)
            m_platformName = path.Platform();
        return m_module ? TRUE : FALSE;
    }
    // The loader refuses such a name even in its extended form.
    if (!ReadImageResources(path.Platform().c_str(), m_resources))
        return FALSE;
    if (!ProcessorArchitectureName(m_resources.machine))
    {
        m_resources = CImageResources();
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    m_read = true;
    return TRUE;
}

void CTargetFile::Close()
{
    m_module.Release();
    m_platformName.clear();
    m_read = false;
    m_resources = CImageResources();
}

LPCSTR CTargetFile::Architecture() const
{
    if (m_read)
        return ManifestArchitectureOf(m_resources.machine, m_resources.runtimeFlags);
    return ManifestArchitecture(m_module.Get());
}

WORD CTargetFile::Machine() const
{
    if (m_read)
        return m_resources.machine;
    return DataModuleHeaders(m_module.Get())->FileHeader.Machine;
}

BOOL CTargetFile::ReadManifestVariants(std::vector<CManifestVariant>& variants) const
{
    if (m_read)
    {
        ReadVariants(m_resources, variants);
        return TRUE;
    }
    if (!::ReadManifestVariants(m_module.Get(), variants))
        return FALSE;
    // Asked for the neutral language (0), the platform's lookup takes the
    // thread's language first where the program has that variant too
    // (FindResourceEx): beside other languages, the neutral variant's own
    // bytes come from the tool's own reader, which matches languages exactly.
    const auto neutral = [](const CManifestVariant& variant) { return variant.language == 0; };
    if (variants.size() < 2 || std::none_of(variants.begin(), variants.end(), neutral))
        return TRUE;
    CImageResources exact;
    if (!ReadImageResources(m_platformName.c_str(), exact))
        return FALSE;
    ReadVariants(exact, variants);
    return TRUE;
}
