// The main dialog under load and abuse: no GDI objects, windows or kernel
// handles left behind over many probes, changes and paints; damaged programs
// and unusual paths that never crash it, never let an exception escape and
// never touch the wrong file.
#include "DialogDriver.h"

#include "../support/LoaderResources.h"
#include "../support/Mutations.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/UpdateFaults.h"

#include "framework/AutoHandles.h"
#include "framework/WinApp.h"
#include "res/resource.h"

#include <cstring>

using namespace testing;

namespace
{
// Answers every box with No (a question) or OK, and keeps what it said.
class CTestApp : public CWinApp
{
public:
    int DoMessageBox(LPCWSTR prompt, UINT type, UINT) override
    {
        m_boxes.push_back(prompt);
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    std::vector<std::wstring> m_boxes;
};
CTestApp theTestApp;

bool IsQuestion(const std::wstring& text)
{
    return text.find(L"XP") != std::wstring::npos && text.find(L"?") != std::wstring::npos;
}

// GDI objects of this process: Wine answers GetGuiResources with 0, but
// validates handles by their index alone, so the table can be counted.
int GdiObjects()
{
    int count = 0;
    for (ULONG_PTR value = 1; value < 0x10000; ++value)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(value)) ? 1 : 0;
    return count;
}

// Open kernel handles (GetProcessHandleCount says 0 under Wine).
int KernelHandles()
{
    int count = 0;
    DWORD flags;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountChild, count);
    return TRUE;
}

int Windows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace

TEST(NothingLeaksOverProbesChangesAndAboutPaints)
{
    CScratchFolder folder(L"stress_leaks");
    const std::wstring target = folder / L"cycle.exe";
    CopyFileW(Fixture(L"no_version.exe").c_str(), target.c_str(), FALSE);
    const std::wstring other = Fixture(L"manifest1english.exe");
    CManifestToolDlg dialog;
    theTestApp.m_pMainWnd = &dialog;
    int changes = 0;

    auto work = [&](CManifestToolDlg& d, int probes, int cycles, int paints)
    {
        for (int i = 0; i < probes; ++i)
            SetPath(d.m_hWnd, i % 2 ? target : other);
        SetPath(d.m_hWnd, target);
        for (int i = 0; i < cycles; ++i)
        {
            Click(d.m_hWnd, IDC_ENABLE_XP);
            Click(d.m_hWnd, IDC_DISABLE_XP);
            changes += 2;
        }
        RunInModalBox(d.m_hWnd, [&] { Click(d.m_hWnd, IDC_ABOUT); },
                      {[&](HWND box)
                       {
                           for (int i = 0; i < paints; ++i)
                               RedrawWindow(box, nullptr, nullptr,
                                            RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN |
                                                RDW_UPDATENOW);
                       }});
    };
    int gdi[2], handles[2], windows[2];
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetSaveCopy(d.m_hWnd, false);
                           work(d, 4, 1, 2); // first use fills the platform's caches
                           gdi[0] = GdiObjects();
                           handles[0] = KernelHandles();
                           windows[0] = Windows();
                       },
                       [&](CManifestToolDlg& d)
                       {
                           work(d, 1000, 100, 100);
                           gdi[1] = GdiObjects();
                           handles[1] = KernelHandles();
                           windows[1] = Windows();
                       }});
    theTestApp.m_pMainWnd = nullptr;
    printf("  GDI objects %d -> %d, kernel handles %d -> %d, windows %d -> %d\n", gdi[0], gdi[1],
           handles[0], handles[1], windows[0], windows[1]);
    CHECK(gdi[0] > 0 && handles[0] > 0 && windows[0] > 0);
    CHECK_EQ(gdi[1], gdi[0]);
    CHECK_EQ(handles[1], handles[0]);
    CHECK_EQ(windows[1], windows[0]);
    CHECK_EQ(changes, 202);
    size_t questions = 0;
    for (const auto& box : theTestApp.m_boxes)
        questions += IsQuestion(box) ? 1 : 0;
    CHECK_EQ(questions, theTestApp.m_boxes.size());
    CHECK_EQ(questions, size_t(202));
    theTestApp.m_boxes.clear();
}

