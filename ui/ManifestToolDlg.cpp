#include "ManifestToolDlg.h"

#include "ProgressDlg.h"

#include "engine/PathNames.h"

#include "framework/AfxRes.h"
#include "errors/ErrorCode.h"
#include "framework/FileDialog.h"
#include "framework/ModuleState.h"
#include "res/resource.h"

#include <cderr.h>

namespace
{
// Windows ends a process that has not answered WM_ENDSESSION within a few
// seconds.
constexpr DWORD kEndSessionWait = 4000;

// The error code whose text says why the file dialog failed.
HRESULT FileDialogErrorCode(DWORD failure)
{
    switch (failure)
    {
    case FNERR_BUFFERTOOSMALL:
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case FNERR_INVALIDFILENAME:
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    case CDERR_MEMALLOCFAILURE:
    case CDERR_MEMLOCKFAILURE:
        return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    default:
        return E_FAIL;
    }
}
} // namespace

// The framework shows these two strings of the program's table by itself.
static_assert(IDS_UNEXPECTED_ERROR == AFX_IDS_UNEXPECTED_ERROR, "string ids drifted apart");
static_assert(IDS_OUT_OF_MEMORY == AFX_IDP_FAILED_MEMORY_ALLOC, "string ids drifted apart");

BEGIN_MESSAGE_MAP(CManifestToolDlg, CDialog)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_START, OnStart)
ON_BN_CLICKED(IDC_ENABLE_XP, OnEnableXpStyle)
ON_BN_CLICKED(IDC_DISABLE_XP, OnDisableXpStyle)
ON_EN_CHANGE(IDC_APP_PATH, OnChangeAppPath)
ON_BN_CLICKED(IDC_ABOUT, OnAbout)
END_MESSAGE_MAP()

CManifestToolDlg::CManifestToolDlg(CWnd* parent)
    : CDialog(IDD_MAIN_DIALOG, parent), m_bSaveCopy(1),
      m_hIcon(LoadIconW(AfxFindResourceHandle(MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON),
                        MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

void CManifestToolDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_APP_PATH, m_editPath);
    DDX_Control(pDX, IDC_SAVE_COPY, m_checkSaveCopy);
    DDX_Text(pDX, IDC_APP_PATH, m_strPath);
    DDX_Check(pDX, IDC_SAVE_COPY, m_bSaveCopy);
}

BOOL CManifestToolDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_editPath.AcceptDropsFromLowerIntegrity();
    // One shared icon handle serves both sizes; the platform never destroys it.
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    RefreshCommandStates();
    return TRUE; // focus on the first tab stop, the path field
}

void CManifestToolDlg::OnOK()
{
    // Enter in the path field or on the check box must not close the window.
}

void CManifestToolDlg::OnCancel()
{
    // Closing while a command works: the work stops first (the window goes
    // once the command has ended).
    if (m_pWork)
        m_pWork->Stop();
    CDialog::OnCancel();
}

LRESULT CManifestToolDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // While a command works the window is disabled, yet a click sent to one
    // of its buttons (an accessibility tool's, or a key on the button that
    // kept the focus) still arrives: no second command starts inside the
    // first. Closing is taken; it stops the work.
    if (m_pWork && message == WM_COMMAND && lParam != 0 && HIWORD(wParam) == BN_CLICKED &&
        LOWORD(wParam) != IDCANCEL)
        return 0;
    // Logging off while a command works: the session is asked to wait, and
    // if it ends anyway the work stops and unwinds first (its new file
    // removed, the program as it was, or the new one in its place), since
    // the process may end as soon as this message is answered.
    if (m_pWork && message == WM_QUERYENDSESSION)
        return FALSE;
    if (m_pWork && message == WM_ENDSESSION && wParam)
    {
        m_pWork->Stop();
        const DWORD start = GetTickCount();
        while (!m_pWork->Finished() && GetTickCount() - start < kEndSessionWait)
            Sleep(10);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CManifestToolDlg::RunWork(UINT textId, CProgressSync& progress,
                               const std::function<void()>& work)
{
    CString text;
    text.Format(textId, FindFileName(m_strPath));
    m_pWork = &progress;
    try
    {
        CProgressDlg::Run(this, text, progress, work);
    }
    catch (...)
    {
        m_pWork = nullptr;
        throw;
    }
    m_pWork = nullptr;
}

void CManifestToolDlg::OnBrowse()
{
    CString current;
    m_editPath.GetWindowText(current);
    CString filter;
    filter.LoadString(IDS_EXE_FILTER);
    CFileDialog dialog(TRUE, nullptr, current,
                       OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       filter, this);
    if (dialog.DoModal() != IDOK)
    {
        // A choice the dialog could not hand back is a failure, not a cancel.
        const DWORD failure = CommDlgExtendedError();
        if (failure != 0)
            ShowErrorBox(FileDialogErrorCode(failure), MB_ICONERROR);
        return;
    }

    const CString chosen = dialog.GetPathName();
    m_editPath.SetWindowText(chosen);
    const int length = chosen.GetLength();
    m_editPath.SendMessage(EM_SETSEL, static_cast<WPARAM>(length), length);
    m_editPath.SendMessage(EM_SCROLLCARET);
    RefreshCommandStates();
}

void CManifestToolDlg::OnChangeAppPath()
{
    RefreshCommandStates();
}
