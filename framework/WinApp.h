// CWinApp: the application object. One instance per program; every message
// box of the program goes through its DoMessageBox.
#pragma once

#include "AfxString.h"

#include <windows.h>

class CWnd;

class CWinApp
{
public:
    // Without a name the title is the executable's file name without extension.
    explicit CWinApp(LPCWSTR appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    // Shows a message box captioned with the title and owned by the main
    // window (or its active popup); returns the button pressed.
    virtual int DoMessageBox(LPCWSTR prompt, UINT type, UINT helpId);

    void OnHelp() {}

    LPCWSTR m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWDEFAULT;

private:
    CString m_strTitle;
};

CWinApp* AfxGetApp();
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = UINT(-1));
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR cmdLine, int cmdShow);
