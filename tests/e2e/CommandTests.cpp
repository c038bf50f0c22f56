// Enable, Disable and Start in the built Lumaform.exe, driven from this
// process by window messages; the targets are copies of real programs,
// checked afterwards byte for byte and through the platform's loader.
// LUMAFORM_EXPECT_LANGUAGE (en or fr) names the texts the run expects.
#include "LumaformSession.h"

#include "../support/LoaderResources.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/UpdateFaults.h"
#include "../support/WindowCapture.h"
#include "res/resource.h"

#include <algorithm>

using namespace testing;

namespace
{
bool French()
{
    wchar_t language[8] = L"";
    GetEnvironmentVariableW(L"LUMAFORM_EXPECT_LANGUAGE", language, 8);
    return std::wstring(language) == L"fr";
}

std::wstring Question(bool enabled, const std::wstring& copy)
{
    std::wstring note;
    if (!copy.empty())
        note = (French() ? L" et une copie du fichier a été sauvegardé sous '"
                         : L" and a file copy was saved as '") +
               copy + L"'";
    if (French())
        return std::wstring(enabled ? L"Style XP activés" : L"Style XP désactivés") +
               L" avec succès" + note + L".\n\nVoulez-vous lancer l'application maintenant ?";
    return std::wstring(enabled ? L"XP style sucessfully enabled"
                                : L"XP style sucessfully disabled") +
           note + L".\n\nWould you like to start the application now?";
}

// The box for a target marked read-only.
std::wstring ReadOnlyText(const std::wstring& name)
{
    if (French())
        return L"'" + name +
               L"' est en lecture seule, et Lumaform ne modifie pas les fichiers en lecture "
               L"seule. Décochez l'attribut Lecture seule dans les propriétés du fichier, puis "
               L"réessayez.";
    return L"'" + name +
           L"' is read-only, and Lumaform does not change read-only files. Clear the Read-only "
           L"attribute in the file's properties, then try again.";
}

// The manifest Enable writes for a program of that name and version, built
// for the processor the manifest names as architecture: by default the test
// programs' (this build's).
#ifdef _WIN64
const char kOwnArchitecture[] = "amd64";
#else
const char kOwnArchitecture[] = "X86";
#endif
std::string ExpectedManifest(const std::string& name, const std::string& version,
                             const std::string& architecture = kOwnArchitecture)
{
    std::string text =
        ReadFileBytes(std::wstring(LUMAFORM_BUILD_RES_DIR) + L"\\ManifestTemplate.manifest");
    for (const auto& pair : {std::make_pair(std::string("%AppVersion%"), version),
                             std::make_pair(std::string("%AppName%"), name),
                             std::make_pair(std::string("processorArchitecture=\"X86\""),
                                            "processorArchitecture=\"" + architecture + "\"")})
        for (size_t at = 0; (at = text.find(pair.first, at)) != std::string::npos;
             at += pair.second.size())
            text.replace(at, pair.first.size(), pair.second);
    return text;
}

// The error box shows the text of one of errors (the first when none
// matches, for the failure message) about the file named name: a system
// text's "%1" names it.
void CheckErrorBox(const CLumaformSession& session, std::initializer_list<DWORD> errors,
                   const wchar_t* name = nullptr)
{
    const MessageBoxSeen box = session.Answer(IDOK);
    CHECK(box.shown);
    CHECK_EQ(box.caption, std::wstring(L"Lumaform"));
    std::wstring expected = ErrorText(*errors.begin(), name);
    for (DWORD error : errors)
        if (box.text == ErrorText(error, name))
            expected = box.text;
    CHECK_EQ(box.text, expected);
    CHECK(box.text.find(L"%1") == std::wstring::npos);
    CHECK(session.Idle());
}

void CheckErrorBox(const CLumaformSession& session, DWORD error, const wchar_t* name = nullptr)
{
    CheckErrorBox(session, {error}, name);
}

std::wstring Copy(const CScratchFolder& folder, const wchar_t* fixture, const wchar_t* as)
{
    const std::wstring path = folder / as;
    CopyFileW(Fixture(fixture).c_str(), path.c_str(), FALSE);
    return path;
}

// An empty folder bin\name\ that keeps each step's program for the host's
// checks.
std::wstring KeptFolder(const wchar_t* name)
{
    const std::wstring kept = BinDirectory() + name + L"\\";
    RemoveTree(kept);
    CreateDirectoryW(kept.c_str(), nullptr);
    return kept;
}

// Lines the launch recorder wrote: "command line|current directory".
std::string Recorded(const std::wstring& record, int expectedLines)
{
    std::string text;
    for (int i = 0; i < 100; ++i)
    {
        text = ReadFileBytes(record);
        int lines = 0;
        for (char c : text)
            lines += c == '\n';
        if (lines >= expectedLines)
            break;
        Sleep(100);
    }
    return text;
}
} // namespace

