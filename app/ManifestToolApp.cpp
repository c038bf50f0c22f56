#include "ManifestToolApp.h"

#include "errors/SystemLibrary.h"
#include "ui/ManifestToolDlg.h"

CManifestToolApp theApp;

BOOL CManifestToolApp::InitInstance()
{
    // Before the first window: what the platform loads for the dialog, and
    // every library the program loads itself, comes from the system folder,
    // never from the program's folder or the current directory.
    RestrictDllSearchToSystemFolder();

    CManifestToolDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // The dialog was the whole run: no message loop follows.
    return FALSE;
}
