#include "ManifestVariants.h"

#include "TargetModule.h"
#include "pe/ActivationContext.h"
#include "pe/ResourceUpdate.h"

#include "errors/ErrorCode.h"

#include <new>
#include <utility>

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

bool PlatformReadsUnreadable(LPCWSTR path, WORD machine,
                             const std::vector<CManifestVariant>& variants)
{
    for (const CManifestVariant& variant : variants)
        if (variant.reading.look == ManifestLook::NotXml &&
            (!JudgesProcessor(machine) ||
             JudgeActivationContext(path, variant.language, machine) != ContextVerdict::Refused))
            return true;
    return false;
}

void CommitVariantChanges(CResourceUpdate& update, const std::vector<CVariantChange>& changes,
                          std::vector<WORD> unreadable, CProgressSync& progress,
                          std::wstring& keptFile)
{
    for (const CVariantChange& change : changes)
    {
        void* data = change.remove ? nullptr : const_cast<uint8_t*>(change.bytes.data());
        const DWORD size = change.remove ? 0 : static_cast<DWORD>(change.bytes.size());
        if (!UpdateResourceEntry(update.Get(), RT_MANIFEST, MAKEINTRESOURCEW(1), change.language,
                                 data, size))
            throw ErrorCodeFromLastError();
    }
    progress.SetLastPhase();
    if (changes.empty())
    {
        update.Discard();
        if (progress.Stopped())
            throw HRESULT_FROM_WIN32(ERROR_CANCELLED);
        return;
    }
    ResourceCommitOptions options;
    options.checkManifest = true;
    options.unreadableManifests = std::move(unreadable);
    options.progress = CProgressSync::Going;
    options.context = &progress;
    // From here the update counts as closed, whatever the commit gives.
    if (!update.Commit(&keptFile, &options))
        throw ErrorCodeFromLastError();
}