TEST(EnableWritesTheComposedManifestAndSavesACopy)
{
    CScratchFolder folder(L"e2e_enable");
    const std::wstring target = Copy(folder, L"version_1016.exe", L"Tool.exe");
    const std::string original = ReadFileBytes(target);
    const ResourceMap before = LoaderResources(target);

    CLumaformSession session;
    CHECK(session.Started());
    session.SetPath(target);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.Click(IDC_ENABLE_XP);
    const MessageBoxSeen question = session.Answer(IDNO);
    CHECK(question.shown);
    CHECK_EQ(question.caption, std::wstring(L"Lumaform"));
    CHECK_EQ(question.text, Question(true, L"Tool.exe.bak"));
    CHECK(session.Idle());
    CHECK_EQ(session.Buttons(), std::string("-DS"));

    CHECK(ReadFileBytes(target + L".bak") == original);
    ResourceMap expected = before;
    expected[L"#24/#1/0"] = ExpectedManifest("Tool", "1.0.1.6");
    CHECK(LoaderResources(target) == expected);
}

TEST(AnExistingCopyIsKeptAndAnUntickedBoxMakesNone)
{
    CScratchFolder folder(L"e2e_copies");
    const std::wstring target = Copy(folder, L"no_version.exe", L"Kept.exe");
    const std::wstring backup = target + L".bak";
    WriteFileBytes(backup, "an earlier copy");
    FILETIME old = {0x12345678, 0x01D00000};
    HANDLE file =
        CreateFileW(backup.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);

    CLumaformSession session;
    session.SetPath(target);
    session.Click(IDC_ENABLE_XP);
    CHECK_EQ(session.Answer(IDNO).text, Question(true, L""));
    CHECK(session.Idle());
    CHECK_EQ(ReadFileBytes(backup), std::string("an earlier copy"));
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(backup.c_str(), GetFileExInfoStandard, &data);
    CHECK(CompareFileTime(&data.ftLastWriteTime, &old) == 0);
    CHECK(LoaderResources(target).count(L"#24/#1/0") == 1);

    // Unticked: no copy and no note, for Disable as well.
    const std::wstring other = Copy(folder, L"manifest1english.exe", L"Other.exe");
    session.SetSaveCopy(false);
    session.SetPath(other);
    CHECK_EQ(session.Buttons(), std::string("-DS"));
    session.Click(IDC_DISABLE_XP);
    CHECK_EQ(session.Answer(IDNO).text, Question(false, L""));
    CHECK(session.Idle());
    CHECK(!FileExists(other + L".bak"));
    CHECK_EQ(session.Buttons(), std::string("E-S"));
}

TEST(DisableDeletesEveryLanguageOfManifestOneOnly)
{
    CScratchFolder folder(L"e2e_disable");
    const std::wstring target = Copy(folder, L"manifest1twolanguages.exe", L"Two.exe");
    const std::string original = ReadFileBytes(target);
    ResourceMap expected = LoaderResources(target);
    CHECK(expected.erase(L"#24/#1/0") == 1 && expected.erase(L"#24/#1/1033") == 1);

    CLumaformSession session;
    session.SetPath(target);
    CHECK_EQ(session.Buttons(), std::string("-DS"));
    session.Click(IDC_DISABLE_XP);
    const MessageBoxSeen question = session.Answer(IDNO);
    CHECK_EQ(question.caption, std::wstring(L"Lumaform"));
    CHECK_EQ(question.text, Question(false, L"Two.exe.bak"));
    CHECK(session.Idle());
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    CHECK(LoaderResources(target) == expected);
    CHECK(expected.count(L"#24/#2/0") == 1);
    CHECK(ReadFileBytes(target + L".bak") == original);
}

