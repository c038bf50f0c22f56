// The backup copy made before a command changes its target: "<path>.bak"
// beside it, never overwriting an earlier copy.
#include "PathNames.h"

#include "TargetModule.h"

#include "ui/ManifestToolDlg.h"

BOOL CManifestToolDlg::SaveBackupCopy(CString& savedName)
{
    // The check box itself is asked, not the data member: this runs after
    // the fields were read, but the box is what the user sees.
    if (m_checkSaveCopy.SendMessage(BM_GETCHECK, 0, 0) != BST_CHECKED)
        return TRUE;

    const CString backupPath = m_strPath + L".bak";
    // Names that pass MAX_PATH reach the platform in their extended form.
    const std::wstring source = PlatformPath(m_strPath), copy = PlatformPath(backupPath);
    if (CopyFileW(source.c_str(), copy.c_str(), TRUE))
    {
        savedName = FindFileName(backupPath);
        return TRUE;
    }
    // An existing copy (from an earlier change) is kept as it is; the
    // command goes ahead without naming a copy. Any other failure leaves
    // the copy's last error for the caller.
    return GetLastError() == ERROR_FILE_EXISTS;
}

void CManifestToolDlg::RemoveBackupCopy(const CString& savedName)
{
    if (!savedName.IsEmpty())
        DeleteFileW(PlatformPath(m_strPath + L".bak").c_str());
}
