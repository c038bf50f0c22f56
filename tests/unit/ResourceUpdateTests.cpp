// The resource writer under Wine, on copies of real programs: what the
// platform's loader reads back, whether the programs still run, and what is
// left on disk after every kind of failure.
#include "pe/ActivationContext.h"
#include "pe/ResourceUpdate.h"
#include "tests/support/LoaderResources.h"
#include "tests/support/Mutations.h"
#include "tests/support/TestHarness.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UpdateFaults.h"

using namespace testing;

namespace
{
// Runs the program and returns its exit code, or -1 when it does not start.
long RunProgram(const std::wstring& path)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    DWORD code = 0xFFFF;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

std::wstring CopyFixture(const CScratchFolder& folder, const wchar_t* name, const wchar_t* as)
{
    const std::wstring path = folder / as;
    CopyFileW(Fixture(name).c_str(), path.c_str(), FALSE);
    return path;
}

const char kManifest[] =
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>";

BOOL WriteManifest(HANDLE update)
{
    return UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0,
                               const_cast<char*>(kManifest), sizeof kManifest - 1);
}

DWORD BeginError(const std::wstring& path)
{
    SetLastError(0xDEADBEEF);
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    const DWORD error = GetLastError();
    if (update)
    {
        EndResourceUpdate(update, TRUE);
        return 0;
    }
    return error;
}
} // namespace

TEST(RoundTripKeepsResourcesAndTheProgramRuns)
{
    CScratchFolder folder(L"update_round_trip");
    for (const wchar_t* name : {L"rich_resources.exe", L"version_1016.exe", L"marker.dll"})
    {
        const std::wstring path = CopyFixture(folder, name, name);
        const ResourceMap before = LoaderResources(path);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        CHECK(update != nullptr);
        CHECK(EndResourceUpdate(update, FALSE));
        CHECK(LoaderResources(path) == before);
        CHECK_EQ(FilesIn(folder.Path()), 1);
        DeleteFileW(path.c_str());
    }
    const std::wstring program = CopyFixture(folder, L"rich_resources.exe", L"rich.exe");
    HANDLE update = BeginResourceUpdate(program.c_str(), FALSE);
    CHECK(EndResourceUpdate(update, FALSE));
    CHECK_EQ(RunProgram(program), 0L);
}

TEST(ManifestOneAddedThenDeletedAsTheLoaderSeesIt)
{
    CScratchFolder folder(L"update_manifest");
    const std::wstring path = CopyFixture(folder, L"rich_resources.exe", L"rich.exe");
    ResourceMap expected = LoaderResources(path);

    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(WriteManifest(update));
    CHECK(EndResourceUpdate(update, FALSE));
    ResourceMap withManifest = expected;
    withManifest[L"#24/#1/0"] = kManifest;
    CHECK(LoaderResources(path) == withManifest);
    CHECK_EQ(RunProgram(path), 0L);

    update = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0, nullptr, 0));
    CHECK(EndResourceUpdate(update, FALSE));
    CHECK(LoaderResources(path) == expected);
    CHECK_EQ(RunProgram(path), 0L);
    CHECK_EQ(FilesIn(folder.Path()), 1);
}

TEST(StringTypesAndNamesAreFoundAsTheLoaderLooksThemUp)
{
    CScratchFolder folder(L"update_names");
    const std::wstring path = CopyFixture(folder, L"no_version.exe", L"plain.exe");
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    char data[] = "named";
    CHECK(UpdateResourceEntry(update, L"Custom", L"entry", 0x40C, data, 5));
    CHECK(UpdateResourceEntry(update, L"#300", L"#7", 0, data, 2));
    CHECK(EndResourceUpdate(update, FALSE));
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    CHECK(FindResourceExW(module, L"CUSTOM", L"ENTRY", 0x40C) != nullptr);
    CHECK(FindResourceExW(module, L"custom", L"Entry", 0x40C) != nullptr);
    HRSRC numbered = FindResourceW(module, MAKEINTRESOURCEW(7), MAKEINTRESOURCEW(300));
    CHECK(numbered != nullptr && SizeofResource(module, numbered) == 2);
    FreeLibrary(module);
}

