// CManifestToolDlg: the program's main and only top-level window. It holds the
// target path and the backup choice, keeps the action buttons in step with
// the named file, and runs the commands. The command members live in engine/,
// one file each.
#pragma once

#include "DropEdit.h"

#include "framework/Controls.h"
#include "framework/Dialog.h"

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

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnBrowse();
    void OnChangeAppPath();

    DECLARE_MESSAGE_MAP()
};
