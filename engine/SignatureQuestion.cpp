// The question Enable and Disable ask before they change a signed program:
// the change removes its signature, which the user cannot see coming, and
// Windows then no longer shows the publisher.
#include "PathNames.h"
#include "TargetSignature.h"

#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

BOOL CManifestToolDlg::AskBeforeUnsigning(const CTargetPath& path, bool& proceed)
{
    proceed = true;
    CTargetSignature signature;
    if (!ReadTargetSignature(path, signature))
        return FALSE;
    if (!signature.isSigned)
        return TRUE;

    const LPCWSTR name = FindFileName(path.Typed().c_str());
    CString signedBy;
    if (signature.signer.empty())
        signedBy.Format(IDS_SIGNER_UNREADABLE, name);
    else
        signedBy.Format(IDS_SIGNED_BY, name, signature.signer.c_str());
    CString copyNote;
    if (BackupWanted())
        copyNote.LoadString(IDS_SIGNED_COPY_KEPT);
    CString question;
    question.Format(IDS_SIGNATURE_QUESTION, static_cast<LPCWSTR>(signedBy),
                    static_cast<LPCWSTR>(copyNote));
    // No is the default: an Enter pressed out of habit keeps the signature.
    proceed = AfxMessageBox(question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
    return TRUE;
}
