// Enable: gives the target the themed look. A program without manifest 1
// gets the manifest composed for it, in the neutral language; one that has
// manifest 1 for other reasons keeps it, with the dependency on
// Common-Controls 6 added to each language variant. Then it offers to start
// the target.
#include "BackupCopy.h"
#include "FileVersion.h"
#include "ManifestComposition.h"
#include "ManifestVariants.h"
#include "NativePath.h"
#include "TargetFile.h"
#include "pe/ResourceUpdate.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
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

// The steps of Enable, on the command's own thread: they touch no window.
void EnableWork(const CTargetPath& path, bool copy, CProgressSync& progress,
                CCommandOutcome& outcome)
{
    CCodePageText name;
    DWORD packed = 0;
    int build = 0;
    char version[32];
    CManifestText manifest;
    CTargetFile target;
    CResourceUpdate update;

    // Each failing step throws the code of the last error it left, at once.
    try
    {
        if (!SaveBackupCopy(path, copy, progress, outcome.savedName))
            throw ErrorCodeFromLastError();
        if (!MakeManifestAppName(path.Typed().c_str(), name))
            throw ErrorCodeFromLastError();
        // Without readable version information the manifest says 0.0.0.0.
        GetTargetVersionNumbers(path, packed, &build);
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
        if (!target.Open(path))
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
        // A variant that is no longer XML (the file changed since the
        // probe): where the dependency goes is unknown.
        if (!PlanThemedLook(variants, manifest.text, architecture, changes))
            throw HRESULT_FROM_WIN32(ERROR_SXS_MANIFEST_PARSE_ERROR);

        update.Attach(BeginResourceUpdate(path.Native().c_str(), FALSE));
        if (!update)
            throw BeginUpdateErrorCode(path);
        // No change when every variant already asks (the file changed since
        // the probe).
        CommitVariantChanges(update, changes, {}, progress, outcome.keptFile);
    }
    catch (HRESULT code)
    {
        // The module first, then an update still open: the file keeps its
        // old bytes.
        target.Close();
        update.Discard();
        outcome.code = code;
    }
}
} // namespace

void CManifestToolDlg::OnEnableXpStyle()
{
    RunCommand(IDS_PROGRESS_ENABLE, IDS_ENABLED_OK, EnableWork);
}