// Each damaged program is either refused (no command offered, or an error
// box and the file unchanged) or changed correctly and readable again.
TEST(ThousandDamagedProgramsThroughTheDialog)
{
    CScratchFolder folder(L"stress_mutants");
    const std::string original = ReadFileBytes(Fixture(L"rich_resources.exe"));
    const std::wstring path = folder / L"mutant.exe";
    // Every file the dialog changed is kept for an independent reader.
    const std::wstring kept = BinDirectory() + L"changed_mutants\\";
    RemoveTree(kept);
    CreateDirectoryW(kept.c_str(), nullptr);
    unsigned seed = 4242;
    int tried = 0, offered = 0, refused = 0, changed = 0, failures = 0;
    auto wrong = [&](int i, const char* what)
    {
        printf("  mutant %d: %s\n", i, what);
        ++failures;
    };
    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetSaveCopy(d.m_hWnd, false);
                           for (int i = 0; i < 1000; ++i, ++tried)
                           {
                               const std::string bytes = MutateImage(original, i, seed);
                               WriteFileBytes(path, bytes);
                               SetPath(d.m_hWnd, path);
                               const std::string buttons = Buttons(d.m_hWnd);
                               const int command = buttons[0] == 'E'   ? IDC_ENABLE_XP
                                                   : buttons[1] == 'D' ? IDC_DISABLE_XP
                                                                       : 0;
                               if (!command)
                               {
                                   ++refused;
                                   continue;
                               }
                               ++offered;
                               theTestApp.m_boxes.clear();
                               Click(d.m_hWnd, command);
                               if (theTestApp.m_boxes.size() != 1)
                               {
                                   wrong(i, "no box or more than one");
                                   continue;
                               }
                               if (!IsQuestion(theTestApp.m_boxes[0]))
                               {
                                   ++refused;
                                   if (ReadFileBytes(path) != bytes)
                                       wrong(i, "refused but the file changed");
                                   continue;
                               }
                               ++changed;
                               CLibrary module(
                                   LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
                               const bool loaded = static_cast<bool>(module);
                               const bool hasManifest =
                                   loaded && FindResourceW(module.Get(), MAKEINTRESOURCEW(1),
                                                           RT_MANIFEST) != nullptr;
                               module.Release();
                               if (!loaded)
                                   wrong(i, "unreadable after the change");
                               else if (hasManifest != (command == IDC_ENABLE_XP))
                                   wrong(i, "manifest 1 not as the command left it");
                               wchar_t name[32];
                               wsprintfW(name, L"%04d-%s.exe", i,
                                         command == IDC_ENABLE_XP ? L"enabled" : L"disabled");
                               CopyFileW(path.c_str(), (kept + name).c_str(), FALSE);
                           }
                       }});
    printf("  %d offered a command, %d refused, %d changed, %d wrong\n", offered, refused, changed,
           failures);
    CHECK_EQ(tried, 1000); // no step cut short by an exception the platform swallowed
    CHECK_EQ(failures, 0);
    CHECK(changed > 100 && refused > 100);
    theTestApp.m_boxes.clear();
}

// Unusual spellings of a path either work on the named file or fail with
// the platform's error; no other file in the folder changes.
TEST(UnusualPathsWorkOrFailCleanly)
{
    CScratchFolder folder(L"stress_paths");
    const std::wstring base = folder.Path();
    std::wstring longName = base;
    longName += std::wstring(259 - base.size() - 4, L'n') + L".exe";
    CHECK_EQ(longName.size(), size_t(259));
    std::wstring slashes = base + L"slashed.exe";
    for (auto& c : slashes)
        c = c == L'\\' ? L'/' : c;
    const std::wstring unc = L"\\\\?\\" + base + L"unc.exe";
    struct Case
    {
        std::wstring typed, file;
    };
    const Case cases[] = {
        {longName, longName},
        {L"relative.exe", base + L"relative.exe"},
        {slashes, base + L"slashed.exe"},
        {unc, base + L"unc.exe"},
        {base + L"trailing.exe ", base + L"trailing.exe"},
    };
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(base.c_str());
    const std::string original = ReadFileBytes(Fixture(L"no_version.exe"));
    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           for (const Case& c : cases)
                           {
                               for (const Case& each : cases)
                                   WriteFileBytes(each.file, original);
                               theTestApp.m_boxes.clear();
                               SetPath(d.m_hWnd, c.typed);
                               if (Buttons(d.m_hWnd)[0] == 'E')
                                   Click(d.m_hWnd, IDC_ENABLE_XP);
                               const bool worked = theTestApp.m_boxes.size() == 1 &&
                                                   IsQuestion(theTestApp.m_boxes[0]);
                               printf("  %-12s %s\n",
                                      Utf8(c.file.substr(base.size())).substr(0, 12).c_str(),
                                      worked ? "changed"
                                      : theTestApp.m_boxes.empty()
                                          ? "not offered"
                                          : Utf8(theTestApp.m_boxes[0]).c_str());
                               CHECK(worked); // each spelling names an existing program
                               for (const Case& each : cases)
                               {
                                   const bool isTarget = each.file == c.file;
                                   const bool unchanged = ReadFileBytes(each.file) == original;
                                   CHECK(unchanged == !(isTarget && worked));
                                   DeleteFileW((each.file + L".bak").c_str());
                               }
                           }
                       }});
    SetCurrentDirectoryW(current);
    theTestApp.m_boxes.clear();
}

