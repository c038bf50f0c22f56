#include "ManifestPlan.h"

#include <cstring>

CManifestVariant ReadManifestVariant(uint16_t language, const uint8_t* bytes, size_t size)
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

bool PlanThemedLook(const std::vector<CManifestVariant>& variants, const char* composed,
                    const char* architecture, std::vector<CVariantChange>& changes)
{
    changes.clear();
    if (variants.empty())
    {
        changes.push_back({0, false, ManifestBytes(composed, composed + strlen(composed))});
        return true;
    }
    for (const CManifestVariant& variant : variants)
    {
        if (variant.reading.look == ManifestLook::NotXml)
        {
            changes.clear();
            return false;
        }
        if (variant.reading.look == ManifestLook::Classic)
        {
            changes.push_back({variant.language, false,
                               InsertThemedLook(variant.bytes.data(), variant.bytes.size(),
                                                variant.reading, architecture)});
        }
    }
    return true;
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

std::vector<uint16_t> UnreadableLanguages(const std::vector<CManifestVariant>& variants,
                                          const std::vector<CVariantChange>& changes)
{
    std::vector<uint16_t> languages;
    for (const CVariantChange& change : changes)
        for (const CManifestVariant& variant : variants)
            if (change.remove && variant.language == change.language &&
                variant.reading.look == ManifestLook::NotXml)
                languages.push_back(change.language);
    return languages;
}
