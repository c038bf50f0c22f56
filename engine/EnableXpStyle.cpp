// Enable: gives the target the themed look. A program without manifest 1
// gets the manifest composed for it, in the neutral language; one that has
// manifest 1 for other reasons keeps it, with the dependency on
// Common-Controls 6 added to each language variant. Then it offers to start
// the target.
#include "FileVersion.h"
#include "ManifestComposition.h"
#include "ManifestVariants.h"
#include "NativePath.h"
#include "TargetFile.h"
#include "pe/ResourceUpdate.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

#include <cstdio>
#include <cstring>

namespace
{
// The manifest text: a runtime-heap block that ReplaceAll may move.
struct CManifestText
{
    CManifestText() = default;
    ~CManifestText() { free(text); }
    CManifestText(const CManifestText&) = delete;
    CManifestText& operator=(const CManifestText&) = delete;
    char* text = nullptr;
};
} // namespace

void CManifestToolDlg::OnEnableXpStyle()
{
    if (!UpdateData(TRUE))
        return;

    CString savedName;
    CCodePageText name;
    DWORD packed = 0;
    int build = 0;
    char version[32];
    CManifestText manifest;
    CTargetFile target;
    CResourceUpdate update;
    std::wstring keptFile;

    // Each failing step throws the code of the last error it left, at once.
    try
    {
        // A signed program loses its signature: the user decides before
        // anything is written, the copy included.
        bool proceed = true;
        if (!AskBeforeUnsigning(proceed))
            throw ErrorCodeFromLastError();
        if (!proceed)
            return;
        if (!SaveBackupCopy(savedName))
            throw ErrorCodeFromLastError();
        if (!MakeManifestAppName(m_strPath, name))
            throw ErrorCodeFromLastError();
        // Without readable version information the manifest says 0.0.0.0.
        GetFileVersionNumbers(m_strPath, packed, &build);
        FormatVersionText(packed, build, version);
        manifest.text = LoadManifestTemplate();
        if (!manifest.text)
            throw ErrorCodeFromLastError();
        if (!ReplaceAll(manifest.text, "%AppVersion%", version))
            throw ErrorCodeFromLastError();
        if (!ReplaceAll(manifest.text, "%AppName%", name.m_pszText ? name.m_pszText : ""))
            throw ErrorCodeFromLastError();

        // Loaded as data: no code of the target runs. The manifest names the
        // target's processor: an x86 manifest in an x64 or ARM64 program
        // would keep it from starting.
        if (!target.Open(m_strPath))
            throw ErrorCodeFromLastError();
        const LPCSTR architecture = target.Architecture();
        std::vector<CManifestVariant> variants;
        if (!target.ReadManifestVariants(variants))
            throw ErrorCodeFromLastError();
        target.Close();
        char attribute[40];
        snprintf(attribute, sizeof attribute, "processorArchitecture=\"%s\"", architecture);
        if (!ReplaceAll(manifest.text, kTemplateArchitecture, attribute))
            throw ErrorCodeFromLastError();
        std::vector<CVariantChange> changes;
        if (!PlanThemedLook(variants, manifest.text, architecture, changes))
            throw ErrorCodeFromLastError();

        update.Attach(BeginResourceUpdate(NativeTargetPath(m_strPath).c_str(), FALSE));
        if (!update)
            throw BeginUpdateErrorCode(m_strPath);
        if (!WriteVariantChanges(update.Get(), changes))
            throw ErrorCodeFromLastError();
        // Every variant already asks (the file changed since the probe):
        // the file is left as it is.
        if (changes.empty())
            update.Discard();
        // From here the update counts as closed, whatever the commit gives.
        else if (!update.Commit(&keptFile))
            throw ErrorCodeFromLastError();

        RefreshCommandStates();

        CString suffix;
        if (!savedName.IsEmpty())
            suffix.Format(IDS_COPY_SAVED, static_cast<LPCWSTR>(savedName));
        CString message;
        message.Format(IDS_ENABLED_OK, static_cast<LPCWSTR>(suffix));
        if (AfxMessageBox(message, MB_YESNO | MB_ICONQUESTION) == IDYES)
            LaunchTarget();
    }
    catch (HRESULT code)
    {
        // The module first, then an update still open: the file keeps its
        // old bytes.
        target.Close();
        update.Discard();
        ShowCommandError(code, m_strPath, keptFile);
    }
}
