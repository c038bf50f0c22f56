// CProgressDlg: the window of a command's long work. The work runs on a
// thread of its own while the window's thread goes on answering messages,
// with the main window disabled as under any modal dialog. Work that ends
// within half a second makes no window; after that this dialog shows the
// program's name, a bar that follows the bytes done, and Cancel, which asks
// the work to stop and waits for it to unwind. The work and the window share
// only a CProgressSync.
#pragma once

#include "ProgressBar.h"

#include "engine/ProgressSync.h"
#include "framework/Dialog.h"

#include <functional>

class CProgressDlg : public CDialog
{
public:
    // Runs work on its own thread while owner stays alive and takes no
    // input, showing the dialog with text once half a second has passed;
    // returns when the work has ended. What work lets escape is thrown again
    // here. Where no thread can be made, work runs here, as it would without
    // this window.
    static void Run(CWnd* owner, const CString& text, CProgressSync& sync,
                    const std::function<void()>& work);

    // A shorter wait would flash the window for work that ends at once.
    static constexpr DWORD kShowAfter = 500;

    CProgressBar m_bar;

protected:
    CProgressDlg(CWnd* owner, const CString& text, CProgressSync& sync);
    // Makes and shows the window; false when it cannot be made.
    bool Show() noexcept;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL ContinueModal() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()

private:
    CString m_strText;
    CProgressSync& m_sync;
};
