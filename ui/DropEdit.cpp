#include "DropEdit.h"

#include "errors/SystemLibrary.h"
#include "framework/CallObserver.h"

BEGIN_MESSAGE_MAP(CDropEdit, CEdit)
ON_WM_DROPFILES()
END_MESSAGE_MAP()

namespace
{
// The shell's drop handle, released with DragFinish on every path.
class CDropHandle
{
public:
    explicit CDropHandle(HDROP drop) : m_drop(drop) {}
    ~CDropHandle() { DragFinish(m_drop); }
    CDropHandle(const CDropHandle&) = delete;
    CDropHandle& operator=(const CDropHandle&) = delete;

private:
    HDROP m_drop;
};

// The shell's drop sends WM_COPYGLOBALDATA (undocumented in the headers) and
// WM_COPYDATA before WM_DROPFILES.
constexpr UINT kCopyGlobalData = 0x0049;
// MSGFLT_ALLOW for the per-window filter, MSGFLT_ADD for the per-process one.
constexpr DWORD kAllowMessage = 1;
using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
} // namespace

void CDropEdit::AcceptDropsFromLowerIntegrity()
{
    // Editing a program under Program Files needs the tool run as
    // administrator, and UIPI then silently drops these messages from
    // Explorer. Windows 7 and later let them through to one window, Vista
    // only to the whole process; XP has no UIPI. Looked up at run time.
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto perWindow =
        GetProcAddressAs<ChangeWindowMessageFilterExFn>(user32, "ChangeWindowMessageFilterEx");
    auto perProcess =
        perWindow
            ? nullptr
            : GetProcAddressAs<ChangeWindowMessageFilterFn>(user32, "ChangeWindowMessageFilter");
    for (UINT message : {UINT(WM_DROPFILES), UINT(WM_COPYDATA), kCopyGlobalData})
    {
        if (perWindow)
        {
            ObserveCall("ChangeWindowMessageFilterEx", m_hWnd, message, kAllowMessage);
            perWindow(m_hWnd, message, kAllowMessage, nullptr);
        }
        else if (perProcess)
        {
            ObserveCall("ChangeWindowMessageFilter", message, kAllowMessage);
            perProcess(message, kAllowMessage);
        }
    }
}

void CDropEdit::OnDropFiles(HDROP drop)
{
    CDropHandle release(drop);
    // A window that takes no input (a command working, a box up) takes no
    // drop either: the path must stay the one the command works on.
    if (!::IsWindowEnabled(::GetAncestor(m_hWnd, GA_ROOT)))
        return;
    // As long as the name is: a path may pass MAX_PATH.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0)
        return;
    CString name;
    DragQueryFileW(drop, 0, name.GetBuffer(static_cast<int>(length)), length + 1);
    name.ReleaseBuffer(static_cast<int>(length));
    SetWindowText(name);
    // Caret after the last character, nothing selected, the file name in view.
    SendMessage(EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessage(EM_SCROLLCARET);
}
