// Small value types and GDI owners: CPoint, CRect, CPaintDC, CFont.
#pragma once

#include <windows.h>

class CWnd;

class CPoint : public POINT
{
public:
    CPoint(int px = 0, int py = 0)
    {
        x = px;
        y = py;
    }
};

class CRect : public RECT
{
public:
    CRect(int l = 0, int t = 0, int r = 0, int b = 0)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    CRect(const RECT& rect) : RECT(rect) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    BOOL PtInRect(POINT point) const { return ::PtInRect(this, point); }
};

// A device context for painting: BeginPaint on construction, EndPaint with the
// same window on destruction.
class CPaintDC
{
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Selects an object into a device context and selects the previous one back
// on destruction, on every path; declared after the object's owner, it ends
// first, so the object is never deleted while selected.
class CSelectedObject
{
public:
    CSelectedObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hPrevious(SelectObject(dc, object)) {}
    ~CSelectedObject() { SelectObject(m_hDC, m_hPrevious); }
    CSelectedObject(const CSelectedObject&) = delete;
    CSelectedObject& operator=(const CSelectedObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hPrevious;
};

// Owns a GDI font and deletes it.
class CFont
{
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    BOOL CreateFontIndirectW(const LOGFONTW* font);
    BOOL DeleteObject();
    HFONT Detach();
    operator HFONT() const { return m_hObject; }

private:
    HFONT m_hObject = nullptr;
};
