#include "FileDialog.h"
#include "WinApp.h"
#include "Wnd.h"

#include <cderr.h>

namespace
{
// The longest path the platform takes (in its extended form), with its NUL.
constexpr DWORD kMaxPath = 32768;
} // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension, LPCWSTR fileName,
                         DWORD flags, LPCWSTR filter, CWnd* parent)
    : m_ofn(), m_bOpenFileDialog(openFileDialog), m_fileName(kMaxPath, L'\0')
{
    if (fileName)
        lstrcpynW(&m_fileName[0], fileName, kMaxPath);
    if (filter)
    {
        // "a|b||" becomes "a\0b\0\0": the bars are the platform's NULs.
        m_filter = filter;
        for (auto& ch : m_filter)
            if (ch == L'|')
                ch = L'\0';
    }
    if (defaultExtension)
        m_defaultExtension = defaultExtension;

    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = filter ? m_filter.c_str() : nullptr;
    m_ofn.lpstrFile = &m_fileName[0];
    m_ofn.nMaxFile = kMaxPath;
    m_ofn.lpstrDefExt = defaultExtension ? m_defaultExtension.c_str() : nullptr;
    m_ofn.Flags = flags;
}

INT_PTR CFileDialog::DoModal()
{
    if (!m_ofn.hwndOwner)
    {
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd)
            m_ofn.hwndOwner = app->m_pMainWnd->m_hWnd;
    }
    auto run = [this]
    { return m_bOpenFileDialog ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn); };
    BOOL ok = run();
    if (!ok && CommDlgExtendedError() == FNERR_INVALIDFILENAME)
    {
        // The platform refuses to open at all when the initial name is not a
        // valid file name; open it without one instead.
        m_fileName[0] = L'\0';
        ok = run();
    }
    return ok ? IDOK : IDCANCEL;
}
