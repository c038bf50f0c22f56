// Disable: takes the themed look away again. The dependency on
// Common-Controls 6 is cut out of each language variant of manifest 1 that
// asks for it; a variant left with nothing but its identity and description
// is deleted, as one that is not XML is when none asks. Everything else the
// manifest holds stays. Then it offers to start the target.
#include "ManifestVariants.h"
#include "NativePath.h"
#include "TargetFile.h"
#include "pe/ResourceUpdate.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::OnDisableXpStyle()
{
    if (!UpdateData(TRUE))
        return;

    CString savedName;
    CTargetFile target;
    CResourceUpdate update;
    std::wstring keptFile;

    try
    {
        // A signed program loses its signature: the user decides before
        // anything is written, the copy included.
        bool proceed = true;
        if (!AskBeforeUnsigning(proceed))
            throw ErrorCodeFromLastError();
        if (!proceed)
            return;
        if (!SaveBackupCopy(savedName))
            throw ErrorCodeFromLastError();
        // Loaded as data: no code of the target runs.
        if (!target.Open(m_strPath))
            throw ErrorCodeFromLastError();
        update.Attach(BeginResourceUpdate(NativeTargetPath(m_strPath).c_str(), FALSE));
        if (!update)
            throw BeginUpdateErrorCode(m_strPath);
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
        if (!WriteVariantChanges(update.Get(), changes))
            throw ErrorCodeFromLastError();
        // Nothing asks for the themed look (the file changed since the
        // probe): the file is left as it is.
        if (changes.empty())
            update.Discard();
        else if (!update.Commit(&keptFile))
            throw ErrorCodeFromLastError();

        RefreshCommandStates();

        CString suffix;
        if (!savedName.IsEmpty())
            suffix.Format(IDS_COPY_SAVED, static_cast<LPCWSTR>(savedName));
        CString message;
        message.Format(IDS_DISABLED_OK, static_cast<LPCWSTR>(suffix));
        if (AfxMessageBox(message, MB_YESNO | MB_ICONQUESTION) == IDYES)
            LaunchTarget();
    }
    catch (HRESULT code)
    {
        // The module first, then the update still open; the file keeps its
        // old bytes.
        target.Close();
        update.Discard();
        ShowCommandError(code, m_strPath, keptFile);
    }
}
