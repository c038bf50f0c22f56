// Command availability: which of Enable, Disable and Start fit the file the
// path field names. Runs on every change of the field's text.
#include "TargetFile.h"

#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::RefreshCommandStates()
{
    CString path;
    m_editPath.GetWindowText(path);

    // A program that cannot be loaded gets no button. Otherwise Enable when
    // no variant of its manifest 1 asks for the themed look and all are XML
    // (or there is none), Disable when one asks, or when one is not XML and
    // Windows refuses it too: it would not start the program with it anyway.
    // One that Windows accepts is changed by neither.
    bool loaded = false;
    bool kept = false;
    ManifestLook look = ManifestLook::Absent;
    // Resolved once: the probe runs on every keystroke.
    const CTargetPath resolved(path);
    CTargetFile target;
    if (target.Open(resolved))
    {
        loaded = true;
        std::vector<CManifestVariant> variants;
        look = target.ReadManifestVariants(variants) ? ProgramLook(variants) : ManifestLook::NotXml;
        const WORD machine = target.Machine();
        target.Close();
        // The platform is asked only about variants the reader refused,
        // about a millisecond each.
        kept = look == ManifestLook::NotXml &&
               PlatformReadsUnreadable(resolved.Platform().c_str(), machine, variants);
    }
    const bool classic = look == ManifestLook::Absent || look == ManifestLook::Classic;
    EnableControl(IDC_ENABLE_XP, loaded && classic);
    EnableControl(IDC_DISABLE_XP, loaded && !classic && !kept);
    EnableControl(IDC_START, loaded);
}

void CManifestToolDlg::EnableControl(UINT id, BOOL enable)
{
    if (CWnd* control = GetDlgItem(static_cast<int>(id)))
        control->EnableWindow(enable);
}
