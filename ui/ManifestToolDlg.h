// CManifestToolDlg: the program's main and only top-level window. It holds the
// target path and the backup choice, keeps the action buttons in step with
// the named file, and runs the commands. The command members live in engine/,
// one file each.
#pragma once

#include "DropEdit.h"

#include "engine/ProgressSync.h"
#include "engine/TargetPath.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

#include <functional>
#include <string>

// What the work of Enable or Disable leaves for the window: its failure's
// code (S_OK on success), the name of the copy it made, and where a failed
// replacement kept the program.
struct CCommandOutcome
{
    HRESULT code = S_OK;
    CString savedName;
    std::wstring keptFile;
};

class CManifestToolDlg : public CDialog
{
public:
    explicit CManifestToolDlg(CWnd* parent = nullptr);

    CDropEdit m_editPath;
    CButton m_checkSaveCopy;
    CString m_strPath;
    int m_bSaveCopy;
    HICON m_hIcon;

    // Looks into the file the path field names and enables Enable, Disable
    // and Start to match.
    void RefreshCommandStates();
    void EnableControl(UINT id, BOOL enable);

    // Whether the copy box is ticked (engine/BackupCopy.h makes the copy).
    bool BackupWanted();
    // Asks whether to go on when the change would remove the target's
    // signature; proceed is false when the user said No. A program that is
    // not signed goes on without a question. 0 when the file cannot be read,
    // with its last error.
    BOOL AskBeforeUnsigning(const CTargetPath& path, bool& proceed);
    // Starts the target as an independent process; reports its own failure.
    void LaunchTarget();

    // The steps of Enable or Disable on the work's thread: the target, whether
    // to make the copy first, the progress record, what it leaves.
    using CommandWork = void (*)(const CTargetPath& path, bool copy, CProgressSync& progress,
                                 CCommandOutcome& outcome);
    // Enable or Disable: reads the fields, asks before unsigning, runs work
    // (RunWork, with the progress text progressId) and ends it (EndCommand,
    // with the question okId).
    void RunCommand(UINT progressId, UINT okId, CommandWork work);
    // Runs a command's work on a thread of its own, with the progress
    // window (text: the string textId with the program's file name) when it
    // takes longer than half a second; the window stays alive meanwhile and
    // takes no input. Closing it asks the work to stop first.
    void RunWork(UINT textId, CProgressSync& progress, const std::function<void()>& work);
    // The end of Enable or Disable, back on the window's thread: on success
    // the buttons refreshed and the question (okId, naming the copy made);
    // on failure the error box, or nothing when the user cancelled. A
    // command that ends having changed nothing, on purpose or cancelled,
    // takes the copy it made away again.
    void EndCommand(const CTargetPath& path, const CCommandOutcome& outcome, UINT okId,
                    const CProgressSync& progress);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnBrowse();
    void OnStart();
    void OnEnableXpStyle();
    void OnDisableXpStyle();
    void OnChangeAppPath();
    void OnAbout();

    DECLARE_MESSAGE_MAP()

private:
    CProgressSync* m_pWork = nullptr; // while a command's work runs
};

// What Enable and Disable throw when the target is marked read-only: a code
// of the tool's own (the customer bit set), which the box explains in the
// tool's words.
constexpr HRESULT kReadOnlyTarget = static_cast<HRESULT>(0xA0041001);

// The code for a failed begin of the update on path, made from the last
// error at once: kReadOnlyTarget when access was denied to a file marked
// read-only.
HRESULT BeginUpdateErrorCode(const CTargetPath& path);

// The error box of a failed Enable or Disable on the program at path;
// keptFile, when not empty, is where a failed replacement left the program,
// and the box says so.
void ShowCommandError(HRESULT code, LPCWSTR path, const std::wstring& keptFile);

// Whether a failed Enable or Disable with code left the target as it was on
// purpose, so that the copy it made is not wanted either: a check found that
// Windows would refuse the change.
bool ChangedNothingOnPurpose(HRESULT code);