// Yes starts the program with its path in quotes as the whole command line,
// in the tool's current directory; the path has blanks and an accent, and its
// folder a full stop. Enable, Disable and Start all go through it.
TEST(YesAndStartLaunchTheTargetOnAPathWithAccentsAndBlanks)
{
    CScratchFolder folder(L"e2e_launch");
    const std::wstring dotted = folder / L"v1.2 tools";
    CreateDirectoryW(dotted.c_str(), nullptr);
    const std::wstring target = dotted + L"\\Café Tool.exe";
    CHECK(CopyFileW(Fixture(L"launch_recorder.exe").c_str(), target.c_str(), FALSE));
    const std::wstring record = folder / L"record.txt";
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", record.c_str());
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);

    CLumaformSession session;
    SetEnvironmentVariableW(L"LUMAFORM_RECORD", nullptr);
    session.SetPath(target);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.Click(IDC_ENABLE_XP);
    CHECK_EQ(session.Answer(IDYES).text, Question(true, L"Café Tool.exe.bak"));
    CHECK(session.Idle());
    // The program's path in quotes is its whole command line.
    const std::string line = "\"" + Utf8(target) + "\"|" + Utf8(current) + "\n";
    CHECK_EQ(Recorded(record, 1), line);
    const ResourceMap enabled = LoaderResources(target);
    CHECK(enabled.count(L"#24/#1/0") == 1 &&
          enabled.at(L"#24/#1/0") == ExpectedManifest("Café Tool", "0.0.0.0"));

    session.Click(IDC_DISABLE_XP);
    CHECK_EQ(session.Answer(IDYES).text, Question(false, L""));
    CHECK(session.Idle());
    CHECK_EQ(Recorded(record, 2), line + line);
    CHECK_EQ(LoaderResources(target).count(L"#24/#1/0"), size_t(0));

    // Start twice: two processes.
    session.Click(IDC_START);
    session.Click(IDC_START);
    CHECK_EQ(Recorded(record, 4), line + line + line + line);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
}

