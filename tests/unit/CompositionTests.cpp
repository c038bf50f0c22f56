// Manifest composition: names, escaping, placeholders and the exact bytes of
// the composed manifest.
#include "../support/FailingHeap.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "engine/CommandLine.h"
#include "engine/FileVersion.h"
#include "engine/ManifestComposition.h"
#include "engine/NativePath.h"
#include "engine/PathNames.h"
#include "framework/MemFile.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>

using namespace testing;

namespace
{
// The template as the build copied it from the source tree; the resource
// must carry exactly it, in both builds.
std::string TemplateSource()
{
    return ReadFileBytes(LUMAFORM_BUILD_RES_DIR L"\\ManifestTemplate.manifest");
}

// What a composition must give: the template with both placeholders put in,
// made with std::string, independently of ReplaceAll.
std::string Expected(const std::string& version, const std::string& name)
{
    std::string text = TemplateSource();
    text.replace(text.find("%AppVersion%"), 12, version);
    text.replace(text.find("%AppName%"), 9, name);
    return text;
}

// The composition steps of the Enable command, up to the text it writes.
std::string Compose(const wchar_t* path, DWORD packed, int build)
{
    CCodePageText name;
    CHECK(MakeManifestAppName(path, name));
    char version[32];
    FormatVersionText(packed, build, version);
    char* text = LoadManifestTemplate();
    CHECK(text != nullptr);
    if (!text)
        return std::string();
    CHECK(ReplaceAll(text, "%AppVersion%", version));
    CHECK(ReplaceAll(text, "%AppName%", name.m_pszText ? name.m_pszText : ""));
    std::string result(text);
    free(text);
    return result;
}

std::string NameOf(const wchar_t* path)
{
    CCodePageText name;
    if (!MakeManifestAppName(path, name))
        return "<failed>";
    CHECK_EQ(name.m_nCodePage, 65001u);
    return name.m_pszText;
}
} // namespace

TEST(TemplateResourceIsTheSourceBytes)
{
    char* text = LoadManifestTemplate();
    CHECK(text != nullptr);
    if (!text)
        return;
    const std::string source = TemplateSource();
    CHECK_EQ(source.size(), size_t(669));
    CHECK_EQ(std::string(text), source);
    // Exactly one byte more than the resource: its NUL.
    CHECK_EQ(_msize(text), size_t(670));
    free(text);
}

TEST(ComposedManifestForMyApp)
{
    const std::string text = Compose(L"D:\\Tools\\My App.exe", 0x02010000 | 300, 4);
    CHECK_EQ(text.size(), size_t(663));
    CHECK_EQ(text, Expected("2.1.300.4", "My App"));
    CHECK(text.find("\r\n    version=\"2.1.300.4\" \r\n    name=\"My App\"\r\n") !=
          std::string::npos);
}

TEST(ComposedManifestFromARealFileVersion)
{
    CScratchFolder folder(L"compose");
    const std::wstring path = folder / L"My App.exe";
    CHECK(CopyFileW(Fixture(L"version_2_1_300_4.exe").c_str(), path.c_str(), TRUE));
    DWORD packed = 0;
    int build = 0;
    GetFileVersionNumbers(path.c_str(), packed, &build);
    CHECK_EQ(Compose(path.c_str(), packed, build), Expected("2.1.300.4", "My App"));

    packed = 0;
    build = 0;
    CHECK(!GetFileVersionNumbers(Fixture(L"no_version.exe").c_str(), packed, &build));
    CHECK_EQ(Compose(L"C:\\x\\tool.exe", packed, build), Expected("0.0.0.0", "tool"));
}

TEST(NamesAreCutFromThePath)
{
    CHECK_EQ(NameOf(L"D:\\Tools\\my.tool.beta.exe"), std::string("my.tool.beta"));
    CHECK_EQ(NameOf(L"D:\\Tools\\tool"), std::string("tool"));
    CHECK_EQ(NameOf(L"D:\\Apps 1.5\\tool"), std::string("tool"));
    CHECK_EQ(NameOf(L"D:\\Tools\\.exe"), std::string(""));
    CHECK_EQ(NameOf(L"D:/Tools/app.exe"), std::string("D:/Tools/app"));
    CHECK_EQ(NameOf(L"app.exe"), std::string("app"));
    CHECK_EQ(NameOf(L""), std::string(""));
}

