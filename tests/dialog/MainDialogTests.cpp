// The main dialog, created from the program's real resources and driven by
// window messages: its state at start, the buttons for each kind of file,
// keys, drops, the file dialog and the texts in the user's language.
#include "DialogDriver.h"
#include "TestApp.h"

#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/UpdateFaults.h"

#include "engine/NativePath.h"
#include "pe/ResourceUpdate.h"
#include "res/resource.h"

#include "framework/WinApp.h"

#include <shlobj.h>

#include <memory>

using namespace testing;

namespace
{
std::pair<DWORD, DWORD> Selection(HWND edit)
{
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

void Key(HWND window, UINT key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

std::string ButtonsFor(const std::wstring& path)
{
    CManifestToolDlg dialog;
    std::string buttons = "not run";
    const INT_PTR result = RunDialog(dialog, {[&](CManifestToolDlg& d)
                                              {
                                                  SetPath(d.m_hWnd, path);
                                                  buttons = Buttons(d.m_hWnd);
                                              }});
    CHECK_EQ(result, INT_PTR(IDCANCEL));
    return buttons;
}
} // namespace

TEST(StartState)
{
    CManifestToolDlg dialog;
    theTestApp.m_pMainWnd = &dialog;
    RunDialog(dialog,
              {[](CManifestToolDlg& d)
               {
                   HWND edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH);
                   CHECK(TextOf(edit).empty());
                   CHECK(GetFocus() == edit);
                   CHECK_EQ(SendMessageW(GetDlgItem(d.m_hWnd, IDC_SAVE_COPY), BM_GETCHECK, 0, 0),
                            LRESULT(BST_CHECKED));
                   CHECK_EQ(Buttons(d.m_hWnd), std::string("---"));
                   CHECK(IsEnabled(d.m_hWnd, IDC_BROWSE));
                   CHECK(IsEnabled(d.m_hWnd, IDC_ABOUT));
                   CHECK_EQ(TextOf(d.m_hWnd), std::wstring(L"Lumaform - Orvanel Software "));
                   CHECK(SendMessageW(d.m_hWnd, WM_GETICON, ICON_BIG, 0) != 0);
                   CHECK_EQ(SendMessageW(d.m_hWnd, WM_GETICON, ICON_BIG, 0),
                            SendMessageW(d.m_hWnd, WM_GETICON, ICON_SMALL, 0));
               }});
    theTestApp.m_pMainWnd = nullptr;
}

TEST(ButtonsFollowTheFile)
{
    CHECK_EQ(ButtonsFor(Fixture(L"no_version.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"manifest1english.exe")), std::string("-DS"));
    CHECK_EQ(ButtonsFor(Fixture(L"manifest2only.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"manifest1twolanguages.exe")), std::string("-DS"));
    // Manifest 1 about something else than the look: Enable while no
    // variant asks for it, the classic controls named included; Disable when
    // one does, or when one is not XML and Windows refuses it too; neither
    // for one that only the reader cannot read (Wine reads a bare "&").
    CHECK_EQ(ButtonsFor(Fixture(L"uac_only.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"runtime_only.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"utf16_settings.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"classic_controls.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"dotnet2008.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"themed_settings.exe")), std::string("-DS"));
    CHECK_EQ(ButtonsFor(Fixture(L"broken_xml.exe")), std::string("-DS"));
    CHECK_EQ(ButtonsFor(Fixture(L"not_xml.exe")), std::string("--S"));
    CHECK_EQ(ButtonsFor(Fixture(L"missing_import.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"does not exist.exe")), std::string("---"));
    CHECK_EQ(ButtonsFor(BinDirectory()), std::string("---"));
    // Programs for the other processors the tool writes manifests for.
    CHECK_EQ(ButtonsFor(Fixture(L"other_arch.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(Fixture(L"arm64_target.exe")), std::string("E-S"));
    CHECK_EQ(ButtonsFor(L""), std::string("---"));

    CScratchFolder folder(L"probe");
    CHECK(WriteFileBytes(folder / L"notes.txt", "just some text\r\n"));
    CHECK_EQ(ButtonsFor(folder / L"notes.txt"), std::string("---"));
}

TEST(ProbingADllRunsNoneOfItsCode)
{
    const std::wstring marker = Fixture(L"marker.dll.ran");
    DeleteFileW(marker.c_str());
    CHECK_EQ(ButtonsFor(Fixture(L"marker.dll")), std::string("E-S"));
    CHECK(!FileExists(marker));
}

TEST(ButtonsFollowEveryChangeOfTheText)
{
    CManifestToolDlg dialog;
    RunDialog(dialog, {[](CManifestToolDlg& d)
                       {
                           SetPath(d.m_hWnd, Fixture(L"no_version.exe"));
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                           // One more character makes it a missing file.
                           HWND edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH);
                           SendMessageW(edit, EM_SETSEL, 0x7FFF, 0x7FFF);
                           SendMessageW(edit, WM_CHAR, L'x', 1);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("---"));
                           SendMessageW(edit, WM_CHAR, VK_BACK, 1);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                       }});
}

TEST(EnterKeepsTheWindowEscapeClosesIt)
{
    CManifestToolDlg dialog;
    const std::wstring path = Fixture(L"no_version.exe");
    const INT_PTR result = RunDialog(
        dialog, {[&](CManifestToolDlg& d)
                 {
                     SetPath(d.m_hWnd, path);
                     Key(GetDlgItem(d.m_hWnd, IDC_APP_PATH), VK_RETURN);
                 },
                 [&](CManifestToolDlg& d)
                 {
                     CHECK(IsWindowVisible(d.m_hWnd));
                     CHECK_EQ(TextOf(GetDlgItem(d.m_hWnd, IDC_APP_PATH)), path);
                     CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                     SetFocus(GetDlgItem(d.m_hWnd, IDC_SAVE_COPY));
                     Key(GetDlgItem(d.m_hWnd, IDC_SAVE_COPY), VK_RETURN);
                 },
                 [&](CManifestToolDlg& d)
                 {
                     CHECK(IsWindowVisible(d.m_hWnd));
                     CHECK_EQ(SendMessageW(GetDlgItem(d.m_hWnd, IDC_SAVE_COPY), BM_GETCHECK, 0, 0),
                              LRESULT(BST_CHECKED));
                     Key(GetDlgItem(d.m_hWnd, IDC_APP_PATH), VK_ESCAPE);
                 },
                 [&](CManifestToolDlg&) { CHECK(!"Escape did not close the dialog"); }});
    CHECK_EQ(result, INT_PTR(IDCANCEL));
    CHECK(dialog.m_hWnd == nullptr);
}

TEST(DropTakesTheFirstFile)
{
    CManifestToolDlg dialog;
    RunDialog(dialog, {[](CManifestToolDlg& d)
                       {
                           HWND edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH);
                           SetPath(d.m_hWnd, L"something typed before");
                           SendMessageW(edit, EM_SETSEL, 2, 5);
                           const std::wstring first = Fixture(L"manifest1english.exe");
                           DropFiles(edit, {first, Fixture(L"no_version.exe")});
                           CHECK_EQ(TextOf(edit), first);
                           CHECK_EQ(Selection(edit).first, DWORD(first.size()));
                           CHECK_EQ(Selection(edit).second, DWORD(first.size()));
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));

                           const std::wstring folder =
                               BinDirectory().substr(0, BinDirectory().size() - 1);
                           DropFiles(edit, {folder});
                           CHECK_EQ(TextOf(edit), folder);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("---"));
                           CHECK(GetFocus() == edit);
                       }});
}

// Run as administrator, the tool would not get Explorer's drops unless the
// path field lets the drop's three messages through UIPI (Wine has no UIPI:
// what the program asks of the platform is checked).
TEST(ThePathFieldLetsDropsThroughFromLowerIntegrity)
{
    CObservedCalls observed;
    CManifestToolDlg dialog;
    HWND edit = nullptr;
    RunDialog(dialog, {[&](CManifestToolDlg& d) { edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH); }});
    using Arguments = std::vector<std::wstring>;
    const std::vector<CObservedCall> calls = observed.Of("ChangeWindowMessageFilterEx");
    CHECK_EQ(calls.size(), size_t(3));
    if (calls.size() == 3)
    {
        const std::wstring window = ObservedText(edit);
        CHECK(calls[0].arguments == Arguments({window, L"563", L"1"})); // WM_DROPFILES
        CHECK(calls[1].arguments == Arguments({window, L"74", L"1"}));  // WM_COPYDATA
        CHECK(calls[2].arguments == Arguments({window, L"73", L"1"}));  // WM_COPYGLOBALDATA
    }
    CHECK(observed.Of("ChangeWindowMessageFilter").empty());
}

TEST(FileDialogCancelledChangesNothing)
{
    CManifestToolDlg dialog;
    RunDialog(dialog, {[](CManifestToolDlg& d)
                       {
                           const std::wstring path = Fixture(L"no_version.exe");
                           SetPath(d.m_hWnd, path);
                           bool seen = false;
                           WhileModal(
                               d.m_hWnd, [&] { Click(d.m_hWnd, IDC_BROWSE); },
                               [&](HWND fileDialog)
                               {
                                   seen = true;
                                   PostMessageW(fileDialog, WM_COMMAND, IDCANCEL, 0);
                               });
                           CHECK(seen);
                           CHECK_EQ(TextOf(GetDlgItem(d.m_hWnd, IDC_APP_PATH)), path);
                           CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));
                       }});
}

TEST(FileDialogPutsTheChosenNameInTheField)
{
    CScratchFolder folder(L"browse");
    for (const wchar_t* name : {L"manifest1english.exe", L"not there yet.exe"})
    {
        const std::wstring chosen = folder / name;
        if (std::wstring(name) == L"manifest1english.exe")
            CopyFileW(Fixture(name).c_str(), chosen.c_str(), FALSE);
        CManifestToolDlg dialog;
        RunDialog(dialog, {[&](CManifestToolDlg& d)
                           {
                               WhileModal(
                                   d.m_hWnd, [&] { Click(d.m_hWnd, IDC_BROWSE); },
                                   [&](HWND fileDialog)
                                   {
                                       // The file name box: an edit, or a combo box's edit.
                                       for (int id : {0x47c /* cmb13 */, 0x480 /* edt1 */})
                                           SetDlgItemTextW(fileDialog, id, chosen.c_str());
                                       PostMessageW(fileDialog, WM_COMMAND, IDOK, 0);
                                   });
                               HWND edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH);
                               CHECK_EQ(TextOf(edit), chosen);
                               CHECK_EQ(Selection(edit).first, DWORD(chosen.size()));
                               CHECK_EQ(Selection(edit).second, DWORD(chosen.size()));
                               CHECK_EQ(Buttons(d.m_hWnd),
                                        std::string(FileExists(chosen) ? "-DS" : "---"));
                           }});
    }
}

// Start names the program by its path and gives it the same path in quotes as
// its command line (unquoted, Windows would cut a path with a blank into two
// arguments); no current directory is given, so it runs in the tool's. What
// the started program sees is checked end to end.
TEST(StartGivesTheProgramItsPathInQuotes)
{
    CScratchFolder folder(L"start_quoted");
    const std::wstring programFiles = folder / L"Program Files";
    CreateDirectoryW(programFiles.c_str(), nullptr);
    const std::wstring target = programFiles + L"\\App.exe";
    CHECK(CopyFileW(Fixture(L"no_version.exe").c_str(), target.c_str(), FALSE));
    theTestApp.Clear();
    CObservedCalls observed;
    CManifestToolDlg dialog;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetPath(d.m_hWnd, target);
                           Click(d.m_hWnd, IDC_START);
                       }});
    const std::vector<CObservedCall> calls = observed.Of("CreateProcessW");
    CHECK_EQ(calls.size(), size_t(1));
    if (!calls.empty())
        CHECK(calls[0].arguments ==
              std::vector<std::wstring>({target, L"\"" + target + L"\"", L"(null)"}));
    CHECK(theTestApp.m_boxes.empty());
}

// The 32-bit tool on 64-bit Windows: a program the user names under the
// system folder is probed, copied, changed and started there, not in the
// 32-bit folder WOW64 sends the tool's own calls to. Wine has no such
// redirection here: two folders stand for the system folder the user names
// and the alias the tool reaches it through, each with another program.
TEST(TheSystemFolderTheUserNamesIsTheOneChanged)
{
    CScratchFolder folder(L"redirected");
    const std::wstring system = folder / L"System32", native = folder / L"Sysnative";
    CreateDirectoryW(system.c_str(), nullptr);
    CreateDirectoryW(native.c_str(), nullptr);
    const std::wstring named = system + L"\\App.exe", real = native + L"\\App.exe";
    CHECK(CopyFileW(Fixture(L"manifest1english.exe").c_str(), named.c_str(), FALSE));
    CHECK(CopyFileW(Fixture(L"no_version.exe").c_str(), real.c_str(), FALSE));
    const std::string namedBytes = ReadFileBytes(named), realBytes = ReadFileBytes(real);
    const CFolderAlias alias = {system, native};
    SetRedirectedFolderForTests(&alias);
    theTestApp.Clear();
    CObservedCalls observed;
    CManifestToolDlg dialog;
    std::string buttons[2];
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           SetPath(d.m_hWnd, named);
                           buttons[0] = Buttons(d.m_hWnd); // the real program has no manifest
                           Click(d.m_hWnd, IDC_ENABLE_XP); // with the copy
                           buttons[1] = Buttons(d.m_hWnd);
                           Click(d.m_hWnd, IDC_START);
                       }});
    SetRedirectedFolderForTests(nullptr);
    CHECK_EQ(buttons[0], std::string("E-S"));
    CHECK_EQ(buttons[1], std::string("-DS"));
    CHECK_EQ(theTestApp.m_boxes.size(), size_t(1)); // the question, answered with OK
    if (!theTestApp.m_boxes.empty())
        CHECK(theTestApp.m_boxes[0].find(L"'App.exe.bak'") != std::wstring::npos);
    CHECK(ReadFileBytes(named) == namedBytes);
    CHECK(!FileExists(named + L".bak"));
    CHECK(ReadFileBytes(real + L".bak") == realBytes);
    CHECK_EQ(LoaderResources(real).count(L"#24/#1/0"), size_t(1));
    // Started through the alias, under the name the user gave.
    const std::vector<CObservedCall> calls = observed.Of("CreateProcessW");
    CHECK_EQ(calls.size(), size_t(1));
    if (!calls.empty())
        CHECK(calls[0].arguments ==
              std::vector<std::wstring>({real, L"\"" + named + L"\"", L"(null)"}));
    theTestApp.Clear();
}