TEST(DiscardLeavesTheFileAsItWas)
{
    CScratchFolder folder(L"update_discard");
    const std::wstring path = CopyFixture(folder, L"manifest1twolanguages.exe", L"two.exe");
    const std::string before = ReadFileBytes(path);
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0, nullptr, 0));
    CHECK(WriteManifest(update));
    CHECK(EndResourceUpdate(update, TRUE));
    CHECK(ReadFileBytes(path) == before);
    CHECK_EQ(FilesIn(folder.Path()), 1);
    {
        CResourceUpdate owner(BeginResourceUpdate(path.c_str(), FALSE));
        CHECK(WriteManifest(owner.Get()));
    } // discarded by its owner
    CHECK(ReadFileBytes(path) == before);
}

TEST(BeginFailsWithThePlatformsErrors)
{
    CScratchFolder folder(L"update_errors");
    CHECK_EQ(BeginError(folder / L"missing.exe"), DWORD(ERROR_FILE_NOT_FOUND));
    CHECK_EQ(BeginError(folder / L"no folder\\missing.exe"), DWORD(ERROR_PATH_NOT_FOUND));
    CreateDirectoryW((folder / L"sub.exe").c_str(), nullptr);
    CHECK_EQ(BeginError(folder / L"sub.exe"), DWORD(ERROR_ACCESS_DENIED));

    const std::wstring readOnly = CopyFixture(folder, L"no_version.exe", L"readonly.exe");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    CHECK_EQ(BeginError(readOnly), DWORD(ERROR_ACCESS_DENIED));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::wstring held = CopyFixture(folder, L"no_version.exe", L"held.exe");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    CHECK_EQ(BeginError(held), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(holder);
    CHECK_EQ(BeginError(held), 0u);

    const std::wstring text = folder / L"text.exe";
    WriteFileBytes(text, "MZ this is not a program");
    CHECK_EQ(BeginError(text), DWORD(ERROR_BAD_EXE_FORMAT));
    const std::wstring truncated = folder / L"truncated.exe";
    WriteFileBytes(truncated, ReadFileBytes(Fixture(L"no_version.exe")).substr(0, 600));
    CHECK_EQ(BeginError(truncated), DWORD(ERROR_BAD_EXE_FORMAT));
}

// A running program cannot be replaced: the commit says so before anything
// is written, and the file and its folder are as they were.
TEST(CommitOnARunningProgramFails)
{
    CScratchFolder folder(L"update_running");
    const std::wstring path = CopyFixture(folder, L"launch_recorder.exe", L"running.exe");
    const std::string before = ReadFileBytes(path);
    SetEnvironmentVariableW(L"LUMAFORM_RECORDER_WAIT", L"5000");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    CHECK(CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process));
    SetEnvironmentVariableW(L"LUMAFORM_RECORDER_WAIT", nullptr);
    WaitForInputIdle(process.hProcess, 2000);
    Sleep(300);

    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(update != nullptr);
    CHECK(WriteManifest(update));
    SetLastError(0xDEADBEEF);
    CHECK(!EndResourceUpdate(update, FALSE));
    CHECK_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CHECK(ReadFileBytes(path) == before);
    CHECK_EQ(FilesIn(folder.Path()), 1);
}

// Each step made to fail in turn: the file keeps every byte, no temporary
// file stays, and the step's error comes back.
TEST(EveryFailingStepLeavesTheFileIntact)
{
    CScratchFolder folder(L"update_faults");
    const std::wstring path = CopyFixture(folder, L"rich_resources.exe", L"target.exe");
    const std::string before = ReadFileBytes(path);
    for (ResourceUpdateStep step : kUpdateSteps)
    {
        CFailingStep failing(step);
        SetLastError(0);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        DWORD error = GetLastError();
        bool failed = update == nullptr;
        if (update && !WriteManifest(update))
        {
            error = GetLastError();
            failed = true;
            EndResourceUpdate(update, TRUE);
        }
        else if (update && !EndResourceUpdate(update, FALSE))
        {
            error = GetLastError();
            failed = true;
        }
        CHECK(failed);
        CHECK_EQ(error, DWORD(ERROR_DISK_FULL));
        CHECK(ReadFileBytes(path) == before);
        CHECK_EQ(FilesIn(folder.Path()), 1);
    }
    // The file was released on every path: it can be deleted at once.
    CHECK(DeleteFileW(path.c_str()));
}

TEST(CommitKeepsTheTargetsAttributes)
{
    CScratchFolder folder(L"update_attributes");
    const std::wstring path = CopyFixture(folder, L"no_version.exe", L"hidden.exe");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    const DWORD before = GetFileAttributesW(path.c_str());
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(WriteManifest(update));
    CHECK(EndResourceUpdate(update, FALSE));
    CHECK_EQ(GetFileAttributesW(path.c_str()), before);
    CHECK(ReadFileBytes(path) != ReadFileBytes(Fixture(L"no_version.exe")));
}

