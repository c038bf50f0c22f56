// The frame of Enable and Disable around their work, on the window's
// thread: before it, the fields read and the question before unsigning;
// after it, the question after a change, the error box after a failure,
// nothing after a cancel.
#include "BackupCopy.h"

#include "errors/ErrorCode.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::RunCommand(UINT progressId, UINT okId, CommandWork work)
{
    if (!UpdateData(TRUE))
        return;
    // Resolved once, here: the work runs on a thread of its own.
    const CTargetPath path(m_strPath);
    // A signed program loses its signature: the user decides before
    // anything is written, the copy included.
    bool proceed = true;
    if (!AskBeforeUnsigning(path, proceed))
    {
        ShowCommandError(ErrorCodeFromLastError(), m_strPath, std::wstring());
        return;
    }
    if (!proceed)
        return;
    const bool copy = BackupWanted();
    CProgressSync progress(copy ? 2 : 1);
    CCommandOutcome outcome;
    RunWork(progressId, progress, [&] { work(path, copy, progress, outcome); });
    EndCommand(path, outcome, okId, progress);
}

void CManifestToolDlg::EndCommand(const CTargetPath& path, const CCommandOutcome& outcome,
                                  UINT okId, const CProgressSync& progress)
{
    if (FAILED(outcome.code))
    {
        // Cancelled before the new file took the program's place (a failed
        // replacement that kept the program elsewhere is no cancel), or
        // refused on purpose: the program is as it was, and so is its
        // folder.
        const bool cancelled = progress.Stopped() && outcome.keptFile.empty();
        if (cancelled || ChangedNothingOnPurpose(outcome.code))
            RemoveBackupCopy(path, outcome.savedName);
        if (!cancelled)
            ShowCommandError(outcome.code, path.Typed().c_str(), outcome.keptFile);
        return;
    }

    RefreshCommandStates();

    CString suffix;
    if (!outcome.savedName.IsEmpty())
        suffix.Format(IDS_COPY_SAVED, static_cast<LPCWSTR>(outcome.savedName));
    CString message;
    message.Format(okId, static_cast<LPCWSTR>(suffix));
    if (AfxMessageBox(message, MB_YESNO | MB_ICONQUESTION) == IDYES)
        LaunchTarget();
}
