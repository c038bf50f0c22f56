// The error box of a failed change, which names the file a failed
// replacement kept the program in.
#include "errors/ErrorCode.h"
#include "pe/Win32Path.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void ShowCommandError(HRESULT code, const std::wstring& keptFile)
{
    CString note;
    if (!keptFile.empty())
        note.Format(IDS_PROGRAM_KEPT, pe::PlainPath(keptFile).c_str()); // as the user types it
    ShowErrorBox(code, MB_ICONERROR, note);
}
