#include "DropEdit.h"

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
} // namespace

void CDropEdit::OnDropFiles(HDROP drop)
{
    CDropHandle release(drop);
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
