// Starting the target so that the user sees the effect of a change at once.
#include "CommandLine.h"
#include "NativePath.h"
#include "PathNames.h"
#include "TargetModule.h"

#include "errors/ErrorCode.h"
#include "framework/CallObserver.h"
#include "ui/ManifestToolDlg.h"

void CManifestToolDlg::LaunchTarget()
{
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;

    // The path as typed (through Sysnative under the system folder in the
    // 32-bit tool on 64-bit Windows), unless the platform needs its short
    // form.
    const CTargetPath path(m_strPath);
    const std::wstring& program = path.Native().size() < MAX_PATH ? path.Native() : path.Loader();
    // The command line is the path as the user gave it, in quotes (a 64-bit
    // program knows no Sysnative). Without one, Windows takes the unquoted
    // application name, and a program under "C:\Program Files" gets
    // "C:\Program" and "Files\..." as its first two arguments. Writable, as
    // CreateProcessW may change it. The process gets the tool's environment
    // and current directory, and is let go at once.
    std::wstring commandLine = QuoteArgument(m_strPath);
    ObserveCall("CreateProcessW", program, commandLine, LPCWSTR(nullptr));
    if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process))
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