// Deterministic damage to a real program: flipped bits, cut ends and grown or
// shrunk size fields. Each file is refused or comes out readable again.
TEST(ThousandMutationsNeitherCrashNorDamage)
{
    CScratchFolder folder(L"update_mutations");
    const std::string original = ReadFileBytes(Fixture(L"rich_resources.exe"));
    const std::wstring path = folder / L"mutant.exe";
    unsigned seed = 12345;
    int refused = 0, changed = 0;
    for (int i = 0; i < 1000; ++i)
    {
        const std::string bytes = MutateImage(original, i, seed);
        WriteFileBytes(path, bytes);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        if (!update)
        {
            ++refused;
            CHECK(ReadFileBytes(path) == bytes);
            continue;
        }
        CHECK(WriteManifest(update));
        if (!EndResourceUpdate(update, FALSE))
        {
            ++refused;
            CHECK(ReadFileBytes(path) == bytes);
            continue;
        }
        ++changed;
        HANDLE again = BeginResourceUpdate(path.c_str(), FALSE);
        CHECK(again != nullptr);
        EndResourceUpdate(again, TRUE);
    }
    printf("  %d refused, %d changed\n", refused, changed);
    CHECK(refused > 0 && changed > 0);
    CHECK_EQ(FilesIn(folder.Path()), 1);
}

// A read or a write that reports success and moves nothing ends the update
// with an error at once instead of looping for ever.
TEST(CallsThatMoveNothingFailAtOnce)
{
    CScratchFolder folder(L"update_no_progress");
    const std::wstring path = CopyFixture(folder, L"rich_resources.exe", L"target.exe");
    const std::string before = ReadFileBytes(path);
    for (const TransferStep& transfer : kTransferSteps)
    {
        const DWORD start = GetTickCount();
        CFailingStep failing(transfer.step, kFaultNoProgress);
        SetLastError(0);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        DWORD error = GetLastError();
        if (update)
        {
            CHECK(WriteManifest(update));
            SetLastError(0);
            CHECK(!EndResourceUpdate(update, FALSE));
            error = GetLastError();
        }
        CHECK_EQ(error, transfer.error);
        CHECK(GetTickCount() - start < 1000);
        CHECK(ReadFileBytes(path) == before);
        CHECK_EQ(FilesIn(folder.Path()), 1);
    }
}

// Whatever the replacement's outcome, the target's name holds the old file
// or the new one; where neither can be put back, the file that holds the
// program is kept and named, and nothing else is left behind.
TEST(FailedReplacementsLeaveTheOldOrTheNewFile)
{
    CScratchFolder folder(L"update_replace");
    const std::wstring path = folder / L"target.exe";
    const std::string old = ReadFileBytes(Fixture(L"no_version.exe"));
    // The new bytes, as a commit that succeeds writes them.
    WriteFileBytes(path, old);
    HANDLE reference = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(WriteManifest(reference));
    CHECK(EndResourceUpdate(reference, FALSE));
    const std::string changed = ReadFileBytes(path);
    CHECK(changed != old);

    enum Expect
    {
        kOld,
        kNew,
        kKeptOld,
        kKeptNew
    };
    struct Case
    {
        DWORD replaceError;
        int restoreFailures;
        BOOL result;
        Expect expect;
    } const cases[] = {
        {ERROR_ACCESS_DENIED, 0, FALSE, kOld}, // refused before anything moved, also once released
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, 0, TRUE,
         kNew}, // the old file gone: the new one moves in
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, 1, FALSE, kKeptNew},   // and that fails too
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 0, FALSE, kOld},     // the old file moved back
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1, TRUE, kNew},      // or else the new one moves in
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 2, FALSE, kKeptOld}, // neither: the old one is kept
    };
    for (const Case& c : cases)
    {
        WriteFileBytes(path, old);
        CFailingReplacement failing(c.replaceError, c.restoreFailures);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        CHECK(WriteManifest(update));
        std::wstring kept = L"not set";
        SetLastError(0xDEADBEEF);
        const BOOL result = EndResourceUpdateEx(update, FALSE, &kept);
        const DWORD error = GetLastError();
        CHECK_EQ(result, c.result);
        if (!c.result)
            CHECK_EQ(error, c.replaceError);
        const bool keeps = c.expect == kKeptOld || c.expect == kKeptNew;
        if (keeps)
        {
            CHECK(!FileExists(path));
            CHECK_EQ(ReadFileBytes(kept), c.expect == kKeptOld ? old : changed);
            CHECK_EQ(kept.substr(0, folder.Path().size()), folder.Path());
            CHECK_EQ(FilesIn(folder.Path()), 1);
            DeleteFileW(kept.c_str());
        }
        else
        {
            CHECK(kept.empty());
            CHECK(ReadFileBytes(path) == (c.expect == kOld ? old : changed));
            CHECK_EQ(FilesIn(folder.Path()), 1);
        }
    }
}

