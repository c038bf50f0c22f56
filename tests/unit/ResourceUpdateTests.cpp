// The resource writer under Wine, on copies of real programs: what the
// platform's loader reads back, whether the programs still run, and what is
// left on disk after every kind of failure.
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
