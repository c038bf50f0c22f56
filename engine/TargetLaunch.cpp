// Starting the target so that the user sees the effect of a change at once.
#include "PathNames.h"
#include "TargetModule.h"

#include "errors/ErrorCode.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::LaunchTarget()
{
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;

    // The path is the program and its whole command line; the process gets
    // the tool's environment and current directory, and is let go at once.
    // The path as typed, unless the platform needs its short form.
    const std::wstring program =
        m_strPath.GetLength() < MAX_PATH ? std::wstring(m_strPath) : LoaderPath(m_strPath);
    if (CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process))
    {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return;
    }
    ShowErrorBox(ErrorCodeFromLastError(), MB_ICONERROR, nullptr, FindFileName(m_strPath));
}

void CManifestToolDlg::OnStart()
{
    if (UpdateData(TRUE))
        LaunchTarget();
}
