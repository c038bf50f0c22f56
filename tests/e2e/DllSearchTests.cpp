// Libraries planted where a search for a bare name looks first, beside the
// program and in its current directory, never run in Lumaform. The planted
// version.dll and rasapi32.dll leave a marker when their code runs, and Wine
// is told to prefer them to its own (WINEDLLOVERRIDES "n,b"), as Windows
// takes whatever file its search finds first.
#include "LumaformSession.h"

#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/UpdateFaults.h"
#include "errors/ErrorCode.h"
#include "framework/AfxString.h"
#include "res/resource.h"

#include <vector>

using namespace testing;

namespace
{
const wchar_t* const kPlanted[] = {L"version.dll", L"rasapi32.dll"};

// Whether Wine was told to prefer the planted files (CTest sets
// WINEDLLOVERRIDES for this test; Wine reads it when a process starts, so
// the programs this test starts inherit it).
bool PlantedLibrariesPreferred()
{
    wchar_t overrides[256] = L"";
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    return std::wstring(overrides).find(L"version,rasapi32=n,b") != std::wstring::npos;
}

// A scratch folder with two folders that each hold the planted libraries:
// app\, where the program under test is copied, and current\, its current
// directory.
class CPlantedFolders
{
public:
    explicit CPlantedFolders(const wchar_t* name) : m_root(name)
    {
        for (const std::wstring* folder : {&m_app, &m_current})
        {
            CreateDirectoryW(folder->substr(0, folder->size() - 1).c_str(), nullptr);
            for (const wchar_t* library : kPlanted)
                CHECK(CopyFileW((BinDirectory() + L"planted\\" + library).c_str(),
                                (*folder + library).c_str(), FALSE));
        }
    }
    const std::wstring& App() const { return m_app; }
    const std::wstring& Current() const { return m_current; }
    std::wstring operator/(const std::wstring& name) const { return m_root / name; }

    // What the planted libraries left: "app\\version.dll ran" when its
    // DllMain ran, and a line for each call of its functions, with the file
    // name it was asked about: "app\\version.dll GetFileVersionInfoSizeW
    // Tool.exe".
    std::vector<std::wstring> Markers() const
    {
        std::vector<std::wstring> markers;
        for (const std::wstring* folder : {&m_app, &m_current})
            for (const wchar_t* library : kPlanted)
            {
                const std::wstring name = folder->substr(m_root.Path().size()) + library;
                if (FileExists(*folder + library + L".ran"))
                    markers.push_back(name + L" ran");
                const std::string log = ReadFileBytes(*folder + library + L".calls");
                std::wstring calls(reinterpret_cast<const wchar_t*>(log.data()),
                                   log.size() / sizeof(wchar_t));
                for (size_t at = 0, end; (end = calls.find(L'\n', at)) != std::wstring::npos;
                     at = end + 1)
                {
                    std::wstring call = calls.substr(at, end - at);
                    const size_t folderEnd = call.rfind(L'\\');
                    if (folderEnd != std::wstring::npos)
                        call.erase(call.find(L' ') + 1, folderEnd - call.find(L' '));
                    markers.push_back(name + L" " + call);
                }
            }
        return markers;
    }

