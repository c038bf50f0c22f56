#include "ProgressBar.h"

#include "framework/Gdi.h"

#include <commctrl.h>

BEGIN_MESSAGE_MAP(CProgressBar, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

void CProgressBar::SetPos(int permille)
{
    permille = permille < 0 ? 0 : permille > 1000 ? 1000 : permille;
    if (permille == m_permille)
        return;
    m_permille = permille;
    InvalidateRect(nullptr, FALSE);
}

void CProgressBar::OnPaint()
{
    CPaintDC dc(this);
    RECT client;
    GetClientRect(&client);
    // The done part in the selection colour, the rest in the window's, as
    // the classic progress bar draws; the control's own edge frames both.
    RECT done = client;
    done.right = client.left + MulDiv(client.right - client.left, m_permille, 1000);
    RECT rest = client;
    rest.left = done.right;
    FillRect(dc, &done, GetSysColorBrush(COLOR_HIGHLIGHT));
    FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
}

LRESULT CProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_GETPOS)
        return m_permille;
    return CStatic::WindowProc(message, wParam, lParam);
}
