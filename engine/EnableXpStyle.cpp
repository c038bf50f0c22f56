// Enable: writes a manifest composed for the target as its manifest 1, in the
// neutral language, then offers to start it.
#include "FileVersion.h"
#include "ManifestComposition.h"
#include "TargetModule.h"
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
    CResourceUpdate update;
    std::wstring keptFile;

    // Each failing step throws the code of the last error it left, at once.
    try
    {
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
        // The manifest names the target's processor: an x86 manifest in an
        // x64 or ARM64 program would keep it from starting.
        WORD machine = 0;
        if (!GetTargetMachine(m_strPath, machine))
            throw ErrorCodeFromLastError();
        char architecture[40];
        snprintf(architecture, sizeof architecture, "processorArchitecture=\"%s\"",
                 ProcessorArchitectureName(machine));
        if (!ReplaceAll(manifest.text, kTemplateArchitecture, architecture))
            throw ErrorCodeFromLastError();

        update.Attach(BeginResourceUpdate(m_strPath, FALSE));
        if (!update)
            throw ErrorCodeFromLastError();
        if (!UpdateResourceEntry(update.Get(), RT_MANIFEST, MAKEINTRESOURCEW(1), 0, manifest.text,
                                 static_cast<DWORD>(strlen(manifest.text))))
            throw ErrorCodeFromLastError();
        // From here the update counts as closed, whatever the commit gives.
        if (!update.Commit(&keptFile))
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
        // An update still open is dropped: the file keeps its old bytes.
        update.Discard();
        ShowCommandError(code, keptFile);
    }
}