// Windows judges a change before it is made. A new manifest the platform
// refuses (through the writer's fault hook, as CreateActCtxW fails) replaces
// nothing: the program keeps every byte, nothing is left beside it, not even
// the copy this command made, and the box says why in the user's language.
// A program for another processor is not judged. A variant that only the
// reader cannot read is not deleted where the platform accepts it (the file
// changed after the probe), and is where the platform refuses it too.
TEST(WindowsJudgesEveryChangeFirst)
{
    CScratchFolder folder(L"judged");
    const std::wstring target = folder / L"Judged.exe";
    auto text = [](UINT english)
    {
        const bool refused = english == IDS_MANIFEST_REFUSED;
        if (english == IDS_MANIFEST_UNJUDGED)
            return std::wstring(French() ? L"Le manifeste de 'Judged.exe' est sous une forme que "
                                           L"Lumaform ne modifie pas, et Windows ne peut pas "
                                           L"\u00eatre consult\u00e9 ici pour savoir s'il "
                                           L"l'accepte. Le programme n'a pas \u00e9t\u00e9 "
                                           L"modifi\u00e9."
                                         : L"The manifest of 'Judged.exe' is in a form Lumaform "
                                           L"does not change, and Windows cannot be asked here "
                                           L"whether it accepts it. The program was not changed.");
        if (French())
            return refused
                       ? std::wstring(L"Windows refuserait de d\u00e9marrer 'Judged.exe' avec "
                                      L"le manifeste modifi\u00e9. Le programme n'a pas "
                                      L"\u00e9t\u00e9 modifi\u00e9.")
                       : std::wstring(L"Le manifeste de 'Judged.exe' est sous une forme que "
                                      L"Lumaform ne modifie pas, et Windows l'accepte tel "
                                      L"quel. Le programme n'a pas \u00e9t\u00e9 modifi\u00e9.");
        return refused ? std::wstring(L"Windows would refuse to start 'Judged.exe' with the "
                                      L"changed manifest. The program was not changed.")
                       : std::wstring(L"The manifest of 'Judged.exe' is in a form Lumaform does "
                                      L"not change, and Windows accepts it as it is. The program "
                                      L"was not changed.");
    };
    // A program of the other processor whose manifest neither reader reads:
    // the platform here cannot say whether its own Windows would accept it.
    const std::wstring other = folder / L"other.bin";
    CopyFileW(Fixture(L"other_arch.exe").c_str(), other.c_str(), FALSE);
    const std::string broken = LoaderResources(Fixture(L"broken_xml.exe"))[L"#24/#1/0"];
    HANDLE update = BeginResourceUpdate(other.c_str(), FALSE);
    CHECK(update && UpdateResourceEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), 0,
                                        const_cast<char*>(broken.data()), DWORD(broken.size())));
    CHECK(EndResourceUpdate(update, FALSE));
    CManifestToolDlg dialog;
    RunDialog(
        dialog,
        {[&](CManifestToolDlg& d)
         {
             SetPath(d.m_hWnd, other);
             CHECK_EQ(Buttons(d.m_hWnd), std::string("--S"));
             const std::wstring otherName = L"other.bin";
             const struct
             {
                 const wchar_t* fixture; // probed
                 const wchar_t* changed; // the file when the button is clicked
                 int button;
                 bool refuse; // the platform refuses every new file
                 UINT box;    // the box, or 0 for the usual question
             } commands[] = {
                 {L"no_version.exe", L"no_version.exe", IDC_ENABLE_XP, true, IDS_MANIFEST_REFUSED},
                 {L"uac_only.exe", L"uac_only.exe", IDC_ENABLE_XP, true, IDS_MANIFEST_REFUSED},
                 {L"themed_settings.exe", L"themed_settings.exe", IDC_DISABLE_XP, true,
                  IDS_MANIFEST_REFUSED},
                 {L"broken_xml.exe", L"not_xml.exe", IDC_DISABLE_XP, false, IDS_MANIFEST_KEPT},
                 {L"broken_xml.exe", L"broken_xml.exe", IDC_DISABLE_XP, false, 0},
                 {L"other_arch.exe", L"other_arch.exe", IDC_ENABLE_XP, true, 0},
                 {L"broken_xml.exe", otherName.c_str(), IDC_DISABLE_XP, false,
                  IDS_MANIFEST_UNJUDGED},
             };
             for (const auto& command : commands)
             {
                 WriteFileBytes(target, ReadFileBytes(Fixture(command.fixture)));
                 SetPath(d.m_hWnd, target);
                 const std::string buttons = Buttons(d.m_hWnd);
                 const std::string original =
                     ReadFileBytes(command.changed == otherName ? other : Fixture(command.changed));
                 WriteFileBytes(target, original);
                 theTestApp.m_boxes.clear();
                 {
                     const std::unique_ptr<CFailingStep> failing(
                         command.refuse ? new CFailingStep(ResourceUpdateStep::Judge,
                                                           ERROR_SXS_CANT_GEN_ACTCTX)
                                        : nullptr);
                     Click(d.m_hWnd, command.button);
                 }
                 CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                 if (command.box != 0)
                 {
                     if (!theTestApp.m_boxes.empty())
                         CHECK_EQ(theTestApp.m_boxes[0], text(command.box));
                     CHECK(ReadFileBytes(target) == original);
                     CHECK_EQ(FilesIn(folder.Path()), 2);
                     CHECK_EQ(Buttons(d.m_hWnd), buttons);
                 }
                 else
                 {
                     CHECK(ReadFileBytes(target) != original);
                     CHECK(ReadFileBytes(target + L".bak") == original);
                     DeleteFileW((target + L".bak").c_str());
                 }
                 CHECK(DeleteFileW(target.c_str()));
             }
         }});
    theTestApp.m_boxes.clear();
}

