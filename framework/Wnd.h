// CWnd: a wrapper over a window handle. It never owns the window: objects are
// attached to windows (the permanent map) or made temporarily for a handle
// (FromHandle), and windows are destroyed by whoever created them.
#pragma once

#include "AfxString.h"
#include "Gdi.h"
#include "MessageMap.h"

#include <windows.h>

class CWnd
{
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to hWnd, or a temporary one that lives until the
    // next idle moment of the modal loop. Null for a null handle.
    static CWnd* FromHandle(HWND hWnd);
    // The object attached to hWnd, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // Drops the temporary objects made by FromHandle.
    static void DeleteTempMap();

    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Attaches the object and routes the window's messages through its message
    // map; what the map does not handle goes to the window's previous procedure.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // Offered each message addressed to this window (or a child) before the
    // modal loop dispatches it; TRUE consumes it.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the current message.
    LRESULT Default();

    CWnd* GetDlgItem(int id) const;
    CWnd* GetParent() const;
    static CWnd* GetFocus();
    CWnd* SetFocus();
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    void SetWindowText(LPCWSTR text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    DWORD GetStyle() const;
    void GetClientRect(LPRECT rect) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPRECT rect) const;
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    BOOL ShowWindow(int show);
    HICON SetIcon(HICON icon, BOOL big);
    void DragAcceptFiles(BOOL accept = TRUE);

    HWND m_hWnd = nullptr;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Looks the message up in the map chain; true when a handler took it.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_pfnSuper = nullptr;

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);

private:
    struct CurrentMessage
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage m_current = {};
};

// The window procedure of subclassed windows.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Runs wnd's WindowProc; an exception a handler lets escape is reported there
// and goes no further (0 is returned).
LRESULT AfxCallWindowProc(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
