#include "Gdi.h"
#include "Wnd.h"

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->GetSafeHwnd())
{
    m_hDC = BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    EndPaint(m_hWnd, &m_ps);
}

BOOL CFont::CreateFontIndirectW(const LOGFONTW* font)
{
    DeleteObject();
    m_hObject = ::CreateFontIndirectW(font);
    return m_hObject != nullptr;
}

BOOL CFont::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    return ::DeleteObject(Detach());
}

HFONT CFont::Detach()
{
    HFONT font = m_hObject;
    m_hObject = nullptr;
    return font;
}
