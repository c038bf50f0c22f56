// Command availability: which of Enable, Disable and Start fit the file the
// path field names. Runs on every change of the field's text.
#include "TargetModule.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::RefreshCommandStates()
{
    CString path;
    m_editPath.GetWindowText(path);

    // S_OK: manifest 1 present (any language); S_FALSE: absent; negative: the
    // file cannot be loaded.
    HRESULT probe;
    CLibrary module(LoadTargetModule(path));
    if (module)
    {
        const bool found = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_MANIFEST) != nullptr;
        module.Release();
        probe = found ? S_OK : S_FALSE;
    }
    else
    {
        probe = ErrorCodeFromLastError();
    }

    EnableControl(IDC_ENABLE_XP, probe == S_FALSE);
    EnableControl(IDC_DISABLE_XP, probe == S_OK);
    EnableControl(IDC_START, probe >= 0);
}

void CManifestToolDlg::EnableControl(UINT id, BOOL enable)
{
    if (CWnd* control = GetDlgItem(static_cast<int>(id)))
        control->EnableWindow(enable);
}
