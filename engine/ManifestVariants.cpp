#include "ManifestVariants.h"

#include "TargetModule.h"
#include "pe/ActivationContext.h"
#include "pe/ResourceUpdate.h"

#include <cstring>
#include <new>

namespace
{
// The enumeration's callback must not let an exception (memory running out)
// cross the platform's frame: it is noted and thrown again after the call.
struct CLanguageList
{
    std::vector<WORD> languages;
    bool outOfMemory = false;
};

BOOL CALLBACK AddManifestLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) noexcept
{
    auto& list = *reinterpret_cast<CLanguageList*>(param);
    try
    {
        list.languages.push_back(language);
        return TRUE;
    }
    catch (...)
    {
        list.outOfMemory = true;
        return FALSE;
    }
}

bool NotFound(DWORD error)
{
    return error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND ||
           error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND;
}

// The variant's bytes as the loader maps them; null when they cannot be
// found or lie outside the mapping (a damaged file).
const BYTE* VariantBytes(HMODULE module, WORD language, DWORD& size)
{
    HRSRC found = FindResourceExW(module, RT_MANIFEST, MAKEINTRESOURCEW(1), language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    size = found ? SizeofResource(module, found) : 0;
    return bytes && IsMappedRange(bytes, size) ? bytes : nullptr;
}
} // namespace

BOOL ReadManifestVariants(HMODULE module, std::vector<CManifestVariant>& variants)
{
    variants.clear();
    CLanguageList list;
    if (!EnumResourceLanguagesW(module, RT_MANIFEST, MAKEINTRESOURCEW(1), AddManifestLanguage,
                                reinterpret_cast<LONG_PTR>(&list)))
    {
        if (list.outOfMemory)
            throw std::bad_alloc();
        // No manifest 1 at all is no failure (Windows says which level is
        // missing, Wine that the data is).
        return NotFound(GetLastError()) && list.languages.empty();
    }
    for (WORD language : list.languages)
    {
        DWORD size = 0;
        const BYTE* bytes = VariantBytes(module, language, size);
        variants.push_back(ReadManifestVariant(language, bytes, size));
    }
    return TRUE;
}

CManifestVariant ReadManifestVariant(WORD language, const uint8_t* bytes, size_t size)
{
    CManifestVariant variant{language, ManifestBytes(), CManifestReading()};
    if (!bytes)
    {
        variant.reading.refusal = "data outside the file";
        return variant;
    }
    variant.bytes.assign(bytes, bytes + size);
    variant.reading = ReadManifest(bytes, size);
    return variant;
}

ManifestLook ProgramLook(const std::vector<CManifestVariant>& variants)
{
    ManifestLook look = variants.empty() ? ManifestLook::Absent : ManifestLook::Classic;
    for (const CManifestVariant& variant : variants)
    {
        if (variant.reading.look == ManifestLook::Themed)
            return ManifestLook::Themed;
        if (variant.reading.look == ManifestLook::NotXml)
            look = ManifestLook::NotXml;
    }
    return look;
}

BOOL PlanThemedLook(const std::vector<CManifestVariant>& variants, LPCSTR composed,
                    LPCSTR architecture, std::vector<CVariantChange>& changes)
{
    changes.clear();
    if (variants.empty())
    {
        changes.push_back({0, false, ManifestBytes(composed, composed + strlen(composed))});
        return TRUE;
    }
    for (const CManifestVariant& variant : variants)
    {
        if (variant.reading.look == ManifestLook::NotXml)
        {
            changes.clear();
            SetLastError(ERROR_SXS_MANIFEST_PARSE_ERROR);
            return FALSE;
        }
        if (variant.reading.look == ManifestLook::Classic)
        {
            changes.push_back({variant.language, false,
                               InsertThemedLook(variant.bytes.data(), variant.bytes.size(),
                                                variant.reading, architecture)});
        }
    }
    return TRUE;
}

std::vector<CVariantChange> PlanClassicLook(const std::vector<CManifestVariant>& variants)
{
    const bool themed = ProgramLook(variants) == ManifestLook::Themed;
    std::vector<CVariantChange> changes;
    for (const CManifestVariant& variant : variants)
    {
        const CManifestReading& reading = variant.reading;
        if (reading.look == ManifestLook::Themed && !reading.nothingLeft)
        {
            changes.push_back({variant.language, false,
                               CutThemedLook(variant.bytes.data(), variant.bytes.size(), reading)});
        }
        else if (reading.look == ManifestLook::Themed ||
                 (reading.look == ManifestLook::NotXml && !themed))
        {
            changes.push_back({variant.language, true, ManifestBytes()});
        }
    }
    return changes;
}

std::vector<WORD> UnreadableLanguages(const std::vector<CManifestVariant>& variants,
                                      const std::vector<CVariantChange>& changes)
{
    std::vector<WORD> languages;
    for (const CVariantChange& change : changes)
        for (const CManifestVariant& variant : variants)
            if (change.remove && variant.language == change.language &&
                variant.reading.look == ManifestLook::NotXml)
                languages.push_back(change.language);
    return languages;
}

bool PlatformReadsUnreadable(LPCWSTR path, WORD machine,
                             const std::vector<CManifestVariant>& variants)
{
    for (const CManifestVariant& variant : variants)
        if (variant.reading.look == ManifestLook::NotXml &&
            BuildsActivationContext(path, variant.language, machine))
            return true;
    return false;
}

BOOL WriteVariantChanges(HANDLE update, const std::vector<CVariantChange>& changes)
{
    for (const CVariantChange& change : changes)
    {
        void* data = change.remove ? nullptr : const_cast<uint8_t*>(change.bytes.data());
        const DWORD size = change.remove ? 0 : static_cast<DWORD>(change.bytes.size());
        if (!UpdateResourceEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), change.language, data,
                                 size))
            return FALSE;
    }
    return TRUE;
}
