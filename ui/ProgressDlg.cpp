#include "ProgressDlg.h"

#include "res/resource.h"

#include <process.h>

#include <algorithm>
#include <exception>

namespace
{
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTimerInterval = 100;

// The work's thread: runs the work, keeps what it lets escape, marks the
// record finished and wakes the window's thread. Owns the thread's handle
// and waits for the thread before it goes.
class CWorkThread
{
public:
    CWorkThread(const std::function<void()>& work, CProgressSync& sync)
        : m_work(work), m_sync(sync), m_window(GetCurrentThreadId())
    {
        unsigned id = 0;
        m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, this, 0, &id));
    }
    ~CWorkThread()
    {
        if (m_thread)
        {
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
        }
    }
    CWorkThread(const CWorkThread&) = delete;
    CWorkThread& operator=(const CWorkThread&) = delete;

    bool Started() const { return m_thread != nullptr; }

    // Answers the window thread's messages until the work has ended or
    // timeout (INFINITE: none) has passed; whether it has ended.
    bool PumpUntilEnded(DWORD timeout) const
    {
        const DWORD start = GetTickCount();
        for (;;)
        {
            const DWORD elapsed = GetTickCount() - start;
            if (m_sync.Finished() || (timeout != INFINITE && elapsed >= timeout))
                return m_sync.Finished();
            const DWORD wait = timeout == INFINITE ? INFINITE : timeout - elapsed;
            if (MsgWaitForMultipleObjects(1, &m_thread, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0)
                return true;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            {
                if (msg.message == WM_QUIT)
                {
                    // For the loop that waits for it, once the work is done.
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    return false;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    // Waits for the thread, and throws again what the work let escape.
    void Rethrow() const
    {
        if (m_thread)
            WaitForSingleObject(m_thread, INFINITE);
        if (m_escaped)
            std::rethrow_exception(m_escaped);
    }

private:
    // Nothing may cross the thread's start: the work's escape is kept.
    static unsigned __stdcall Main(void* self) noexcept
    {
        auto& thread = *static_cast<CWorkThread*>(self);
        try
        {
            thread.m_work();
        }
        catch (...)
        {
            thread.m_escaped = std::current_exception();
        }
        thread.m_sync.Finish();
        // Wakes the progress window's modal loop, which then finds the work
        // finished.
        PostThreadMessageW(thread.m_window, WM_NULL, 0, 0);
        return 0;
    }

    const std::function<void()>& m_work;
    CProgressSync& m_sync;
    const DWORD m_window;
    HANDLE m_thread = nullptr;
    std::exception_ptr m_escaped;
};
} // namespace

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

void CProgressDlg::Run(CWnd* owner, const CString& text, CProgressSync& sync,
                       const std::function<void()>& work)
{
    CProgressDlg dialog(owner, text, sync);
    CWorkThread thread(work, sync);
    if (!thread.Started())
    {
        work();
        return;
    }
    // The first half second nothing shows: most commands end here, and pay
    // for no window.
    owner->EnableWindow(FALSE);
    if (!thread.PumpUntilEnded(kShowAfter))
    {
        if (dialog.Show())
            dialog.RunModalLoop();
        else
            thread.PumpUntilEnded(INFINITE);
    }
    // The owner is enabled before the window goes, so that the activation
    // comes back to it rather than to another program's window.
    owner->EnableWindow(TRUE);
    if (dialog.m_hWnd && ::GetActiveWindow() == dialog.m_hWnd)
        ::SetActiveWindow(owner->m_hWnd);
    if (dialog.m_hWnd)
        dialog.ShowWindow(SW_HIDE);
    thread.Rethrow();
}

bool CProgressDlg::Show() noexcept
{
    // The window is a help, not a step of the work: where it cannot be made
    // (memory running out while it is set up), the work goes on without it
    // and the command reports only its own outcome.
    try
    {
        if (!Create())
            return false;
    }
    catch (...)
    {
        return false;
    }
    ShowWindow(SW_SHOW);
    ::SetFocus(::GetDlgItem(m_hWnd, IDCANCEL));
    return true;
}

CProgressDlg::CProgressDlg(CWnd* owner, const CString& text, CProgressSync& sync)
    : CDialog(IDD_PROGRESS, owner), m_strText(text), m_sync(sync)
{
}

void CProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_bar);
}

BOOL CProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Over the middle of the main window, within the screen that shows it.
    RECT owner, own, screen;
    ::GetWindowRect(::GetWindow(m_hWnd, GW_OWNER), &owner);
    ::GetWindowRect(m_hWnd, &own);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&owner, MONITOR_DEFAULTTONEAREST), &monitor);
    screen = monitor.rcWork;
    const int width = own.right - own.left, height = own.bottom - own.top;
    int x = (owner.left + owner.right - width) / 2, y = (owner.top + owner.bottom - height) / 2;
    x = std::max<int>(screen.left, std::min<int>(x, screen.right - width));
    y = std::max<int>(screen.top, std::min<int>(y, screen.bottom - height));
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetDlgItemTextW(m_hWnd, IDC_PROGRESS_TEXT, m_strText);
    m_bar.SetPos(m_sync.Permille());
    SetTimer(m_hWnd, kTimer, kTimerInterval, nullptr);
    // The focus stays where it is until the window shows.
    return FALSE;
}

BOOL CProgressDlg::ContinueModal()
{
    return CDialog::ContinueModal() && !m_sync.Finished();
}

void CProgressDlg::OnTimer(UINT_PTR)
{
    m_bar.SetPos(m_sync.Permille());
}

void CProgressDlg::OnOK()
{
    // Enter does not end the work; only Cancel asks it to stop.
}

void CProgressDlg::OnCancel()
{
    // The work stops at its next step and unwinds as from a failure; the
    // window goes when it has.
    m_sync.Stop();
    if (HWND cancel = ::GetDlgItem(m_hWnd, IDCANCEL))
        ::EnableWindow(cancel, FALSE);
}