    // Copies a program from the build into app\.
    std::wstring PlaceInApp(const wchar_t* program) const
    {
        const std::wstring path = m_app + program;
        CHECK(CopyFileW(Fixture(program).c_str(), path.c_str(), FALSE));
        return path;
    }

private:
    CScratchFolder m_root;
    std::wstring m_app = m_root / L"app\\";
    std::wstring m_current = m_root / L"current\\";
};

// Runs program with the given arguments in directory; its exit code, or -1.
long Run(const std::wstring& program, const std::wstring& arguments, const std::wstring& directory)
{
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

std::wstring TextOf(DWORD code)
{
    CString text;
    FormatErrorText(text, static_cast<HRESULT>(code));
    return std::wstring(static_cast<LPCWSTR>(text));
}

std::string Describe(const std::vector<std::wstring>& names)
{
    std::string text;
    for (const std::wstring& name : names)
        text += (text.empty() ? "" : ", ") + Utf8(name);
    return text.empty() ? "none" : text;
}

// The markers that the platform's own libraries leave in a program with
// windows, whatever the program's code does. Wine's user32.dll imports
// version.dll, and Wine searches for a library that a system library
// imports as for any other: it takes the planted copy beside the program
// and asks it for the program's own version when the first window opens (on
// Windows, user32.dll imports no version.dll). This test program imports no
// version.dll either, so the library being loaded here shows it.
std::vector<std::wstring> PlatformMarkers(const wchar_t* program)
{
    if (!GetModuleHandleW(L"version.dll"))
        return {};
    return {L"app\\version.dll ran",
            std::wstring(L"app\\version.dll GetFileVersionInfoSizeW ") + program};
}

// The markers that the program's own code is answerable for.
std::string ProgramMarkers(const CPlantedFolders& folders, const wchar_t* program)
{
    std::vector<std::wstring> markers = folders.Markers();
    for (const std::wstring& platform : PlatformMarkers(program))
        for (auto at = markers.begin(); at != markers.end();)
            at = *at == platform ? markers.erase(at) : at + 1;
    return Describe(markers);
}
} // namespace

// The planted copies are what a program gets that imports version.dll and
// loads rasapi32.dll by its bare name: the checks below can see a load.
TEST(PlantedLibrariesRunWhereTheSearchFindsThem)
{
    CPlantedFolders folders(L"dll_search_control");
    CHECK(PlantedLibrariesPreferred());
    const std::wstring control = folders.PlaceInApp(L"planted_control.exe");
    CHECK_EQ(Run(control, L"", folders.Current()), 0L);
    CHECK_EQ(Describe(folders.Markers()),
             std::string("app\\version.dll ran, app\\version.dll GetFileVersionInfoSizeW "
                         "planted_control.exe, app\\rasapi32.dll ran"));
}

// Started from a folder with the planted copies, in another, Lumaform starts,
// reads a program's version, writes its manifest and shows an error box
// without running a line of them.
TEST(LumaformRunsNoPlantedLibrary)
{
    CPlantedFolders folders(L"dll_search_lumaform");
    CHECK(PlantedLibrariesPreferred());
    const std::wstring exe = folders.PlaceInApp(L"Lumaform.exe");
    const std::wstring target = folders / L"Tool.exe";
    const std::wstring locked = folders / L"Locked.exe";
    CHECK(CopyFileW(Fixture(L"version_1016.exe").c_str(), target.c_str(), FALSE));
    CHECK(CopyFileW(Fixture(L"no_version.exe").c_str(), locked.c_str(), FALSE));
    {
        CLumaformSession session(exe, folders.Current());
        CHECK(session.Started());
        CHECK_EQ(ProgramMarkers(folders, L"Lumaform.exe"), std::string("none")); // at start-up

        // The version comes from the system's reader, not the planted one
        // (which reads none: 0.0.0.0).
        session.SetSaveCopy(false);
        session.SetPath(target);
        CHECK_EQ(session.Buttons(), std::string("E-S"));
        session.Click(IDC_ENABLE_XP);
        const MessageBoxSeen question = session.Answer(IDNO);
        CHECK(question.text.rfind(L"XP style sucessfully enabled.", 0) == 0);
        CHECK(session.Idle());
        const std::string manifest = LoaderResources(target)[L"#24/#1/0"];
        CHECK(manifest.find("version=\"1.0.1.6\"") != std::string::npos);

        // A program that another process keeps open for reading only: the
        // update cannot open it, and the box gives the system's text.
        HANDLE reader = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        CHECK(reader != INVALID_HANDLE_VALUE);
        session.SetPath(locked);
        CHECK_EQ(session.Buttons(), std::string("E-S"));
        session.Click(IDC_ENABLE_XP);
        const MessageBoxSeen box = session.Answer(IDOK);
        CHECK(box.shown);
        CHECK_EQ(box.text, ErrorText(ERROR_SHARING_VIOLATION));
        CHECK(session.Idle());
        if (reader != INVALID_HANDLE_VALUE)
            CloseHandle(reader);
    }
    CHECK_EQ(ProgramMarkers(folders, L"Lumaform.exe"), std::string("none"));
}

// The remote-access table comes from the system's rasapi32.dll: the error
// texts of that range, as the program makes them, run no planted copy.
// (The program has no command that fails with such a code, so a small
// program of the tests makes the texts with the program's own code.)
TEST(RemoteAccessTextsRunNoPlantedLibrary)
{
    CPlantedFolders folders(L"dll_search_texts");
    CHECK(PlantedLibrariesPreferred());
    const std::wstring probe = folders.PlaceInApp(L"error_text_probe.exe");
    const std::wstring out = folders / L"texts.txt";
    const DWORD codes[] = {0x800702B3, 691, 600, 0x800702E4, 0x80072EE2};
    std::wstring arguments = L"\"" + out + L"\"";
    std::wstring expected;
    for (DWORD code : codes)
    {
        wchar_t number[16];
        wsprintfW(number, L" 0x%08lx", code);
        arguments += number;
        expected += TextOf(code) + L"\n";
    }
    CHECK_EQ(Run(probe, arguments, folders.Current()), 0L);
    const std::string bytes = ReadFileBytes(out);
    const std::wstring texts(reinterpret_cast<const wchar_t*>(bytes.data()),
                             bytes.size() / sizeof(wchar_t));
    CHECK_EQ(texts, expected);
    CHECK(texts.find(L"planted") == std::wstring::npos);
    CHECK_EQ(ProgramMarkers(folders, L"error_text_probe.exe"), std::string("none"));
}

// The search kept to the system folder changes nothing for the files the
// program works on: a typed relative name is the file in its current
// directory, for the buttons, the version read and the change.
TEST(ATypedRelativeNameIsTheFileInTheCurrentDirectory)
{
    CScratchFolder folder(L"dll_search_relative");
    CHECK(
        CopyFileW(Fixture(L"version_1016.exe").c_str(), (folder / L"Relative.exe").c_str(), FALSE));
    CLumaformSession session(Fixture(L"Lumaform.exe"), folder.Path());
    CHECK(session.Started());
    session.SetSaveCopy(false);
    session.SetPath(L"Relative.exe");
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.Click(IDC_ENABLE_XP);
    CHECK(session.Answer(IDNO).text.rfind(L"XP style sucessfully enabled.", 0) == 0);
    CHECK(session.Idle());
    const std::string manifest = LoaderResources(folder / L"Relative.exe")[L"#24/#1/0"];
    CHECK(manifest.find("version=\"1.0.1.6\"") != std::string::npos);
    CHECK_EQ(session.Buttons(), std::string("-DS"));
}
