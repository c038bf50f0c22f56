#include "TargetFile.h"

#include "TargetModule.h"

BOOL CTargetFile::Open(LPCWSTR path)
{
    Close();
    if (LoaderTakes(path))
    {
        m_module.Attach(LoadTargetModule(path));
        return m_module ? TRUE : FALSE;
    }
    // The loader refuses such a name even in its extended form.
    if (!ReadImageResources(path, m_resources))
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
        return ManifestArchitectureOf(m_resources.machine, m_resources.portableIL);
    return ManifestArchitecture(m_module.Get());
}

BOOL CTargetFile::ReadManifestVariants(std::vector<CManifestVariant>& variants) const
{
    if (!m_read)
        return ::ReadManifestVariants(m_module.Get(), variants);
    variants.clear();
    for (const CResourceVariant& found : m_resources.manifests)
    {
        CManifestVariant variant{found.language, found.bytes, CManifestReading()};
        if (found.inFile)
            variant.reading = ReadManifest(variant.bytes.data(), variant.bytes.size());
        else
            variant.reading.refusal = "data outside the file";
        variants.push_back(std::move(variant));
    }
    if (variants.empty())
        SetLastError(m_resources.manifestsMissing);
    return TRUE;
}
