// CDialog: a dialog from a template of the resource module, run modally by a
// modal loop of our own that offers every message to PreTranslateMessage
// (from the target window up through its attached parents) before the dialog
// manager sees it. Data exchange moves values between controls and members.
#pragma once

#include "Wnd.h"

#include <exception>

class CDataExchange
{
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }
    BOOL m_bSaveAndValidate; // TRUE: from the controls into the members
    CWnd* m_pDlgWnd;
    HWND PrepareCtrl(int id) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, id); }
};

// Attaches control to the dialog's child id (once).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// 1 checked, 0 not checked, 2 indeterminate.
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CDialog : public CWnd
{
public:
    // A dialog constructed without a parent is owned by the application's main
    // window (unless it is that window itself).
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    virtual INT_PTR DoModal();
    // Makes the dialog without showing it or running a loop (modeless); the
    // caller shows it, may run RunModalLoop, and destroys it (the destructor
    // does too). What its setup (attaching, OnInitDialog) lets escape is
    // thrown again from here rather than reported, and the window goes.
    // FALSE when the platform made no window.
    BOOL Create();
    // Offers each message as DoModal's loop does while ContinueModal says so.
    void RunModalLoop();
    void EndDialog(int result);
    // Whether the modal loop goes on; asked before each message. A dialog
    // that ends on something other than a message (work done on another
    // thread) adds its own condition, and has the loop woken by a message.
    virtual BOOL ContinueModal();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    BOOL PreTranslateMessage(MSG* msg) override;

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND FindOwner() const;
    // The window from the dialog's template, owned by owner; null when the
    // template or the window cannot be made.
    HWND CreateFromTemplate(HWND owner);

    bool m_bModalRunning = false;
    bool m_bKeepSetupFailure = false; // Create's: kept in m_setupFailure
    std::exception_ptr m_setupFailure;
    int m_nModalResult = -1;
    bool m_bDefaultRequested = false;
};