// Each step of the resource update made to fail (as a full disk would) under
// Enable and under Disable: the error box names the code, the target keeps
// every byte, the copy made before stays, no temporary file is left, the
// buttons are not refreshed, and the target is released (deleted at once).
// Then the copy step itself, on a target another program holds exclusively.
TEST(EveryFailingStepOfACommandKeepsTheTarget)
{
    CScratchFolder folder(L"stress_faults");
    const std::wstring base = folder.Path();
    struct Command
    {
        const wchar_t* fixture;
        int button;
        const char* buttons;
    };
    const Command commands[] = {{L"no_version.exe", IDC_ENABLE_XP, "E-S"},
                                {L"manifest1twolanguages.exe", IDC_DISABLE_XP, "-DS"}};
    const std::wstring target = folder / L"target.exe";
    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           for (const Command& command : commands)
                           {
                               const std::string original = ReadFileBytes(Fixture(command.fixture));
                               auto fail = [&](ResourceUpdateStep step, DWORD result, DWORD error)
                               {
                                   WriteFileBytes(target, original);
                                   SetPath(d.m_hWnd, target);
                                   theTestApp.m_boxes.clear();
                                   {
                                       CFailingStep failing(step, result);
                                       Click(d.m_hWnd, command.button);
                                   }
                                   CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                                   if (!theTestApp.m_boxes.empty())
                                       CHECK_EQ(theTestApp.m_boxes[0], ErrorText(error));
                                   CHECK(ReadFileBytes(target) == original);
                                   CHECK(ReadFileBytes(target + L".bak") == original);
                                   CHECK_EQ(FilesIn(base), 2); // the target and its copy
                                   CHECK_EQ(Buttons(d.m_hWnd), std::string(command.buttons));
                                   CHECK(DeleteFileW(target.c_str()));
                                   CHECK(DeleteFileW((target + L".bak").c_str()));
                               };
                               for (ResourceUpdateStep step : kUpdateSteps)
                                   fail(step, ERROR_DISK_FULL, ERROR_DISK_FULL);
                               // Reads and writes that report success and
                               // move nothing.
                               for (const TransferStep& transfer : kTransferSteps)
                                   fail(transfer.step, kFaultNoProgress, transfer.error);
                           }

                           // Held with no sharing: the copy fails first and makes no copy.
                           const std::string original = ReadFileBytes(Fixture(L"no_version.exe"));
                           WriteFileBytes(target, original);
                           SetPath(d.m_hWnd, target);
                           HANDLE holder = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr,
                                                       OPEN_EXISTING, 0, nullptr);
                           CHECK(holder != INVALID_HANDLE_VALUE);
                           theTestApp.m_boxes.clear();
                           Click(d.m_hWnd, IDC_ENABLE_XP);
                           CloseHandle(holder);
                           CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                           if (!theTestApp.m_boxes.empty())
                               CHECK_EQ(theTestApp.m_boxes[0], ErrorText(ERROR_SHARING_VIOLATION));
                           CHECK(ReadFileBytes(target) == original);
                           CHECK_EQ(FilesIn(base), 1);
                           CHECK(DeleteFileW(target.c_str()));
                       }});
    theTestApp.m_boxes.clear();
}

