// Control wrappers attached to a dialog's controls by DDX_Control.
#pragma once

#include "Wnd.h"

class CEdit : public CWnd
{
public:
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, start, end); }
    void GetSel(int& start, int& end) const
    {
        DWORD s = 0, e = 0;
        SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        start = static_cast<int>(s);
        end = static_cast<int>(e);
    }

    DECLARE_MESSAGE_MAP()
};

class CStatic : public CWnd
{
    DECLARE_MESSAGE_MAP()
};

class CButton : public CWnd
{
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }

    DECLARE_MESSAGE_MAP()
};