// A virus scanner holds the new file (or the old one) for a moment: putting
// it in place and removing a file made beside the target are tried again for
// about two seconds. Held a few times, the commit goes through and nothing
// is left beside the target; held throughout, the target keeps its bytes, the
// new file is gone and the error is the platform's.
TEST(FilesHeldAMomentByAScannerAreWaitedFor)
{
    CScratchFolder folder(L"update_scanner");
    const std::wstring path = folder / L"target.exe";
    const std::string old = ReadFileBytes(Fixture(L"no_version.exe"));
    WriteFileBytes(path, old);
    HANDLE reference = BeginResourceUpdate(path.c_str(), FALSE);
    CHECK(WriteManifest(reference));
    CHECK(EndResourceUpdate(reference, FALSE));
    const std::string changed = ReadFileBytes(path);

    constexpr int kAlways = CFailingTimes::kAlways;
    struct Case
    {
        ResourceUpdateStep step;
        DWORD error;
        int times;
        bool diskFull; // the flush fails too
        BOOL result;
        int calls;
        int waits; // of a quarter of a second
        int files; // in the folder afterwards
    } const cases[] = {
        // Replaced on the fourth try: the first retry comes at once.
        {ResourceUpdateStep::Replace, ERROR_SHARING_VIOLATION, 3, false, TRUE, 4, 2, 1},
        {ResourceUpdateStep::Replace, ERROR_ACCESS_DENIED, 2, false, TRUE, 3, 1, 1},
        // Held throughout: tried ten times over two seconds, then refused.
        {ResourceUpdateStep::Replace, ERROR_SHARING_VIOLATION, kAlways, false, FALSE, 10, 8, 1},
        // The old file once replaced, and the new one after a failure, go
        // once the scanner lets go of them.
        {ResourceUpdateStep::Remove, ERROR_SHARING_VIOLATION, 3, false, TRUE, 4, 3, 1},
        {ResourceUpdateStep::Remove, ERROR_ACCESS_DENIED, 2, true, FALSE, 3, 2, 1},
        // Held throughout, the old program stays beside the changed one:
        // the change stands and nothing is lost.
        {ResourceUpdateStep::Remove, ERROR_SHARING_VIOLATION, kAlways, false, TRUE, 9, 8, 2},
    };
    for (const Case& c : cases)
    {
        WriteFileBytes(path, old);
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        CHECK(WriteManifest(update));
        const DWORD start = GetTickCount();
        SetLastError(0xDEADBEEF);
        BOOL result;
        int calls;
        {
            CFailingTimes failing(c.step, c.error, c.times);
            if (c.diskFull)
                failing.AlsoFail(ResourceUpdateStep::Flush, ERROR_DISK_FULL);
            result = EndResourceUpdate(update, FALSE);
            calls = failing.Calls();
        }
        const DWORD error = GetLastError();
        const DWORD elapsed = GetTickCount() - start;
        CHECK_EQ(result, c.result);
        CHECK_EQ(calls, c.calls);
        if (!result)
            CHECK_EQ(error, c.diskFull ? DWORD(ERROR_DISK_FULL) : c.error);
        CHECK(ReadFileBytes(path) == (result ? changed : old));
        CHECK_EQ(FilesIn(folder.Path()), c.files);
        const DWORD waited = 250 * static_cast<DWORD>(c.waits);
        CHECK(elapsed + 50 >= waited && elapsed < waited + 2000);
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder / L"~lmf*.old").c_str(), &found);
        CHECK_EQ(search != INVALID_HANDLE_VALUE, c.files == 2);
        if (search != INVALID_HANDLE_VALUE)
        {
            FindClose(search);
            CHECK(ReadFileBytes(folder / found.cFileName) == old);
            DeleteFileW((folder / found.cFileName).c_str());
        }
    }
}

