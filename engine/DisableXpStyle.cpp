// Disable: takes the themed look away again. The dependency on
// Common-Controls 6 is cut out of each language variant of manifest 1 that
// asks for it; a variant left with nothing but its identity and description
// is deleted, as one that is not XML is when none asks and Windows refuses it
// too. Everything else the manifest holds stays. Then it offers to start the
// target.
#include "BackupCopy.h"
#include "ManifestVariants.h"
#include "NativePath.h"
#include "TargetFile.h"
#include "pe/ResourceUpdate.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

namespace
{
// The steps of Disable, on the command's own thread: they touch no window.
void DisableWork(const CTargetPath& path, bool copy, CProgressSync& progress,
                 CCommandOutcome& outcome)
{
    CTargetFile target;
    CResourceUpdate update;

    try
    {
        if (!SaveBackupCopy(path, copy, progress, outcome.savedName))
            throw ErrorCodeFromLastError();
        // Loaded as data: no code of the target runs.
        if (!target.Open(path))
            throw ErrorCodeFromLastError();
        update.Attach(BeginResourceUpdate(path.Native().c_str(), FALSE));
        if (!update)
            throw BeginUpdateErrorCode(path);
        std::vector<CManifestVariant> variants;
        if (!target.ReadManifestVariants(variants))
            throw ErrorCodeFromLastError();
        // Manifest 1 gone since the probe: the listing's not-found error.
        if (variants.empty())
            throw ErrorCodeFromLastError();
        // Released before the commit: the file must not be mapped while it
        // is replaced.
        target.Close();
        const std::vector<CVariantChange> changes = PlanClassicLook(variants);
        // No change when nothing asks for the themed look (the file changed
        // since the probe). What is deleted as unreadable must be what the
        // platform refuses too.
        CommitVariantChanges(update, changes, UnreadableLanguages(variants, changes), progress,
                             outcome.keptFile);
    }
    catch (HRESULT code)
    {
        // The module first, then the update still open; the file keeps its
        // old bytes.
        target.Close();
        update.Discard();
        outcome.code = code;
    }
}
} // namespace

void CManifestToolDlg::OnDisableXpStyle()
{
    RunCommand(IDS_PROGRESS_DISABLE, IDS_DISABLED_OK, DisableWork);
}
