#include "HyperLink.h"

#include "framework/CallObserver.h"

#include <shellapi.h>

BEGIN_MESSAGE_MAP(CHyperLink, CStatic)
ON_WM_PAINT()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_KILLFOCUS()
ON_WM_SETFOCUS()
END_MESSAGE_MAP()

CHyperLink::CHyperLink() : m_rcText{0, 0, 0, 0} {}

void CHyperLink::OnPaint()
{
    CPaintDC dc(this);

    // The dialog's GUI font, underlined; made anew on every paint and
    // deleted once the previous font is back in the context.
    LOGFONTW description;
    ZeroMemory(&description, sizeof description);
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
    description.lfUnderline = 1;
    CFont font;
    font.CreateFontIndirectW(&description);
    const CSelectedObject selected(dc, font); // the previous font back before the font goes

    CString caption;
    GetWindowText(caption);
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, caption, caption.GetLength(), &extent);
    int top = 0;
    if (GetWindowLongW(m_hWnd, GWL_STYLE) & SS_CENTERIMAGE)
    {
        RECT client;
        GetClientRect(&client);
        top = (client.bottom - client.top - extent.cy) / 2;
    }
    m_rcText = {0, top, extent.cx, top + extent.cy};

    // The system's colour for links rather than a fixed blue: high-contrast
    // themes set it to one that reads on their background.
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
    TextOutW(dc, m_rcText.left, m_rcText.top, caption, caption.GetLength());

    if (::GetFocus() == m_hWnd)
    {
        // The frame's four edges; each walk leaves out its end point, so
        // every border pixel is visited once.
        const LPARAM hdc = reinterpret_cast<LPARAM>(dc.GetSafeHdc());
        const RECT& r = m_rcText;
        LineDDA(r.left, r.top, r.right - 1, r.top, PlotFocusDot, hdc);
        LineDDA(r.right - 1, r.top, r.right - 1, r.bottom - 1, PlotFocusDot, hdc);
        LineDDA(r.right - 1, r.bottom - 1, r.left, r.bottom - 1, PlotFocusDot, hdc);
        LineDDA(r.left, r.bottom - 1, r.left, r.top, PlotFocusDot, hdc);
    }
}

void CALLBACK CHyperLink::PlotFocusDot(int x, int y, LPARAM data) noexcept
{
    // Every other pixel, anchored to the client coordinates.
    if ((x + y) % 2 == 0)
        SetPixel(reinterpret_cast<HDC>(data), x, y, 0);
}

void CHyperLink::OnMouseMove(UINT, CPoint point)
{
    // The cursor belongs to the window class: it stays until the next move
    // over the link sets it again.
    const bool onText = PtInRect(&m_rcText, point) != FALSE;
    HCURSOR cursor = LoadCursorW(nullptr, onText ? IDC_HAND : IDC_ARROW);
    SetClassLongPtrW(m_hWnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
}

void CHyperLink::OnLButtonDown(UINT, CPoint)
{
    SetFocus();
}

void CHyperLink::OnLButtonUp(UINT, CPoint point)
{
    // Only where the button comes up counts.
    if (PtInRect(&m_rcText, point))
        OpenLink();
}

void CHyperLink::OnKillFocus(CWnd*)
{
    InvalidateText();
}

void CHyperLink::OnSetFocus(CWnd*)
{
    InvalidateText();
}

BOOL CHyperLink::PreTranslateMessage(MSG* msg)
{
    // Consumed here, so Enter on the link never presses the default button.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE))
    {
        OpenLink();
        return TRUE;
    }
    return CStatic::PreTranslateMessage(msg);
}

void CHyperLink::OpenLink()
{
    CString caption;
    GetWindowText(caption);
    m_apartment.Enter();
    // A failure shows nothing: the result is not looked at.
    ObserveCall("ShellExecuteW", m_hWnd, L"open", static_cast<LPCWSTR>(caption));
    ShellExecuteW(m_hWnd, L"open", caption, nullptr, nullptr, SW_SHOW);
}

void CHyperLink::InvalidateText()
{
    RECT area = m_rcText;
    ClientToScreen(&area);
    CWnd* parent = GetParent();
    if (!parent)
        return;
    parent->ScreenToClient(&area);
    parent->InvalidateRect(&area, TRUE);
}