// A replacement that fails after the platform moved files: the target holds
// the old program or the new one and the box says which happened; where
// neither could be put back, the box names the file that was kept.
TEST(FailedReplacementsAreReportedWithWhatWasKept)
{
    CScratchFolder folder(L"stress_replace");
    const std::wstring target = folder / L"target.exe";
    const std::string original = ReadFileBytes(Fixture(L"no_version.exe"));
    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetSaveCopy(d.m_hWnd, false);
                           auto enable = [&](DWORD replaceError, int restoreFailures)
                           {
                               WriteFileBytes(target, original);
                               SetPath(d.m_hWnd, target);
                               theTestApp.m_boxes.clear();
                               CFailingReplacement failing(replaceError, restoreFailures);
                               Click(d.m_hWnd, IDC_ENABLE_XP);
                               return theTestApp.m_boxes.size() == 1 ? theTestApp.m_boxes[0]
                                                                     : std::wstring();
                           };
                           // The old file gone, the new one moved in: a success.
                           CHECK(IsQuestion(enable(ERROR_UNABLE_TO_MOVE_REPLACEMENT, 0)));
                           CHECK(ReadFileBytes(target) != original);
                           CHECK(LoaderResources(target).count(L"#24/#1/0") == 1);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));

                           // The old file moved back: the replacement's error.
                           CHECK_EQ(enable(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 0),
                                    ErrorText(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2));
                           CHECK(ReadFileBytes(target) == original);
                           CHECK_EQ(FilesIn(folder.Path()), 1);

                           // Nothing could be moved back: the box names the file
                           // that holds the program.
                           const std::wstring box = enable(ERROR_UNABLE_TO_MOVE_REPLACEMENT, 1);
                           CHECK(!FileExists(target));
                           CHECK_EQ(FilesIn(folder.Path()), 1);
                           WIN32_FIND_DATAW found;
                           HANDLE search = FindFirstFileW((folder / L"~lmf*.tmp").c_str(), &found);
                           CHECK(search != INVALID_HANDLE_VALUE);
                           if (search != INVALID_HANDLE_VALUE)
                           {
                               FindClose(search);
                               const std::wstring kept = folder / found.cFileName;
                               CString note;
                               note.Format(IDS_PROGRAM_KEPT, kept.c_str());
                               std::wstring text = ErrorText(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
                               if (text.empty() || text.back() != L'\n')
                                   text += L"\r\n";
                               CHECK_EQ(box, text + L"\r\n" + static_cast<LPCWSTR>(note));
                               CHECK(ReadFileBytes(kept) != original);
                               DeleteFileW(kept.c_str());
                           }
                       }});
    theTestApp.m_boxes.clear();
}

// The short form of a long path, which the loader takes.
static std::wstring ShortName(const std::wstring& path)
{
    wchar_t name[MAX_PATH];
    return GetShortPathNameW((L"\\\\?\\" + path).c_str(), name, MAX_PATH) ? name : path;
}

// Targets whose paths reach and pass MAX_PATH (255 to 300 characters):
// Enable with the copy, Disable and Start work, and the copy is named
// exactly "<path>.bak".
TEST(LongPathsWorkForEveryCommand)
{
    CScratchFolder folder(L"stress_long");
    const std::wstring record = folder / L"record.txt";
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", record.c_str());
    const std::string program = ReadFileBytes(Fixture(L"launch_recorder.exe"));
    CManifestToolDlg dialog;
    RunDialog(dialog,
              {[&](CManifestToolDlg& d)
               {
                   int started = 0;
                   for (size_t length : {255, 259, 260, 261, 280, 300})
                   {
                       // A folder of the right depth, then the name that makes up
                       // the length.
                       std::wstring path = folder.Path();
                       while (path.size() + 100 < length)
                       {
                           path += std::wstring(60, L'd') + L"\\";
                           CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
                       }
                       path += std::wstring(length - path.size() - 4, L'n') + L".exe";
                       CHECK_EQ(path.size(), length);
                       WriteFileBytes(L"\\\\?\\" + path, program);
                       SetSaveCopy(d.m_hWnd, true);
                       SetPath(d.m_hWnd, path);
                       CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));

                       theTestApp.m_boxes.clear();
                       Click(d.m_hWnd, IDC_ENABLE_XP);
                       CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                       const std::wstring backupName = path.substr(path.rfind(L'\\') + 1) + L".bak";
                       if (!theTestApp.m_boxes.empty())
                           CHECK(theTestApp.m_boxes[0].find(L"'" + backupName + L"'") !=
                                 std::wstring::npos);
                       CHECK(ReadFileBytes(L"\\\\?\\" + path + L".bak") == program);
                       CHECK(LoaderResources(ShortName(path)).count(L"#24/#1/0") == 1);
                       CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));

                       SetSaveCopy(d.m_hWnd, false);
                       theTestApp.m_boxes.clear();
                       Click(d.m_hWnd, IDC_DISABLE_XP);
                       CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                       CHECK(IsQuestion(theTestApp.m_boxes.empty() ? L"" : theTestApp.m_boxes[0]));
                       CHECK(LoaderResources(ShortName(path)).count(L"#24/#1/0") == 0);

                       // Start: Wine's process creation garbles a name whose
                       // long form passes MAX_PATH, even given its short form,
                       // which Windows takes; under Wine only shorter ones start.
                       if (length >= MAX_PATH)
                           continue;
                       theTestApp.m_boxes.clear();
                       Click(d.m_hWnd, IDC_START);
                       CHECK(theTestApp.m_boxes.empty()); // no error box
                       ++started;
                       int lines = 0;
                       for (int wait = 0; wait < 50 && lines < started; ++wait)
                       {
                           Sleep(100);
                           lines = 0;
                           for (char c : ReadFileBytes(record))
                               lines += c == '\n';
                       }
                       CHECK_EQ(lines, started);
                   }
               }});
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", nullptr);
    theTestApp.m_boxes.clear();
}

