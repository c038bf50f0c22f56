#include "Dialog.h"
#include "EscapedException.h"
#include "ModuleState.h"
#include "WinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!control.m_hWnd)
        control.SubclassWindow(pDX->PrepareCtrl(id));
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
    {
        const int length = GetWindowTextLengthW(control);
        GetWindowTextW(control, value.GetBuffer(length), length + 1);
        value.ReleaseBuffer();
    }
    else
    {
        SetWindowTextW(control, value);
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    else
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    m_bModalRunning = false;
    // Wakes the modal loop if it is waiting for a message.
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::ContinueModal()
{
    return m_bModalRunning;
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    return IsDialogMessageW(m_hWnd, msg);
}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM)
{
    // Not handled by the map: the dialog manager's own processing applies.
    m_bDefaultRequested = true;
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
    {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        try
        {
            dialog->Attach(hWnd);
            return dialog->OnInitDialog();
        }
        catch (...)
        {
            if (dialog->m_bKeepSetupFailure)
                dialog->m_setupFailure = std::current_exception();
            else
                AfxReportCurrentException(message);
            // A dialog that could not even be attached cannot be run.
            if (!dialog->m_hWnd)
                dialog->m_bModalRunning = false;
            return TRUE;
        }
    }
    auto* dialog = static_cast<CDialog*>(CWnd::FromHandlePermanent(hWnd));
    if (!dialog)
        return FALSE;

    const bool previous = dialog->m_bDefaultRequested;
    dialog->m_bDefaultRequested = false;
    const LRESULT result = AfxCallWindowProc(dialog, message, wParam, lParam);
    const bool handled = !dialog->m_bDefaultRequested;
    dialog->m_bDefaultRequested = previous;
    if (message == WM_NCDESTROY)
    {
        dialog->Detach();
        return FALSE;
    }
    if (!handled)
        return FALSE;
    SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

HWND CDialog::FindOwner() const
{
    if (m_pParentWnd)
        return m_pParentWnd->m_hWnd;
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (!main || main == this || !main->m_hWnd)
        return nullptr;
    return GetLastActivePopup(main->m_hWnd);
}

HWND CDialog::CreateFromTemplate(HWND owner)
{
    LPCWSTR name = MAKEINTRESOURCEW(m_nIDHelp);
    HINSTANCE module = AfxFindResourceHandle(name, RT_DIALOG);
    HRSRC found = FindResourceW(module, name, RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    auto* dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate)
        return nullptr;
    m_nModalResult = -1;
    m_bModalRunning = true;
    return CreateDialogIndirectParamW(module, dialogTemplate, owner, &CDialog::DialogProc,
                                      reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create()
{
    m_bKeepSetupFailure = true;
    HWND hWnd = CreateFromTemplate(FindOwner());
    m_bKeepSetupFailure = false;
    if (m_setupFailure)
    {
        if (hWnd && IsWindow(hWnd))
            DestroyWindow(hWnd);
        std::exception_ptr failure = m_setupFailure;
        m_setupFailure = nullptr;
        std::rethrow_exception(failure);
    }
    return hWnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = FindOwner();
    const bool disabledOwner = owner && ::IsWindowEnabled(owner);
    if (disabledOwner)
        ::EnableWindow(owner, FALSE);

    HWND hWnd = CreateFromTemplate(owner);
    if (hWnd)
    {
        if (ContinueModal())
        {
            ShowWindow(SW_SHOWNORMAL);
            RunModalLoop();
        }
    }
    // The owner is enabled before the dialog goes, so that activation returns
    // to it rather than to another program's window.
    if (disabledOwner)
        ::EnableWindow(owner, TRUE);
    if (hWnd && ::GetActiveWindow() == hWnd && owner)
        ::SetActiveWindow(owner);
    if (hWnd && IsWindow(hWnd))
    {
        ShowWindow(SW_HIDE);
        DestroyWindow(hWnd);
    }
    return hWnd ? m_nModalResult : -1;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (ContinueModal())
    {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
        {
            CWnd::DeleteTempMap(); // idle: temporary wrappers may go
            WaitMessage();
            continue;
        }
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0)
        {
            // WM_QUIT ends the modal run; the quit goes on to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            break;
        }
        // Offer the message to the objects from its window up to this dialog.
        // What a handler lets escape here is reported like a window
        // procedure's, and the loop goes on.
        bool consumed = false;
        try
        {
            for (HWND target = msg.hwnd; target; target = ::GetParent(target))
            {
                CWnd* wnd = CWnd::FromHandlePermanent(target);
                if (wnd && wnd->PreTranslateMessage(&msg))
                {
                    consumed = true;
                    break;
                }
                if (target == m_hWnd)
                    break;
            }
        }
        catch (...)
        {
            AfxReportCurrentException(msg.message);
            consumed = true;
        }
        if (!consumed)
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