TEST(FailuresShowTheCodeAndLeaveTheTargetAsItWas)
{
    CScratchFolder folder(L"e2e_failures");
    CLumaformSession session;

    // The file went away after the probe: with the copy ticked the copy
    // fails first, unticked the update does; nothing is written.
    const std::wstring gone = Copy(folder, L"no_version.exe", L"gone.exe");
    session.SetPath(gone);
    DeleteFileW(gone.c_str());
    session.Click(IDC_ENABLE_XP);
    CheckErrorBox(session, ERROR_FILE_NOT_FOUND);
    CHECK(!FileExists(gone + L".bak"));
    session.SetSaveCopy(false);
    session.Click(IDC_ENABLE_XP);
    CheckErrorBox(session, ERROR_FILE_NOT_FOUND);
    CHECK(!FileExists(gone));
    CHECK_EQ(session.Buttons(), std::string("E-S")); // not refreshed
    session.SetSaveCopy(true);

    // Read-only: the box names the cause in the tool's words (the platform
    // would say only "Access is denied."); the copy is made, the target
    // keeps every byte and its attribute, for Enable and for Disable.
    for (const wchar_t* fixture : {L"no_version.exe", L"manifest1english.exe"})
    {
        const std::wstring readOnly = Copy(folder, fixture, L"read only.exe");
        const std::string original = ReadFileBytes(readOnly);
        SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        session.SetPath(readOnly);
        const std::string buttons = session.Buttons();
        session.Click(buttons[0] == 'E' ? IDC_ENABLE_XP : IDC_DISABLE_XP);
        const MessageBoxSeen box = session.Answer(IDOK);
        CHECK_EQ(box.text, ReadOnlyText(L"read only.exe"));
        CHECK(session.Idle());
        CHECK(ReadFileBytes(readOnly) == original);
        CHECK(ReadFileBytes(readOnly + L".bak") == original);
        CHECK_EQ(GetFileAttributesW(readOnly.c_str()),
                 DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
        CHECK_EQ(session.Buttons(), buttons);
        for (const std::wstring& file : {readOnly, readOnly + L".bak"}) // the copy's too
        {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
    }

    // Held open by another process (this one).
    const std::wstring held = Copy(folder, L"manifest1english.exe", L"held.exe");
    const std::string heldBytes = ReadFileBytes(held);
    session.SetPath(held);
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    session.Click(IDC_DISABLE_XP);
    CheckErrorBox(session, ERROR_SHARING_VIOLATION);
    CloseHandle(holder);
    CHECK(ReadFileBytes(held) == heldBytes);
    CHECK_EQ(session.Buttons(), std::string("-DS"));

    // Manifest 1 gone since the probe: the enumeration fails with the
    // platform's not-found code (Wine's is "resource data not found"); the
    // copy made before stays.
    const std::wstring lost = Copy(folder, L"manifest1english.exe", L"lost.exe");
    session.SetPath(lost);
    CopyFileW(Fixture(L"no_version.exe").c_str(), lost.c_str(), FALSE);
    const std::string lostBytes = ReadFileBytes(lost);
    session.Click(IDC_DISABLE_XP);
    CheckErrorBox(session, {ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND,
                            ERROR_RESOURCE_DATA_NOT_FOUND});
    CHECK(ReadFileBytes(lost) == lostBytes);
    CHECK(ReadFileBytes(lost + L".bak") == lostBytes);
    CHECK_EQ(session.Buttons(), std::string("-DS"));

    // Manifest 1 no longer XML since the probe: Enable cannot tell where
    // the dependency goes and says so; the copy made before stays.
    const std::wstring broken = Copy(folder, L"uac_only.exe", L"broken.exe");
    session.SetPath(broken);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    CopyFileW(Fixture(L"not_xml.exe").c_str(), broken.c_str(), FALSE);
    const std::string brokenBytes = ReadFileBytes(broken);
    session.Click(IDC_ENABLE_XP);
    CheckErrorBox(session, ERROR_SXS_MANIFEST_PARSE_ERROR);
    CHECK(ReadFileBytes(broken) == brokenBytes);
    CHECK(ReadFileBytes(broken + L".bak") == brokenBytes);
    // No longer themed since the probe: Disable has nothing to take away,
    // says the look is classic and leaves every byte.
    const std::wstring plain = Copy(folder, L"themed_settings.exe", L"plain.exe");
    session.SetPath(plain);
    CHECK_EQ(session.Buttons(), std::string("-DS"));
    CopyFileW(Fixture(L"uac_only.exe").c_str(), plain.c_str(), FALSE);
    const std::string plainBytes = ReadFileBytes(plain);
    session.SetSaveCopy(false);
    session.Click(IDC_DISABLE_XP);
    CHECK_EQ(session.Answer(IDNO).text, Question(false, L""));
    CHECK(session.Idle());
    CHECK(ReadFileBytes(plain) == plainBytes);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.SetSaveCopy(true);

    // No layout fits: headers without room for another section, and no
    // resources to grow. The box says so in the user's language and names
    // the program; nothing changes.
    std::string full = ReadFileBytes(Fixture(L"no_version.exe"));
    uint32_t pe = 0;
    uint16_t sections = 0, optionalSize = 0;
    memcpy(&pe, &full[0x3C], 4);
    memcpy(&sections, &full[pe + 6], 2);
    memcpy(&optionalSize, &full[pe + 20], 2);
    full[pe + 24 + optionalSize + 40 * sections] = 1;
    const std::wstring noRoom = folder / L"full.exe";
    WriteFileBytes(noRoom, full);
    session.SetPath(noRoom);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.Click(IDC_ENABLE_XP);
    const MessageBoxSeen refused = session.Answer(IDOK);
    CHECK_EQ(refused.text,
             std::wstring(French() ? L"Les ressources de 'full.exe' ne peuvent pas grandir : le "
                                     L"fichier du programme ne leur laisse pas de place. Le "
                                     L"programme n'a pas été modifié."
                                   : L"The resources of 'full.exe' cannot grow: the program's "
                                     L"file leaves them no room. The program was not changed."));
    CHECK(session.Idle());
    CHECK(ReadFileBytes(noRoom) == full);
    CHECK_EQ(session.Buttons(), std::string("E-S"));

    // Start on a library, and on a deleted file.
    const std::wstring library = Copy(folder, L"marker.dll", L"library.dll");
    session.SetPath(library);
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    session.Click(IDC_START);
    CheckErrorBox(session, ERROR_BAD_EXE_FORMAT, L"library.dll");
    const std::wstring deleted = Copy(folder, L"no_version.exe", L"deleted.exe");
    session.SetPath(deleted);
    DeleteFileW(deleted.c_str());
    session.Click(IDC_START);
    CheckErrorBox(session, ERROR_FILE_NOT_FOUND);
}

// Wine's default prefix has a theme active: after Enable the same program
// draws its controls themed, after Disable exactly as before.
TEST(EnableGivesTheThemedLookAndDisableTakesItBack)
{
    CScratchFolder folder(L"e2e_look");
    const std::wstring target = Copy(folder, L"sample_controls.exe", L"Sample.exe");
    const CWindowCapture classic = CaptureProgramWindow(target, L"LumaformSample");
    CHECK(classic.Width() > 0);

    CLumaformSession session;
    session.SetSaveCopy(false);
    session.SetPath(target);
    session.Click(IDC_ENABLE_XP);
    CHECK(session.Answer(IDNO).shown);
    CHECK(session.Idle());
    const CWindowCapture themed = CaptureProgramWindow(target, L"LumaformSample");
    CHECK(themed.Width() == classic.Width() && !(themed == classic));

    session.Click(IDC_DISABLE_XP);
    CHECK(session.Answer(IDNO).shown);
    CHECK(session.Idle());
    CHECK(CaptureProgramWindow(target, L"LumaformSample") == classic);

    // The same controls in a program whose manifest holds UAC, compatibility
    // and DPI settings beside the look, with namespace prefixes: Disable
    // gives it the classic look, Enable the themed one again.
    const std::wstring settings = Copy(folder, L"sample_settings.exe", L"Settings.exe");
    CHECK(CaptureProgramWindow(settings, L"LumaformSample") == themed);
    session.SetPath(settings);
    session.Click(IDC_DISABLE_XP);
    CHECK(session.Answer(IDNO).shown);
    CHECK(session.Idle());
    CHECK(CaptureProgramWindow(settings, L"LumaformSample") == classic);
    session.Click(IDC_ENABLE_XP);
    CHECK(session.Answer(IDNO).shown);
    CHECK(session.Idle());
    CHECK(CaptureProgramWindow(settings, L"LumaformSample") == themed);
}

namespace
{
// A copy of a fixture whose headers name another processor.
std::wstring WithMachine(const CScratchFolder& folder, const wchar_t* as, WORD machine)
{
    std::string bytes = ReadFileBytes(Fixture(L"no_version.exe"));
    uint32_t peOffset = 0;
    memcpy(&peOffset, &bytes[0x3C], 4);
    memcpy(&bytes[peOffset + 4], &machine, 2);
    const std::wstring path = folder / as;
    WriteFileBytes(path, bytes);
    return path;
}

// A copy of the 32-bit test program with a .NET runtime header of flags
// (COMIMAGE_FLAGS_*) at the start of its first section.
std::wstring WithRuntimeHeader(const CScratchFolder& folder, const wchar_t* as, DWORD flags)
{
#ifdef _WIN64
    std::string bytes = ReadFileBytes(Fixture(L"other_arch.exe"));
#else
    std::string bytes = ReadFileBytes(Fixture(L"no_version.exe"));
#endif
    uint32_t pe = 0, firstRva = 0, firstRaw = 0;
    uint16_t optionalSize = 0;
    memcpy(&pe, &bytes[0x3C], 4);
    memcpy(&optionalSize, &bytes[pe + 20], 2);
    const size_t optional = pe + 24, sections = optional + optionalSize;
    memcpy(&firstRva, &bytes[sections + 12], 4);
    memcpy(&firstRaw, &bytes[sections + 20], 4);
    IMAGE_COR20_HEADER header = {};
    header.cb = sizeof header;
    header.Flags = flags;
    memcpy(&bytes[firstRaw], &header, sizeof header);
    const IMAGE_DATA_DIRECTORY directory = {firstRva, sizeof header};
    memcpy(&bytes[optional + 96 + 8 * IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR], &directory,
           sizeof directory);
    const std::wstring path = folder / as;
    WriteFileBytes(path, bytes);
    return path;
}
} // namespace

// Enable writes the manifest for the target's processor, whichever the
// tool's own: a 32-bit, a 64-bit and an ARM64 program each get theirs, and
// Disable takes it away again. Programs for other processors (IA-64, 32-bit
// ARM) are offered nothing and keep their bytes. Yes on a program that this
// machine cannot start shows the platform's reason. The changed programs
// are kept in bin\changed_by_processor for the check with pefile.
TEST(EnableNamesTheTargetsProcessor)
{
    CScratchFolder folder(L"e2e_processors");
    const std::wstring kept = KeptFolder(L"changed_by_processor");
    const char* own = kOwnArchitecture;
    const char* other = own == std::string("X86") ? "amd64" : "X86";
    struct
    {
        const wchar_t* fixture;
        const wchar_t* as;
        const char* name;
        const char* architecture;
        const char* version;
    } const targets[] = {{L"version_1016.exe", L"Own.exe", "Own", own, "1.0.1.6"},
                         {L"other_arch.exe", L"Other.exe", "Other", other, "0.0.0.0"},
                         {L"arm64_target.exe", L"Arm64.exe", "Arm64", "arm64", "3.2.1.0"}};
    CLumaformSession session;
    for (const auto& target : targets)
    {
        const std::wstring path = Copy(folder, target.fixture, target.as);
        const std::string original = ReadFileBytes(path);
        session.SetPath(path);
        CHECK_EQ(session.Buttons(), std::string("E-S"));
        session.Click(IDC_ENABLE_XP);
        CHECK_EQ(session.Answer(IDNO).text, Question(true, std::wstring(target.as) + L".bak"));
        CHECK(session.Idle());
        CHECK_EQ(session.Buttons(), std::string("-DS"));
        const ResourceMap enabled = LoaderResources(path);
        const std::string expected =
            ExpectedManifest(target.name, target.version, target.architecture);
        CHECK(enabled.count(L"#24/#1/0") == 1 && enabled.at(L"#24/#1/0") == expected);
        CHECK(ReadFileBytes(path + L".bak") == original);
        CopyFileW(path.c_str(), (kept + target.as).c_str(), FALSE);

        session.SetSaveCopy(false);
        session.Click(IDC_DISABLE_XP);
        CHECK_EQ(session.Answer(IDNO).text, Question(false, L""));
        CHECK(session.Idle());
        CHECK_EQ(LoaderResources(path).count(L"#24/#1/0"), size_t(0));
        session.SetSaveCopy(true);
    }

    // An ARM64 program cannot start on this machine: Yes says why, and the
    // tool goes on. (Wine here reports a 32-bit program started even where
    // it cannot run it, so the ARM64 one stands for both.)
    const std::wstring arm64 = folder / L"Arm64.exe";
    session.SetSaveCopy(false);
    session.SetPath(arm64);
    session.Click(IDC_ENABLE_XP);
    CHECK(session.Answer(IDYES).shown);
    CheckErrorBox(session, {ERROR_BAD_EXE_FORMAT, ERROR_EXE_MACHINE_TYPE_MISMATCH}, L"Arm64.exe");
    CHECK_EQ(session.Buttons(), std::string("-DS"));

    // .NET programs: one that is all IL and not held to 32 bits runs as a
    // 64-bit process on x64 and ARM64 Windows, so its manifest names any
    // processor; one held to 32 bits keeps X86.
    const struct
    {
        DWORD flags;
        const char* architecture;
    } managed[] = {{0x1, "*"}, {0x1 | 0x2, "X86"}, {0x1 | 0x2 | 0x20000, "X86"}};
    for (const auto& program : managed)
    {
        const std::wstring path = WithRuntimeHeader(folder, L"Managed.exe", program.flags);
        session.SetPath(path);
        CHECK_EQ(session.Buttons(), std::string("E-S"));
        session.Click(IDC_ENABLE_XP);
        CHECK(session.Answer(IDNO).shown);
        CHECK(session.Idle());
        const ResourceMap enabled = LoaderResources(path);
        CHECK(enabled.count(L"#24/#1/0") == 1 &&
              enabled.at(L"#24/#1/0") ==
                  ExpectedManifest("Managed", "0.0.0.0", program.architecture));
    }

    // IA-64 and 32-bit ARM: nothing offered, no box, no change.
    for (WORD machine : {WORD(0x0200), WORD(0x01C4)})
    {
        const std::wstring path = WithMachine(folder, L"Foreign.exe", machine);
        const std::string bytes = ReadFileBytes(path);
        session.SetPath(path);
        CHECK_EQ(session.Buttons(), std::string("---"));
        CHECK(session.Idle());
        CHECK(ReadFileBytes(path) == bytes);
    }
}

namespace
{
// Runs program with LUMAFORM_EXTRACT naming extract and waits for it; its
// exit code, or -1 when it did not start or end.
long RunExtracting(const std::wstring& program, const std::wstring& extract)
{
    SetEnvironmentVariableW(L"LUMAFORM_EXTRACT", extract.c_str());
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                        0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"LUMAFORM_EXTRACT", nullptr);
    if (!started)
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return long(code);
}
} // namespace

// Programs as other toolchains leave them. Manifest 1 about something else
// than the look (a UAC request in English, a side-by-side runtime, the look
// beside UAC, compatibility and DPI settings with namespace prefixes and a
// comment naming the dependency, UTF-16 settings, text that neither the tool
// nor the platform reads, the classic controls named in windows-1252, the
// Visual Studio 2008 .NET template, the tool's own manifest in two
// languages, a neutral and an English variant of other texts), and layouts
// of other linkers,
// packers and compilers (imports and TLS in the resource section's slack, a
// C# program whose headers have no room for another section, a last section
// whose raw data passes its memory, an installer that finds its payload by
// an absolute offset). The command offered, the other, the first again, each
// through the program; afterwards the program still does what it did: it
// starts, or extracts its payload byte for byte, and Enable then Disable
// gives back every resource (but to a program that named the classic
// controls, which then asks for none). Each step is kept in bin\changed_programs for
// the host's checks (pefile, Python's XML parser, llvm-readobj, the loader's
// rules, mono).
TEST(EveryKindOfProgramKeepsAllButTheThemedLook)
{
    CScratchFolder folder(L"e2e_programs");
    const std::wstring kept = KeptFolder(L"changed_programs");
    const std::wstring record = folder / L"record.txt";
    const CLumaformSession session(record);
    session.SetSaveCopy(false);

    enum Proof
    {
        Starts,   // records its start when Start is pressed
        Extracts, // copies its payload out when run
        Kept,     // run on this machine by the host's checks (mono)
    };
    const struct
    {
        const wchar_t* fixture;
        bool classic; // Enable offered first
        Proof proof;
        bool exact = true; // Enable then Disable gives back every resource
    } programs[] = {{L"uac_only.exe", true, Starts},
                    {L"runtime_only.exe", true, Starts},
                    {L"utf16_settings.exe", true, Starts},
                    {L"themed_settings.exe", false, Starts},
                    {L"broken_xml.exe", false, Starts},
                    {L"classic_controls.exe", true, Starts, false},
                    {L"dotnet2008.exe", true, Starts},
                    {L"manifest1twolanguages.exe", false, Starts},
                    {L"packed.exe", true, Starts},
                    {L"managed.exe", true, Kept},
                    {L"raw_beyond.exe", true, Starts},
                    {L"installer.exe", true, Extracts},
                    {L"neutral_and_english.exe", false, Starts}};
    int starts = 0;
    for (const auto& program : programs)
    {
        const std::wstring path = Copy(folder, program.fixture, program.fixture);
        const std::wstring stem(program.fixture, wcslen(program.fixture) - 4);
        const std::string original = ReadFileBytes(path);
        const ResourceMap resources = LoaderResources(path);
        // The installer's payload: the 300,000 bytes appended to it.
        const std::string payload =
            program.proof == Extracts ? original.substr(original.size() - 300000) : "";
        CopyFileW(path.c_str(), (kept + stem + L".0.exe").c_str(), FALSE);
        session.SetPath(path);
        CHECK_EQ(session.Buttons(), std::string(program.classic ? "E-S" : "-DS"));
        for (int step = 1; step <= 3; ++step)
        {
            const bool enable = program.classic == (step != 2);
            session.Click(enable ? IDC_ENABLE_XP : IDC_DISABLE_XP);
            const MessageBoxSeen box = session.Answer(IDNO);
            CHECK_EQ(box.text, Question(enable, L""));
            if (box.text != Question(enable, L""))
                Fail(__FILE__, __LINE__, Utf8(stem) + " step " + std::to_string(step));
            CHECK(session.Idle());
            CHECK_EQ(session.Buttons(), std::string(enable ? "-DS" : "E-S"));
            if (program.classic && program.exact && step == 2)
                CHECK(LoaderResources(path) == resources);
            CopyFileW(path.c_str(),
                      (kept + stem + L"." + std::to_wstring(step) +
                       (enable ? L".enable.exe" : L".disable.exe"))
                          .c_str(),
                      FALSE);
            if (program.proof == Starts)
            {
                session.Click(IDC_START);
                const std::string lines = Recorded(record, ++starts);
                CHECK_EQ(std::count(lines.begin(), lines.end(), '\n'), std::ptrdiff_t(starts));
            }
            else if (program.proof == Extracts)
            {
                const std::wstring extracted = folder / L"payload.bin";
                DeleteFileW(extracted.c_str());
                CHECK_EQ(RunExtracting(path, extracted), 0L);
                CHECK(ReadFileBytes(extracted) == payload);
            }
        }
    }
}

namespace
{
// The name of the certificate the signed fixtures carry
// (tests/fixtures/CMakeLists.txt): its common name, not its organisation.
const wchar_t kTestSigner[] = L"Orvanel Café Test Signer";

// The question before a signed program is changed: signed by signer, or a
// signer that could not be read when signer is null; the copy's note when
// the box is ticked.
std::wstring SignedQuestion(const std::wstring& name, const wchar_t* signer, bool copy)
{
    if (French())
        return L"'" + name +
               (signer ? L"' est signé par " + std::wstring(signer) + L"."
                       : L"' est signé, mais son signataire n'a pas pu être lu.") +
               L"\n\nModifier le programme supprime sa signature : Windows n'affichera plus son "
               L"éditeur et pourra avertir avant de le lancer." +
               (copy ? L" La copie de sauvegarde conserve l'original signé." : L"") +
               L"\n\nVoulez-vous le modifier quand même ?";
    return L"'" + name +
           (signer ? L"' is signed by " + std::wstring(signer) + L"."
                   : L"' is signed, but its signer could not be read.") +
           L"\n\nChanging the program removes its signature: Windows will no longer show its "
           L"publisher and may warn before starting it." +
           (copy ? L" The backup copy keeps the signed original." : L"") +
           L"\n\nDo you want to change it anyway?";
}

// The certificate table's file offset and size in the header of the program
// in bytes.
IMAGE_DATA_DIRECTORY CertificateTable(const std::string& bytes)
{
    IMAGE_DATA_DIRECTORY table = {};
    uint32_t pe = 0;
    uint16_t magic = 0;
    if (bytes.size() >= 0x200)
        memcpy(&pe, &bytes[0x3C], 4);
    if (pe == 0 || pe > bytes.size() - 0x100)
        return table;
    memcpy(&magic, &bytes[pe + 24], 2);
    const size_t directories = pe + 24 + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? 112 : 96);
    memcpy(&table, &bytes[directories + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY], sizeof table);
    return table;
}
} // namespace

