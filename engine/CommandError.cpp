// The error box of a failed change: the system's text with the target's file
// name in its "%1", or the program's own when no layout fits the change, and
// the file a failed replacement kept the program in.
#include "PathNames.h"

#include "errors/ErrorCode.h"
#include "framework/WinApp.h"
#include "pe/ResourceUpdate.h"
#include "pe/Win32Path.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void ShowCommandError(HRESULT code, LPCWSTR path, const std::wstring& keptFile)
{
    const LPCWSTR name = FindFileName(path);
    if (code == static_cast<HRESULT>(kErrorNoRoomForResources))
    {
        CString text;
        text.Format(IDS_NO_ROOM, name);
        AfxMessageBox(text, MB_ICONERROR);
        return;
    }
    CString note;
    if (!keptFile.empty())
        note.Format(IDS_PROGRAM_KEPT, pe::PlainPath(keptFile).c_str()); // as the user types it
    ShowErrorBox(code, MB_ICONERROR, note, name);
}
