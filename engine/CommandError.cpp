// The error box of a failed change, which names the file a failed
// replacement kept the program in.
#include "errors/ErrorCode.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

namespace
{
// path as the user would type it, without the extended-length prefix.
CString DisplayPath(const std::wstring& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return CString(L"\\\\") + (path.c_str() + 8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return CString(path.c_str() + 4);
    return CString(path.c_str());
}
} // namespace

void ShowCommandError(HRESULT code, const std::wstring& keptFile)
{
    CString note;
    if (!keptFile.empty())
        note.Format(IDS_PROGRAM_KEPT, static_cast<LPCWSTR>(DisplayPath(keptFile)));
    ShowErrorBox(code, MB_ICONERROR, note);
}
