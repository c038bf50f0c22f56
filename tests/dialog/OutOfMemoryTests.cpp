// Memory that runs out inside a handler: one allocation refused by the test
// heap while the main dialog probes a typed or dropped path, enables or
// disables. The handler's exception goes no further than the window
// procedure: one box says so in the user's language, the target is as it
// was, and the dialog answers the next message as always.
#include "DialogDriver.h"
#include "OutOfMemory.h"
#include "TestApp.h"

#include "../support/FailingHeap.h"
#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "res/resource.h"

using namespace testing;

namespace testing
{
std::wstring OutOfMemoryText()
{
    return French() ? L"La m\u00e9moire est insuffisante pour terminer cette op\u00e9ration."
                    : L"There is not enough memory to complete this operation.";
}

std::vector<std::wstring> BoxesWhenMemoryFails(const std::function<void()>& action, int skip)
{
    theTestApp.Clear();
    {
        CHeapFailure failure(skip);
        action();
        CHECK_EQ(failure.Refused(), 1);
    }
    return theTestApp.m_boxes;
}
} // namespace testing

TEST(MemoryRunningOutInAHandlerIsReportedAndTheDialogGoesOn)
{
    CScratchFolder folder(L"out_of_memory");
    const std::wstring plain = folder / L"plain.exe", manifested = folder / L"manifested.exe";
    CopyFileW(Fixture(L"no_version.exe").c_str(), plain.c_str(), FALSE);
    CopyFileW(Fixture(L"manifest1english.exe").c_str(), manifested.c_str(), FALSE);
    const std::string plainBytes = ReadFileBytes(plain),
                      manifestedBytes = ReadFileBytes(manifested);
    const std::vector<std::wstring> outOfMemory = {OutOfMemoryText()};

    CManifestToolDlg dialog;
    RunDialog(dialog,
              {[&](CManifestToolDlg& d)
               {
                   HWND edit = GetDlgItem(d.m_hWnd, IDC_APP_PATH);
                   // A keystroke: the probe that follows it runs out of memory.
                   SetPath(d.m_hWnd, plain.substr(0, plain.size() - 1));
                   SendMessageW(edit, EM_SETSEL, plain.size(), plain.size());
                   CHECK(BoxesWhenMemoryFails([&] { SendMessageW(edit, WM_CHAR, L'e', 1); }) ==
                         outOfMemory);
                   CHECK_EQ(TextOf(edit), plain);
                   SetPath(d.m_hWnd, plain);
                   CHECK_EQ(Buttons(d.m_hWnd), std::string("E-S"));

                   // A drop.
                   const std::vector<std::wstring> dropped = {manifested};
                   CHECK(BoxesWhenMemoryFails([&] { DropFiles(edit, dropped); }) == outOfMemory);
                   DropFiles(edit, dropped);
                   CHECK_EQ(TextOf(edit), manifested);
                   CHECK_EQ(Buttons(d.m_hWnd), std::string("-DS"));

                   // Enable and Disable: the target keeps every byte, and the
                   // command works at the next click.
                   const struct
                   {
                       const std::wstring& path;
                       const std::string& bytes;
                       int button;
                       const char* after;
                   } commands[] = {{plain, plainBytes, IDC_ENABLE_XP, "-DS"},
                                   {manifested, manifestedBytes, IDC_DISABLE_XP, "E-S"}};
                   for (const auto& command : commands)
                   {
                       SetPath(d.m_hWnd, command.path);
                       CHECK(BoxesWhenMemoryFails([&] { Click(d.m_hWnd, command.button); }) ==
                             outOfMemory);
                       CHECK(ReadFileBytes(command.path) == command.bytes);
                       CHECK(!FileExists(command.path + L".bak"));
                       CHECK_EQ(FilesIn(folder.Path()), 2);
                       theTestApp.Clear();
                       Click(d.m_hWnd, command.button);
                       CHECK_EQ(theTestApp.m_boxes.size(), size_t(1)); // the question
                       CHECK(ReadFileBytes(command.path) != command.bytes);
                       CHECK_EQ(Buttons(d.m_hWnd), std::string(command.after));
                       DeleteFileW((command.path + L".bak").c_str());
                   }
               }});
    theTestApp.Clear();
}

// Every allocation of Enable and of Disable refused in turn: each run shows
// exactly one box, and the target holds either its old bytes or the change
// made whole (when memory ran out only after the commit).
TEST(EveryAllocationOfACommandCanFail)
{
    CScratchFolder folder(L"out_of_memory_all");
    const std::wstring target = folder / L"target.exe";
    const std::string plain = ReadFileBytes(Fixture(L"no_version.exe"));
    const std::string manifested = ReadFileBytes(Fixture(L"manifest1english.exe"));
    CManifestToolDlg dialog;
    RunDialog(dialog,
              {[&](CManifestToolDlg& d)
               {
                   SetSaveCopy(d.m_hWnd, false);
                   for (int button : {IDC_ENABLE_XP, IDC_DISABLE_XP})
                   {
                       const std::string& original = button == IDC_ENABLE_XP ? plain : manifested;
                       int skip = 0;
                       for (; skip < 2000; ++skip)
                       {
                           WriteFileBytes(target, original);
                           SetPath(d.m_hWnd, target);
                           theTestApp.Clear();
                           int refused = 0;
                           {
                               CHeapFailure failure(skip);
                               Click(d.m_hWnd, button);
                               refused = failure.Refused();
                           }
                           CHECK_EQ(theTestApp.m_boxes.size(), size_t(1));
                           const std::string after = ReadFileBytes(target);
                           const bool changed = after != original &&
                                                (LoaderResources(target).count(L"#24/#1/0") == 1) ==
                                                    (button == IDC_ENABLE_XP);
                           CHECK(after == original || changed);
                           if (FilesIn(folder.Path()) != 1)
                           {
                               WIN32_FIND_DATAW found;
                               HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
                               std::string names;
                               do
                                   names += Utf8(found.cFileName) + " ";
                               while (FindNextFileW(search, &found));
                               FindClose(search);
                               Fail(__FILE__, __LINE__,
                                    "skip " + std::to_string(skip) + " left: " + names);
                           }
                           if (refused == 0)
                               break; // the command ran through without a refusal
                       }
                       printf("  %s: %d allocations refused one at a time\n",
                              button == IDC_ENABLE_XP ? "Enable" : "Disable", skip);
                       CHECK(skip > 10 && skip < 2000);
                   }
               }});
    theTestApp.Clear();
}
