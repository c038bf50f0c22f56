#include "BackupCopy.h"

#include "PathNames.h"

#include "ui/ManifestToolDlg.h"

namespace
{
// CopyFileExW's progress routine: no exception may cross the platform's
// frame, and nothing here throws.
DWORD CALLBACK CopyProgress(LARGE_INTEGER total, LARGE_INTEGER copied, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID data) noexcept
{
    return CProgressSync::Going(static_cast<uint64_t>(copied.QuadPart),
                                static_cast<uint64_t>(total.QuadPart), data)
               ? PROGRESS_CONTINUE
               : PROGRESS_CANCEL;
}
} // namespace

bool CManifestToolDlg::BackupWanted()
{
    // The check box itself is asked, not the data member: this runs after
    // the fields were read, but the box is what the user sees.
    return m_checkSaveCopy.SendMessage(BM_GETCHECK, 0, 0) == BST_CHECKED;
}

BOOL SaveBackupCopy(const CTargetPath& path, bool wanted, CProgressSync& progress,
                    CString& savedName)
{
    if (!wanted)
        return TRUE;

    // Names that pass MAX_PATH reach the platform in their extended form.
    const std::wstring& source = path.Platform();
    const std::wstring copy = path.PlatformWith(L".bak");
    progress.SetPhase(0);
    BOOL cancel = FALSE;
    if (CopyFileExW(source.c_str(), copy.c_str(), CopyProgress, &progress, &cancel,
                    COPY_FILE_FAIL_IF_EXISTS))
    {
        savedName = FindFileName((path.Typed() + L".bak").c_str());
        return TRUE;
    }
    // An existing copy (from an earlier change) is kept as it is; the
    // command goes ahead without naming a copy. Any other failure leaves
    // the copy's last error for the caller.
    return GetLastError() == ERROR_FILE_EXISTS;
}

void RemoveBackupCopy(const CTargetPath& path, const CString& savedName)
{
    if (savedName.IsEmpty())
        return;
    // A scanner may still be reading the copy just made: it is waited for
    // a moment, as the writer waits for its own side files.
    const std::wstring copy = path.PlatformWith(L".bak");
    for (int retry = 0; !DeleteFileW(copy.c_str()) && retry < 8; ++retry)
    {
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)
            break;
        Sleep(250);
    }
}
