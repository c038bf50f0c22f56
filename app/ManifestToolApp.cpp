#include "ManifestToolApp.h"

#include "ui/ManifestToolDlg.h"

CManifestToolApp theApp;

BOOL CManifestToolApp::InitInstance()
{
    CManifestToolDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    // The dialog was the whole run: no message loop follows.
    return FALSE;
}
