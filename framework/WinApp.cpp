#include "WinApp.h"
#include "EscapedException.h"
#include "ModuleState.h"
#include "Wnd.h"

namespace
{
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(LPCWSTR appName)
{
    g_app = this;
    m_hInstance = AfxGetInstanceHandle();
    if (appName)
    {
        m_strTitle = appName;
    }
    else
    {
        WCHAR path[MAX_PATH] = L"";
        GetModuleFileNameW(m_hInstance, path, MAX_PATH);
        LPWSTR name = path;
        for (LPWSTR p = path; *p; ++p)
            if (*p == L'\\')
                name = p + 1;
        if (LPWSTR dot = wcsrchr(name, L'.'))
            *dot = L'\0';
        m_strTitle = name;
    }
    m_pszAppName = m_strTitle;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return 0;
}

int CWinApp::DoMessageBox(LPCWSTR prompt, UINT type, UINT /*helpId*/)
{
    HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
    if (owner && IsWindow(owner))
        owner = GetLastActivePopup(owner);
    else
        owner = nullptr;
    return MessageBoxW(owner, prompt, m_pszAppName, type);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT helpId)
{
    if (CWinApp* app = AfxGetApp())
        return app->DoMessageBox(text, type, helpId);
    return MessageBoxW(nullptr, text, nullptr, type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId)
{
    CString text;
    text.LoadString(textId);
    if (helpId == UINT(-1))
        helpId = textId;
    return AfxMessageBox(text, type, helpId);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR cmdLine, int cmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    AFX_MODULE_STATE* state = AfxGetModuleState();
    state->m_hCurrentInstanceHandle = instance;
    if (!state->m_hCurrentResourceHandle)
        state->m_hCurrentResourceHandle = instance;
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = cmdShow;

    // A FALSE InitInstance means the program's work is done (a dialog-based
    // program runs its dialog inside it): skip the message loop. Nothing may
    // leave for the runtime's start-up code either.
    try
    {
        return app->InitInstance() ? app->Run() : app->ExitInstance();
    }
    catch (...)
    {
        AfxReportCurrentException();
        return -1;
    }
}
