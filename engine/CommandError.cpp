// The error box of a failed change: the system's text with the target's file
// name in its "%1", the tool's own words where the platform has none for the
// cause (a target marked read-only, a file with no room for the change, a
// manifest Windows would refuse or one it accepts that the tool cannot read), and
// a note naming the file a failed replacement kept the program in.
#include "NativePath.h"
#include "PathNames.h"
#include "TargetModule.h"

#include "errors/ErrorCode.h"
#include "framework/WinApp.h"
#include "pe/ResourceUpdate.h"
#include "pe/Win32Path.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

HRESULT BeginUpdateErrorCode(const CTargetPath& path)
{
    const HRESULT code = ErrorCodeFromLastError();
    if (code != HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED))
        return code;
    // The platform says only "Access is denied." for a file marked
    // read-only; the attribute is left for the user to clear.
    const DWORD attributes = GetFileAttributesW(path.Platform().c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_READONLY) &&
                          !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return readOnly ? kReadOnlyTarget : code;
}

void ShowCommandError(HRESULT code, LPCWSTR path, const std::wstring& keptFile)
{
    const LPCWSTR name = FindFileName(path);
    const UINT own = code == kReadOnlyTarget                                  ? IDS_READ_ONLY
                     : code == static_cast<HRESULT>(kErrorNoRoomForResources) ? IDS_NO_ROOM
                     : code == static_cast<HRESULT>(kErrorManifestRefused)    ? IDS_MANIFEST_REFUSED
                     : code == static_cast<HRESULT>(kErrorManifestAccepted)   ? IDS_MANIFEST_KEPT
                     : code == static_cast<HRESULT>(kErrorManifestUnjudged) ? IDS_MANIFEST_UNJUDGED
                                                                            : 0;
    if (own != 0)
    {
        CString text;
        text.Format(own, name);
        AfxMessageBox(text, MB_ICONERROR);
        return;
    }
    CString note;
    if (!keptFile.empty())
        note.Format(IDS_PROGRAM_KEPT, // as the user types it
                    UserTargetPath(pe::PlainPath(keptFile).c_str()).c_str());
    ShowErrorBox(code, MB_ICONERROR, note, name);
}

bool ChangedNothingOnPurpose(HRESULT code)
{
    return code == static_cast<HRESULT>(kErrorManifestRefused) ||
           code == static_cast<HRESULT>(kErrorManifestAccepted) ||
           code == static_cast<HRESULT>(kErrorManifestUnjudged);
}
