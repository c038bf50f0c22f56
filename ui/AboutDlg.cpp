#include "AboutDlg.h"
#include "ManifestToolDlg.h"

#include "engine/FileVersion.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_WEB_LINK, m_linkWeb);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // The template's text is the format of the version line.
    CWnd* versionText = GetDlgItem(IDC_VERSION_TEXT);
    CString format;
    versionText->GetWindowText(format);
    DWORD packed = 0;
    int build = 0;
    GetFileVersionNumbers(nullptr, packed, &build);
    CString line;
    line.Format(format, static_cast<int>(packed >> 24), static_cast<int>((packed >> 16) & 0xFF),
                static_cast<int>(packed & 0xFFFF), build);
    versionText->SetWindowText(line);
    return TRUE;
}

// Modal over the main window, which takes no input until the box closes.
void CManifestToolDlg::OnAbout()
{
    CAboutDlg about;
    about.DoModal();
}
