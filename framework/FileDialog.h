// CFileDialog: the platform's open (or save) file dialog, with the filter in
// the framework's "description|pattern|...||" form.
#pragma once

#include "AfxString.h"

#include <windows.h>
#include <commdlg.h>
#include <string>

class CWnd;

class CFileDialog
{
public:
    CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr, LPCWSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR filter = nullptr,
                CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK or IDCANCEL, also when the dialog fails: CommDlgExtendedError()
    // then tells a failure (non-zero) from a cancel.
    INT_PTR DoModal();
    CString GetPathName() const { return CString(m_fileName.c_str()); }

    OPENFILENAMEW m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::wstring m_filter;
    std::wstring m_defaultExtension;
    // Room for a name up to the platform's path limit, not only MAX_PATH.
    std::wstring m_fileName;
};