namespace
{
// Every resource as the loader reads it with the file mapped as data and
// with it laid out as an image.
bool ReadsBackAs(const std::wstring& path, const ResourceMap& expected)
{
    return LoaderResources(path) == expected &&
           LoaderResources(path, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE) ==
               expected;
}

// The name of the last section in the section table.
std::string LastSectionName(const std::string& file)
{
    auto read = [&](size_t at, size_t size)
    {
        uint32_t value = 0;
        if (at + size <= file.size())
            memcpy(&value, file.data() + at, size);
        return value;
    };
    const size_t header = read(0x3C, 4) + 4;
    const size_t table = header + 20 + read(header + 16, 2);
    const size_t last = table + 40 * (read(header + 2, 2) - 1);
    return last + 8 <= file.size()
               ? std::string(file.c_str() + last, strnlen(file.c_str() + last, 8))
               : std::string();
}

BOOL SetEntry(HANDLE update, LPCWSTR type, LPCWSTR name, const std::string& data)
{
    return UpdateResourceEntry(update, type, name, 0, const_cast<char*>(data.data()),
                               static_cast<DWORD>(data.size()));
}
} // namespace

// Trees that outgrow their section: one whose directory is rewritten in place
// and whose new data goes to a section at the end, one whose directory moves
// to a new last section. Every resource reads back through the loader, the
// programs run, changes can follow one another without the file growing
// again, and the platform's own update works on the result.
TEST(TreesOutsideTheirSectionReadBackAndTakeLaterUpdates)
{
    CScratchFolder folder(L"update_layouts");
    struct Case
    {
        const wchar_t* fixture;
        size_t size; // of the entry added
        const char* lastSection;
    } const cases[] = {{L"many_resources.exe", 2000, ".resdata"},
                       {L"rich_resources.exe", 300000, ".rsrc"}};
    for (const Case& c : cases)
    {
        const std::wstring path = CopyFixture(folder, c.fixture, L"layout.exe");
        const ResourceMap original = LoaderResources(path);
        const size_t originalSize = ReadFileBytes(path).size();
        std::string added(c.size, '\0');
        for (size_t i = 0; i < added.size(); ++i)
            added[i] = static_cast<char>('a' + i % 26);
        ResourceMap withEntry = original;
        withEntry[L"#24/#1/0"] = added;

        size_t enabledSize = 0;
        for (int round = 0; round < 2; ++round)
        {
            HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
            CHECK(SetEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), added));
            CHECK(EndResourceUpdate(update, FALSE));
            const std::string enabled = ReadFileBytes(path);
            CHECK_EQ(LastSectionName(enabled), std::string(c.lastSection));
            CHECK(ReadsBackAs(path, withEntry));
            CHECK_EQ(RunProgram(path), 0L);
            if (round == 0)
                enabledSize = enabled.size();
            CHECK_EQ(enabled.size(), enabledSize); // a second cycle grows nothing

            update = BeginResourceUpdate(path.c_str(), FALSE);
            CHECK(UpdateResourceEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), 0, nullptr, 0));
            CHECK(EndResourceUpdate(update, FALSE));
            CHECK(ReadsBackAs(path, original));
            CHECK(ReadFileBytes(path).size() <= enabledSize);
        }
        CHECK(enabledSize > originalSize);

        // The platform's own update on a file written this way.
        HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
        CHECK(SetEntry(update, RT_MANIFEST, MAKEINTRESOURCEW(1), added));
        CHECK(EndResourceUpdate(update, FALSE));
        const std::string byPlatform = "written by the platform";
        HANDLE platform = BeginUpdateResourceW(path.c_str(), FALSE);
        CHECK(platform != nullptr);
        CHECK(UpdateResourceW(platform, RT_RCDATA, L"PLATFORM", 0,
                              const_cast<char*>(byPlatform.data()),
                              static_cast<DWORD>(byPlatform.size())));
        CHECK(EndUpdateResourceW(platform, FALSE));
        ResourceMap expected = withEntry;
        expected[L"#10/PLATFORM/0"] = byPlatform;
        CHECK(ReadsBackAs(path, expected));
        CHECK(DeleteFileW(path.c_str()));
    }
}

