#include "TargetFile.h"

#include "TargetModule.h"

BOOL CTargetFile::Open(const CTargetPath& path)
{
    Close();
    if (path.Loader().size() < MAX_PATH)
    {
        m_module.Attach(LoadTargetModuleByLoaderName(path.Loader()));
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
    if (!m_read)
        return ::ReadManifestVariants(m_module.Get(), variants);
    variants.clear();
    for (const CResourceVariant& found : m_resources.manifests)
        variants.push_back(ReadManifestVariant(
            found.language, found.inFile ? found.bytes.data() : nullptr, found.bytes.size()));
    if (variants.empty())
        SetLastError(m_resources.manifestsMissing);
    return TRUE;
}