// Paths that pass MAX_PATH and have no shorter form (every folder name here is
// its own 8.3 name, as every name is on a volume without short names): the
// loader refuses them even as "\\?\", so the tool reads them itself. Enable
// (with the copy and the program's own version) and Disable work; Start shows
// the platform's reason. What was written is read back through the loader
// from a copy under a short name.
TEST(LongPathsWithoutAShortFormAreReadByTheToolItself)
{
    CScratchFolder folder(L"noshort");
    // Every name on the way must be its own short name.
    wchar_t baseShort[MAX_PATH];
    if (GetShortPathNameW(folder.Path().c_str(), baseShort, MAX_PATH) != folder.Path().size())
    {
        printf("  not run: %s has longer names than 8.3\n", Utf8(folder.Path()).c_str());
        return;
    }
    const std::string program = ReadFileBytes(Fixture(L"version_1016.exe"));
    const std::wstring copy = folder / L"copy.exe";
    auto manifestOf = [&](const std::wstring& path)
    {
        DeleteFileW(copy.c_str());
        CopyFileW((L"\\\\?\\" + path).c_str(), copy.c_str(), FALSE);
        const ResourceMap resources = LoaderResources(copy);
        const auto manifest = resources.find(L"#24/#1/0");
        return manifest == resources.end() ? std::string() : manifest->second;
    };
    CManifestToolDlg dialog;
    RunDialog(
        dialog,
        {[&](CManifestToolDlg& d)
         {
             for (size_t length : {261, 300})
             {
                 // Folders of at most eight characters, then "prog.exe".
                 std::wstring path = folder.Path();
                 for (size_t left = length - path.size() - 8; left > 0;)
                 {
                     size_t take = left < 9 ? left : 9;
                     if (left - take == 1)
                         --take; // no folder of no characters
                     path += std::wstring(take - 1, L'd') + L"\\";
                     CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
                     left -= take;
                 }
                 const std::wstring target = path + L"prog.exe";
                 CHECK_EQ(target.size(), length);
                 CHECK(WriteFileBytes(L"\\\\?\\" + target, program));
                 wchar_t shortName[1024];
                 CHECK(GetShortPathNameW((L"\\\\?\\" + target).c_str(), shortName, 1024) >=
                       MAX_PATH);
                 SetSaveCopy(d.m_hWnd, true);
                 SetPath(d.m_hWnd, target);
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));

                 theTestApp.m_boxes.clear();
                 Click(d.m_hWnd, IDC_ENABLE_XP);
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                 CHECK(IsQuestion(theTestApp.m_boxes.empty() ? L"" : theTestApp.m_boxes[0]));
                 CHECK(ReadFileBytes(L"\\\\?\\" + target + L".bak") == program);
                 const std::string manifest = manifestOf(target);
                 CHECK(manifest.find("version=\"1.0.1.6\"") != std::string::npos);
                 CHECK(manifest.find("Microsoft.Windows.Common-Controls") != std::string::npos);
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));

                 SetSaveCopy(d.m_hWnd, false);
                 theTestApp.m_boxes.clear();
                 Click(d.m_hWnd, IDC_DISABLE_XP);
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                 CHECK(IsQuestion(theTestApp.m_boxes.empty() ? L"" : theTestApp.m_boxes[0]));
                 CHECK(manifestOf(target).empty());
                 CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));

                 // Process creation refuses such a name too, and says why.
                 theTestApp.m_boxes.clear();
                 Click(d.m_hWnd, IDC_START);
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                 const std::wstring box = theTestApp.m_boxes.empty() ? L"" : theTestApp.m_boxes[0];
                 bool platformText = false;
                 for (DWORD error : {ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE,
                                     ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND})
                     platformText = platformText || box == ErrorText(error);
                 CHECK(platformText);
             }
         }});
    theTestApp.m_boxes.clear();
}