// A signed program is changed only when the user, told who signed it, says
// Yes, before anything is written; the change leaves no certificate table.
TEST(ASignedProgramIsChangedOnlyAfterTheUserSaysYes)
{
    CScratchFolder folder(L"e2e_signed");
    const std::wstring target = Copy(folder, L"signed.exe", L"Signed Tool.exe");
    const std::string original = ReadFileBytes(target);
    const IMAGE_DATA_DIRECTORY table = CertificateTable(original);
    CHECK(table.Size != 0);
    if (table.Size == 0)
        return; // the fixture is not signed
    CLumaformSession session;
    session.SetPath(target);
    CHECK_EQ(session.Buttons(), std::string("E-S"));

    // No, with the copy ticked and unticked: no byte written, no copy.
    for (const bool copy : {true, false})
    {
        session.SetSaveCopy(copy);
        session.Click(IDC_ENABLE_XP);
        const MessageBoxSeen question = session.Answer(IDNO);
        CHECK_EQ(question.caption, std::wstring(L"Lumaform"));
        CHECK_EQ(question.text, SignedQuestion(L"Signed Tool.exe", kTestSigner, copy));
        CHECK(session.Idle());
        CHECK(ReadFileBytes(target) == original);
        CHECK(!FileExists(target + L".bak"));
        CHECK_EQ(session.Buttons(), std::string("E-S"));
    }

    // Yes: the command as for any program, the copy signed as before.
    session.SetSaveCopy(true);
    session.Click(IDC_ENABLE_XP);
    CHECK_EQ(session.Answer(IDYES).text, SignedQuestion(L"Signed Tool.exe", kTestSigner, true));
    CHECK_EQ(session.Answer(IDNO).text, Question(true, L"Signed Tool.exe.bak"));
    CHECK(session.Idle());
    CHECK_EQ(session.Buttons(), std::string("-DS"));
    CHECK(ReadFileBytes(target + L".bak") == original);
    const IMAGE_DATA_DIRECTORY removed = CertificateTable(ReadFileBytes(target));
    CHECK(removed.VirtualAddress == 0 && removed.Size == 0);
    CHECK(LoaderResources(target).count(L"#24/#1/0") == 1);

    // Disable on a signed themed program asks too.
    const std::wstring themed = Copy(folder, L"signed_themed.exe", L"Themed.exe");
    session.SetSaveCopy(false);
    session.SetPath(themed);
    CHECK_EQ(session.Buttons(), std::string("-DS"));
    session.Click(IDC_DISABLE_XP);
    CHECK_EQ(session.Answer(IDYES).text, SignedQuestion(L"Themed.exe", kTestSigner, false));
    CHECK_EQ(session.Answer(IDNO).text, Question(false, L""));
    CHECK(session.Idle());
    CHECK_EQ(session.Buttons(), std::string("E-S"));
    CHECK_EQ(CertificateTable(ReadFileBytes(themed)).Size, DWORD(0));

    // A signature whose message cannot be decoded still asks; a table with
    // no signed-data entry (an X.509 certificate alone) is not a signature,
    // and the command goes on without a question, as for every program of
    // the tests above.
    std::string damaged = original;
    std::fill_n(damaged.begin() + table.VirtualAddress + 8, 64, '\xFF');
    std::string certificateOnly = original;
    certificateOnly[table.VirtualAddress + 6] = 1; // WIN_CERT_TYPE_X509
    for (const std::string* bytes : {&damaged, &certificateOnly})
    {
        const std::wstring path = folder / L"Odd.exe";
        WriteFileBytes(path, *bytes);
        session.SetPath(path);
        session.Click(IDC_ENABLE_XP);
        const bool asked = bytes == &damaged;
        CHECK_EQ(session.Answer(IDNO).text,
                 asked ? SignedQuestion(L"Odd.exe", nullptr, false) : Question(true, L""));
        CHECK(session.Idle());
        CHECK(asked == (ReadFileBytes(path) == *bytes));
    }
}