TEST(NamesAreEscapedAndUtf8)
{
    CHECK_EQ(NameOf(L"D:\\Tools\\Tom&Jerry's.exe"), std::string("Tom&amp;Jerry&apos;s"));
    CHECK_EQ(NameOf(L"D:\\x\\a&b.c&d"), std::string("a&amp;b"));
    CHECK_EQ(NameOf(L"D:\\x\\<\"q\">.exe"), std::string("&lt;&quot;q&quot;&gt;"));
    CHECK_EQ(NameOf(L"D:\\x\\100%\t.exe"), std::string("100%\t"));
    CHECK_EQ(NameOf(L"D:\\Tools\\Caf\u00e9.exe"), std::string("Caf\xc3\xa9"));
    CHECK_EQ(NameOf(L"D:\\Tools\\\U0001F600.exe"), std::string("\xf0\x9f\x98\x80"));
}

TEST(EmptyNameGivesEmptyAttribute)
{
    CCodePageText name;
    CHECK(MakeManifestAppName(L"D:\\Tools\\.exe", name));
    CHECK(name.m_pszText != nullptr);
    CHECK_EQ(Compose(L"D:\\Tools\\.exe", 0, 0), Expected("0.0.0.0", ""));
}

TEST(PlaceholdersInsideTheNameStayAsTyped)
{
    CHECK_EQ(Compose(L"C:\\%AppName%.exe", 0x01000001, 6), Expected("1.0.1.6", "%AppName%"));
    CHECK_EQ(Compose(L"C:\\%AppVersion%.exe", 0x01000001, 6), Expected("1.0.1.6", "%AppVersion%"));
}

TEST(PathFunctions)
{
    const wchar_t* path = L"D:\\a.b\\c";
    CHECK(FindFileName(path) == path + 7);
    CHECK(FindExtension(FindFileName(path)) == path + 8); // the NUL
    const wchar_t* forward = L"C:/x/y.z";
    CHECK(FindFileName(forward) == forward);
    CHECK(FindExtension(forward) == forward + 6);
    const wchar_t* trailing = L"C:\\dir\\";
    CHECK(*FindFileName(trailing) == L'\0');
}

// A program's path as its command line: quoted, and read back whole by the
// platform's parser whatever it holds.
TEST(QuotedArgumentsReadBackWhole)
{
    CHECK_EQ(QuoteArgument(L"C:\\Program Files\\Vendor\\App.exe"),
             std::wstring(L"\"C:\\Program Files\\Vendor\\App.exe\""));
    CHECK_EQ(QuoteArgument(L"app.exe"), std::wstring(L"\"app.exe\""));
    CHECK_EQ(QuoteArgument(L""), std::wstring(L"\"\""));
    CHECK_EQ(QuoteArgument(L"C:\\dir\\"), std::wstring(L"\"C:\\dir\\\\\""));
    CHECK_EQ(QuoteArgument(L"a\\\"b"), std::wstring(L"\"a\\\\\\\"b\""));
    for (const wchar_t* text : {L"C:\\Program Files\\App.exe", L"D:\\Caf\u00e9 v1.2\\x.exe",
                                L"C:\\dir\\", L"C:\\dir\\\\", L"a\\\"b", L"\"", L"tab\there", L""})
    {
        const std::wstring line = L"program " + QuoteArgument(text);
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
        CHECK(arguments != nullptr);
        if (!arguments)
            continue;
        CHECK_EQ(count, 2);
        if (count == 2)
            CHECK_EQ(std::wstring(arguments[1]), std::wstring(text));
        LocalFree(arguments);
    }
}

