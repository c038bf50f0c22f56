// The language variants of a program's manifest 1 as the platform gives
// them: read from the program loaded as data (LoadTargetModule), judged by
// the platform, and changed through a pending resource update. What they say
// and what changes is manifest/ManifestPlan.h.
#pragma once

#include "ProgressSync.h"
#include "manifest/ManifestPlan.h"
#include "pe/ResourceUpdate.h"

#include <windows.h>

#include <vector>

// Every language variant of manifest 1 in module, in the order the platform
// lists them; none when the module has no manifest 1. A variant whose bytes
// lie outside the mapped file reads as not XML. FALSE with the last error
// when the listing itself fails.
BOOL ReadManifestVariants(HMODULE module, std::vector<CManifestVariant>& variants);

// Whether a variant of the program at path (a program for machine) that the
// reader cannot read is one Windows may accept: it builds an activation
// context from it, or cannot be asked here. The probe offers no command for
// it, as Disable would delete it.
bool PlatformReadsUnreadable(LPCWSTR path, WORD machine,
                             const std::vector<CManifestVariant>& variants);

// Puts changes into update and commits it, the platform judging the new
// manifest before the file takes the program's place (ResourceCommitOptions;
// unreadable: the languages deleted as unreadable), the new file's bytes
// reported to progress as its last phase. With no change the update is discarded and
// the file left as it is, but a Cancel asked meanwhile still counts. Throws
// the failure's code (HRESULT); keptFile as EndResourceUpdateEx.
void CommitVariantChanges(CResourceUpdate& update, const std::vector<CVariantChange>& changes,
                          std::vector<WORD> unreadable, CProgressSync& progress,
                          std::wstring& keptFile);
