// Message maps: each window class lists the messages it handles; what its map
// does not hold goes to its base class's map, then to the window's default
// processing. Each entry kind has a small adapter that decodes the message's
// arguments and calls the member with its own signature, so no member pointer
// is ever cast to another type.
#pragma once

#include <windows.h>

// Signed coordinates of a mouse message (windowsx.h is not used: its macros
// clash with member names such as SubclassWindow).
#define AFX_X_LPARAM(lp) (static_cast<int>(static_cast<short>(LOWORD(lp))))
#define AFX_Y_LPARAM(lp) (static_cast<int>(static_cast<short>(HIWORD(lp))))

class CWnd;
class CPoint;

// Returns true when it handled the message; result is the message's result.
using AfxMessageHandler = bool (*)(CWnd* wnd, WPARAM wParam, LPARAM lParam, LRESULT& result);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage; // window message; WM_COMMAND for commands
    UINT nCode;    // notification code of a command
    UINT nID;      // control id of a command
    AfxMessageHandler pfn;
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                              \
    {                                                                                              \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                \
    {                                                                                              \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                          \
    {                                                                                              \
        0, 0, 0, nullptr                                                                           \
    }                                                                                              \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries};                     \
    return &map;                                                                                   \
    }

// Commands: handlers without arguments.
#define ON_CONTROL(code, id, memberFxn)                                                            \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id),                                   \
     [](CWnd* w, WPARAM, LPARAM, LRESULT&)                                                         \
     {                                                                                             \
         static_cast<ThisClass*>(w)->memberFxn();                                                  \
         return true;                                                                              \
     }},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

// Window messages: handlers with the decoded arguments.
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, 0,                                                                               \
     [](CWnd* w, WPARAM, LPARAM, LRESULT&)                                                         \
     {                                                                                             \
         static_cast<ThisClass*>(w)->OnPaint();                                                    \
         return true;                                                                              \
     }},
#define AFX_MOUSE_ENTRY(message, memberFxn)                                                        \
    {message, 0, 0,                                                                                \
     [](CWnd* w, WPARAM wParam, LPARAM lParam, LRESULT&)                                           \
     {                                                                                             \
         static_cast<ThisClass*>(w)->memberFxn(                                                    \
             static_cast<UINT>(wParam), CPoint(AFX_X_LPARAM(lParam), AFX_Y_LPARAM(lParam)));       \
         return true;                                                                              \
     }},
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define AFX_FOCUS_ENTRY(message, memberFxn)                                                        \
    {message, 0, 0,                                                                                \
     [](CWnd* w, WPARAM wParam, LPARAM, LRESULT&)                                                  \
     {                                                                                             \
         static_cast<ThisClass*>(w)->memberFxn(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));  \
         return true;                                                                              \
     }},
#define ON_WM_SETFOCUS() AFX_FOCUS_ENTRY(WM_SETFOCUS, OnSetFocus)
#define ON_WM_KILLFOCUS() AFX_FOCUS_ENTRY(WM_KILLFOCUS, OnKillFocus)
// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                                              \
    {WM_TIMER, 0, 0,                                                                               \
     [](CWnd* w, WPARAM wParam, LPARAM, LRESULT&)                                                  \
     {                                                                                             \
         static_cast<ThisClass*>(w)->OnTimer(static_cast<UINT_PTR>(wParam));                       \
         return true;                                                                              \
     }},
#define ON_WM_DROPFILES()                                                                          \
    {WM_DROPFILES, 0, 0,                                                                           \
     [](CWnd* w, WPARAM wParam, LPARAM, LRESULT&)                                                  \
     {                                                                                             \
         static_cast<ThisClass*>(w)->OnDropFiles(reinterpret_cast<HDROP>(wParam));                 \
         return true;                                                                              \
     }},
