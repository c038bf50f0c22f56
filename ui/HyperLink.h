// CHyperLink: a static text control made into a link. It draws its caption
// underlined in the system's link colour, shows the hand cursor over the text, takes the focus
// (with a dotted frame) and opens its caption through the shell on a click
// on the text, or on Enter or Space while focused.
//
// The static needs SS_NOTIFY (or the platform passes mouse input through it)
// and WS_TABSTOP; its parent must not clip children, so that invalidating
// the parent over the text repaints the control too.
#pragma once

#include "ComApartment.h"

#include "framework/Controls.h"

class CHyperLink : public CStatic
{
public:
    CHyperLink();

    BOOL PreTranslateMessage(MSG* msg) override;
    // Opens the control's text with the shell's "open" verb.
    void OpenLink();
    // Has the parent repaint the text area (and so the control over it).
    void InvalidateText();
    // LineDDA's callback for the focus frame (data is the paint context);
    // nothing in it can throw.
    static void CALLBACK PlotFocusDot(int x, int y, LPARAM data) noexcept;

    // Where the caption was drawn by the last paint, in client coordinates;
    // empty before the first paint.
    RECT m_rcText;
    // The apartment the shell's handlers run in, from the first opening of
    // the link until the link goes.
    CComApartment m_apartment;

protected:
    void OnPaint();
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnKillFocus(CWnd* newWnd);
    void OnSetFocus(CWnd* oldWnd);

    DECLARE_MESSAGE_MAP()
};