// The 32-bit tool on 64-bit Windows names a target under the system folder
// through its alias, however the user spelt the path; other paths stay as
// typed.
TEST(TargetsUnderTheSystemFolderAreNamedThroughItsAlias)
{
    const CFolderAlias system = {L"C:\\Windows\\system32", L"C:\\Windows\\Sysnative"};
    const struct
    {
        const wchar_t* typed;
        const wchar_t* native; // null: as typed
    } cases[] = {
        {L"c:\\WINDOWS\\system32\\drivers\\etc\\x.exe",
         L"C:\\Windows\\Sysnative\\drivers\\etc\\x.exe"},
        {L"C:/Windows/Temp/../System32/a.exe", L"C:\\Windows\\Sysnative\\a.exe"},
        {L"\\\\?\\C:\\Windows\\System32\\a.exe", L"\\\\?\\C:\\Windows\\Sysnative\\a.exe"},
        {L"C:\\Windows\\System32", L"C:\\Windows\\Sysnative"},
        {L"C:\\Windows\\System32x\\a.exe", nullptr},
        {L"D:\\Windows\\System32\\a.exe", nullptr},
    };
    for (const auto& c : cases)
        CHECK_EQ(ReplaceFolder(c.typed, system), std::wstring(c.native ? c.native : c.typed));
    // Back again for what the user is shown, in the platform's spelling.
    CHECK_EQ(ReplaceFolder(L"C:\\Windows\\Sysnative\\~lmf0001.tmp", {system.alias, system.folder}),
             std::wstring(L"C:\\Windows\\system32\\~lmf0001.tmp"));
    // Where nothing is redirected, nothing changes.
    CHECK_EQ(ReplaceFolder(L"C:\\Windows\\System32\\a.exe", {}),
             std::wstring(L"C:\\Windows\\System32\\a.exe"));
#ifdef _WIN64
    CHECK_EQ(NativeTargetPath(L"C:\\Windows\\System32\\a.exe"),
             std::wstring(L"C:\\Windows\\System32\\a.exe")); // never redirected
#endif
    // A name relative to a current folder under it.
    CScratchFolder folder(L"alias");
    const std::wstring under = folder / L"System32";
    CreateDirectoryW(under.c_str(), nullptr);
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(under.c_str());
    CHECK_EQ(ReplaceFolder(L"a.exe", {under, folder / L"Sysnative"}), folder / L"Sysnative\\a.exe");
    SetCurrentDirectoryW(current);
}

TEST(EscapeHonoursLength)
{
    CMemFile stream(1024);
    EscapeXmlText(stream, L"a&b<c", 3);
    EscapeXmlText(stream, L"zzz", 0);
    EscapeXmlText(stream, L"zzz", -2);
    EscapeXmlText(stream, L"'", -1);
    CHECK_EQ(stream.GetLength(), ULONGLONG(2 * 13));
    BYTE* bytes = stream.Detach();
    CHECK(memcmp(bytes, L"a&amp;b&apos;", 26) == 0);
    free(bytes);
}

TEST(VersionTextFormats)
{
    char text[32];
    FormatVersionText(0xFFFFFFFF, 65535, text);
    CHECK_EQ(std::string(text), std::string("255.255.65535.65535"));
    FormatVersionText(0x06000B54, 2180, text);
    CHECK_EQ(std::string(text), std::string("6.0.2900.2180"));
    FormatVersionText(0, 0, text);
    CHECK_EQ(std::string(text), std::string("0.0.0.0"));
}

TEST(ReplaceAllGrowsOnlyWhenNeeded)
{
    // Not found: success, unchanged.
    char* text = static_cast<char*>(malloc(8));
    strcpy(text, "abc");
    CHECK(ReplaceAll(text, "zz", "long replacement"));
    CHECK_EQ(std::string(text), std::string("abc"));

    // Shorter replacement: no reallocation, the block stays where it is.
    char* before = text;
    CHECK(ReplaceAll(text, "b", ""));
    CHECK(text == before);
    CHECK_EQ(std::string(text), std::string("ac"));

    // Longer replacement that fits the usable size: no reallocation.
    const size_t usable = _msize(text);
    std::string fill(usable - 1 - 2 + 1, 'x'); // "ac" -> "a" + fill + "" grows to usable - 1
    CHECK(ReplaceAll(text, "c", fill.c_str()));
    CHECK(text == before);
    CHECK_EQ(strlen(text), usable - 1);

    // One byte more than fits: grows to exactly N + 1.
    CHECK(ReplaceAll(text, "a", "AB"));
    CHECK_EQ(strlen(text), usable);
    CHECK_EQ(_msize(text), usable + 1);
    CHECK_EQ(std::string(text, 2), std::string("AB"));
    free(text);
}