TEST(TextsAreInTheUsersLanguage)
{
    struct Expected
    {
        int id;
        const wchar_t* english;
        const wchar_t* french;
    };
    const Expected texts[] = {
        {IDC_BROWSE, L"...", L"..."},
        {IDC_SAVE_COPY, L"&Save a copy of the file before modification (recommended)",
         L"&Sauvegarder une copie du fichier (recommand\u00e9)"},
        {IDC_ENABLE_XP, L"&Enable XP style", L"&Activer style XP"},
        {IDC_DISABLE_XP, L"&Disable XP style", L"&D\u00e9sactiver style XP"},
        {IDC_START, L"&Start", L"&Lancer"},
        {IDC_ABOUT, L"&About...", L"A &propos de..."},
    };
    CManifestToolDlg dialog;
    RunDialog(dialog,
              {[&](CManifestToolDlg& d)
               {
                   for (const auto& text : texts)
                       CHECK_EQ(TextOf(GetDlgItem(d.m_hWnd, text.id)),
                                std::wstring(French() ? text.french : text.english));
                   HWND label = GetWindow(GetDlgItem(d.m_hWnd, IDC_APP_PATH), GW_HWNDPREV);
                   CHECK_EQ(TextOf(label), std::wstring(French() ? L"A&pplication \u00e0 modifier:"
                                                                 : L"&Application to modify:"));
                   CHECK_EQ(TextOf(d.m_hWnd), std::wstring(L"Lumaform - Orvanel Software "));
               }});
    CString progress;
    progress.Format(IDS_PROGRESS_DISABLE, L"App.exe");
    CHECK_EQ(std::wstring(progress),
             std::wstring(French() ? L"D\u00e9sactivation du style XP de 'App.exe'..."
                                   : L"Disabling XP style for 'App.exe'..."));
    CString filter;
    filter.LoadString(IDS_EXE_FILTER);
    CHECK_EQ(std::wstring(filter),
             std::wstring(French() ? L"Fichiers ex\u00e9cutables (*.exe)|*.exe||"
                                   : L"Executable files (*.exe)|*.exe||"));
    const char* expected = getenv("LUMAFORM_EXPECT_LANGUAGE");
    if (expected)
        CHECK_EQ(std::string(French() ? "fr" : "en"), std::string(expected));
}

TEST(NoMessageBoxFromTheProbe)
{
    CHECK(theTestApp.m_boxes.empty());
}