namespace
{
// The machine field of a program's headers.
WORD MachineOf(const std::wstring& path)
{
    const std::string bytes = ReadFileBytes(path);
    uint32_t pe = 0;
    WORD machine = 0;
    memcpy(&pe, &bytes[0x3C], 4);
    memcpy(&machine, &bytes[pe + 4], 2);
    return machine;
}

// Commits manifest 1 in language as bytes (deleted when bytes is null) with
// options; 0 or the commit's last error.
DWORD CommitManifest(const std::wstring& path, WORD language, const char* bytes,
                     const ResourceCommitOptions& options)
{
    HANDLE update = BeginResourceUpdate(path.c_str(), FALSE);
    if (!update)
        return GetLastError();
    UpdateResourceEntry(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language,
                        const_cast<char*>(bytes), bytes ? DWORD(strlen(bytes)) : 0);
    SetLastError(0xDEADBEEF);
    return EndResourceUpdateEx(update, FALSE, nullptr, &options) ? 0 : GetLastError();
}
} // namespace

// The platform's own verdicts, per language variant, and a commit that asks
// for them: a new file whose manifest the platform refuses does not replace
// a target whose manifest it builds (a dependency nothing can bind), while a
// manifest it refused already is no reason to refuse; a variant deleted as
// unreadable must be one the platform refuses too.
TEST(TheCommitAsksThePlatformAboutTheManifest)
{
    const WORD own = MachineOf(Fixture(L"uac_only.exe"));
    CHECK(JudgesProcessor(own));
    CHECK(!JudgesProcessor(MachineOf(Fixture(L"other_arch.exe"))));
    CHECK(!JudgesProcessor(MachineOf(Fixture(L"arm64_target.exe"))));
    const auto judge = [&](const wchar_t* fixture, WORD language)
    { return int(JudgeActivationContext(Fixture(fixture).c_str(), language, own)); };
    CHECK_EQ(judge(L"uac_only.exe", 0x409), int(ContextVerdict::Builds));
    CHECK_EQ(judge(L"not_xml.exe", 0), int(ContextVerdict::Builds));
    CHECK_EQ(judge(L"broken_xml.exe", 0), int(ContextVerdict::Refused));

    CScratchFolder folder(L"update_judged");
    const char unbound[] =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
        "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
        "name=\"Lumaform.Nowhere\" version=\"1.0.0.0\"/></dependentAssembly></dependency>"
        "</assembly>";
    const char plain[] = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                         "manifestVersion=\"1.0\"><description>x</description></assembly>";
    const ResourceCommitOptions check = {true, {}};
    const struct
    {
        const wchar_t* fixture;
        WORD language;
        const char* bytes;
        ResourceCommitOptions options;
        DWORD error;
    } cases[] = {
        // One language of two: the other still builds, this one would not.
        {L"manifest1twolanguages.exe", 0x409, unbound, check, kErrorManifestRefused},
        {L"manifest1twolanguages.exe", 0x409, plain, check, 0},
        {L"broken_xml.exe", 0, unbound, check, 0},
        {L"no_version.exe", 0, unbound, check, kErrorManifestRefused},
        {L"no_version.exe", 0, unbound, ResourceCommitOptions(), 0},
        {L"not_xml.exe", 0, nullptr, {false, {0}}, kErrorManifestAccepted},
        {L"broken_xml.exe", 0, nullptr, {false, {0}}, 0},
    };
    for (const auto& c : cases)
    {
        const std::wstring path = CopyFixture(folder, c.fixture, L"judged.exe");
        const std::string before = ReadFileBytes(path);
        const DWORD error = CommitManifest(path, c.language, c.bytes, c.options);
        CHECK_EQ(error, c.error);
        if (error != c.error)
            Fail(__FILE__, __LINE__, Utf8(c.fixture));
        CHECK_EQ(ReadFileBytes(path) == before, c.error != 0);
        CHECK_EQ(FilesIn(folder.Path()), 1);
        DeleteFileW(path.c_str());
    }
    // No verdict is no refusal: the unreadable variant of a program for
    // another processor stays.
    const std::wstring other = CopyFixture(folder, L"other_arch.exe", L"other.exe");
    CHECK_EQ(CommitManifest(other, 0, "<assembly>&</assembly>", ResourceCommitOptions()), DWORD(0));
    const std::string before = ReadFileBytes(other);
    CHECK_EQ(CommitManifest(other, 0, nullptr, {false, {0}}), kErrorManifestUnjudged);
    CHECK(ReadFileBytes(other) == before);
    CHECK_EQ(FilesIn(folder.Path()), 1);
}
