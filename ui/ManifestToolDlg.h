// CManifestToolDlg: the program's main and only top-level window. It holds the
// target path and the backup choice, keeps the action buttons in step with
// the named file, and runs the commands. The command members live in engine/,
// one file each.
#pragma once

#include "DropEdit.h"

#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <string>

class CManifestToolDlg : public CDialog
{
public:
    explicit CManifestToolDlg(CWnd* parent = nullptr);

    CDropEdit m_editPath;
    CButton m_checkSaveCopy;
    CString m_strPath;
    int m_bSaveCopy;
    HICON m_hIcon;

    // Looks into the file the path field names and enables Enable, Disable
    // and Start to match.
    void RefreshCommandStates();
    void EnableControl(UINT id, BOOL enable);

    // Copies the target to "<path>.bak" when the check box is ticked and no
    // copy exists; savedName gets the copy's file name only when one was
    // made now. 0 on failure, with the copy's last error.
    BOOL SaveBackupCopy(CString& savedName);
    // Asks whether to go on when the change would remove the target's
    // signature; proceed is false when the user said No. A program that is
    // not signed goes on without a question. 0 when the file cannot be read,
    // with its last error.
    BOOL AskBeforeUnsigning(bool& proceed);
    // Starts the target as an independent process; reports its own failure.
    void LaunchTarget();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnBrowse();
    void OnStart();
    void OnEnableXpStyle();
    void OnDisableXpStyle();
    void OnChangeAppPath();
    void OnAbout();

    DECLARE_MESSAGE_MAP()
};

// What Enable and Disable throw when the target is marked read-only: a code
// of the tool's own (the customer bit set), which the box explains in the
// tool's words.
constexpr HRESULT kReadOnlyTarget = static_cast<HRESULT>(0xA0041001);

// The code for a failed begin of the update on path, made from the last
// error at once: kReadOnlyTarget when access was denied to a file marked
// read-only.
HRESULT BeginUpdateErrorCode(LPCWSTR path);

// The error box of a failed Enable or Disable on the program at path;
// keptFile, when not empty, is where a failed replacement left the program,
// and the box says so.
void ShowCommandError(HRESULT code, LPCWSTR path, const std::wstring& keptFile);