TEST(ReplaceAllReplacesLeftToRightWithoutRescanning)
{
    char* text = static_cast<char*>(malloc(16));
    strcpy(text, "%X%%X%");
    CHECK(ReplaceAll(text, "%X%", "%X%%X%"));
    CHECK_EQ(std::string(text), std::string("%X%%X%%X%%X%"));
    free(text);

    // A name longer than the 9-byte placeholder makes the template grow to
    // exactly its new length + 1; one of 9 bytes or less does not.
    char* manifest = LoadManifestTemplate();
    char* same = manifest;
    CHECK(ReplaceAll(manifest, "%AppName%", "123456789"));
    CHECK(manifest == same);
    CHECK(ReplaceAll(manifest, "123456789", "1234567890"));
    CHECK_EQ(_msize(manifest), size_t(671));
    free(manifest);
}

TEST(TemplateCopyFailsWithTheMemoryError)
{
    CHeapFailure failure;
    SetLastError(0xDEADBEEF);
    CHECK(LoadManifestTemplate() == nullptr);
    CHECK_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    CHECK_EQ(failure.Refused(), 1);
}

TEST(ReplaceAllLeavesAValidTextWhenGrowthFails)
{
    char* text = static_cast<char*>(malloc(4));
    strcpy(text, "a_a");
    char* before = text;
    {
        CHeapFailure failure;
        SetLastError(0xDEADBEEF);
        CHECK(!ReplaceAll(text, "a", "long enough to need a bigger block"));
        CHECK_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
        CHECK(failure.Refused() > 0);
    }
    CHECK(text == before);
    CHECK_EQ(std::string(text), std::string("a_a"));
    free(text);
}

TEST(CodePageTextKeepsItsStateOnFailure)
{
    CCodePageText text;
    CHECK(text.Assign(0, "abc\0def", 7)); // code page 0 is not tested
    CHECK_EQ(memcmp(text.m_pszText, "abc\0def", 8), 0);
    CHECK(text.Assign(65001, "xyz\0tail", -1));
    CHECK_EQ(std::string(text.m_pszText), std::string("xyz"));
    CHECK_EQ(text.m_nCodePage, 65001u);

    CHECK(!text.Assign(12345, "other", -1)); // refused code page
    CHECK_EQ(std::string(text.m_pszText), std::string("xyz"));
    CHECK_EQ(text.m_nCodePage, 65001u);
    {
        CHeapFailure failure;
        SetLastError(0xDEADBEEF);
        CHECK(!text.Assign(1252, "other", -1));
        CHECK_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    }
    CHECK_EQ(std::string(text.m_pszText), std::string("xyz"));
    CHECK_EQ(text.m_nCodePage, 65001u);

    text.Empty();
    CHECK(text.m_pszText == nullptr);
    CHECK_EQ(text.m_nCodePage, 0u);
}

TEST(NameFailureLeavesTheNameAsItWas)
{
    CCodePageText name;
    CHECK(name.Assign(65001, "old", -1));
    bool threw = false;
    {
        // The stream cannot get its buffer: its exception passes through.
        CHeapFailure failure;
        try
        {
            MakeManifestAppName(L"C:\\new.exe", name);
        }
        catch (CMemoryException* e)
        {
            threw = true;
            e->Delete();
        }
    }
    CHECK(threw);
    CHECK_EQ(std::string(name.m_pszText), std::string("old"));
    {
        // The stream and the conversion work; the copy into the name fails.
        CHeapFailure failure(2);
        SetLastError(0xDEADBEEF);
        CHECK(!MakeManifestAppName(L"C:\\new.exe", name));
        CHECK_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    }
    CHECK_EQ(std::string(name.m_pszText), std::string("old"));
}
