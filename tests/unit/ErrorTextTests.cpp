// Error codes and the message-source cascade. The test executable carries a
// message table (TestMessages.mc) with a text for every code below, so that
// the text shows which source answered: a table text means the cascade ran,
// a fallback text means a remote-access or Internet branch ran and had none.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "errors/ErrorCode.h"
#include "errors/SystemLibrary.h"
#include "framework/AfxString.h"
#include "framework/AutoHandles.h"

#include <cstring>

using namespace testing;

namespace
{
// Win32 error numbers of the range that the remote-access errors share
// (the headers of the oldest Windows the program supports define neither).
constexpr DWORD kElevationRequired = 740;     // ERROR_ELEVATION_REQUIRED
constexpr DWORD kAuthenticationFailure = 691; // remote access: ERROR_AUTHENTICATION_FAILURE

std::wstring TextOf(DWORD code)
{
    CString text(L"previous content");
    FormatErrorText(text, static_cast<HRESULT>(code));
    return std::wstring(text);
}

std::wstring TableText(DWORD id)
{
    wchar_t text[64];
    wsprintfW(text, L"Test table %lu\r\n", id);
    return text;
}

// What the platform itself says for a message id, or nothing.
std::wstring Platform(DWORD source, HMODULE module, DWORD id)
{
    LPWSTR buffer = nullptr;
    if (!FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
                        module, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr))
        return std::wstring();
    std::wstring text(buffer);
    LocalFree(buffer);
    return text;
}

std::wstring SystemText(DWORD id)
{
    return Platform(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, id);
}
} // namespace

TEST(CodesFromLastError)
{
    SetLastError(5);
    CHECK_EQ(Hex(DWORD(ErrorCodeFromLastError())), Hex(0x80070005));
    SetLastError(0);
    CHECK_EQ(ErrorCodeFromLastError(), HRESULT(0));
    SetLastError(0x12345678);
    CHECK_EQ(Hex(DWORD(ErrorCodeFromLastError())), Hex(0x80075678));
    SetLastError(0x80004005);
    CHECK_EQ(Hex(DWORD(ErrorCodeFromLastError())), Hex(0x80004005));
}

TEST(Win32CodesGetTheSystemTextOfTheirLowBits)
{
    const std::wstring expected = SystemText(2);
    CHECK(!expected.empty());
    CHECK_EQ(TextOf(0x80070002), expected);
    // Taken over unchanged, with its line break.
    CHECK(expected.size() > 2 && expected.substr(expected.size() - 2) == L"\r\n");
    CHECK_EQ(TextOf(0x80070005), SystemText(5));
    CHECK_EQ(TextOf(0), SystemText(0));

    // A text with an insert (ERROR_BAD_EXE_FORMAT's "%1") names the file
    // given for it, everywhere it stands; without one it keeps "%1".
    std::wstring named = SystemText(ERROR_BAD_EXE_FORMAT);
    CHECK(named.find(L"%1") != std::wstring::npos);
    for (size_t at; (at = named.find(L"%1")) != std::wstring::npos;)
        named.replace(at, 2, L"Tool 1.exe");
    CString text;
    FormatErrorText(text, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), L"Tool 1.exe");
    CHECK_EQ(std::wstring(text), named);
    CHECK_EQ(TextOf(HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)), SystemText(ERROR_BAD_EXE_FORMAT));
}

TEST(RemoteAccessRangeHasNoFallThrough)
{
    // Wine's system table has no text from 600 to 805 and its
    // RasGetErrorStringW is a stub that fails, so these end in the fallback,
    // although the program's table has texts for them.
    for (DWORD code : {DWORD(600), DWORD(805)})
        CHECK(SystemText(code).empty());
    CHECK_EQ(TextOf(600), std::wstring(L"Unexpected error: 600"));
    CHECK_EQ(TextOf(805), std::wstring(L"Unexpected error: 805"));
    CHECK_EQ(TextOf(0x80070258), std::wstring(L"Unexpected error: 0x80070258"));
    CHECK_EQ(TextOf(0x12340325), std::wstring(L"Unexpected error: 0x12340325"));
    CHECK_EQ(TextOf(0x00010258), std::wstring(L"Unexpected error: 0x00010258"));
}

TEST(JustOutsideTheRemoteAccessRangeTheCascadeRuns)
{
    for (DWORD code : {DWORD(599), DWORD(806), DWORD(0x80070326), DWORD(0x12340257)})
    {
        const std::wstring system = SystemText(code);
        CHECK_EQ(TextOf(code), system.empty() ? TableText(code) : system);
        CHECK(TextOf(code).rfind(L"Unexpected error", 0) != 0);
    }
}

TEST(InternetRangeReadsWininetByLowBits)
{
    CLibrary wininet(LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
    CHECK(wininet);
    for (DWORD code : {DWORD(12001), DWORD(0x80072EE2), DWORD(0xABCD2F8E)})
    {
        const std::wstring wininetText =
            Platform(FORMAT_MESSAGE_FROM_HMODULE, wininet.Get(), LOWORD(code));
        wchar_t fallback[40];
        wsprintfW(fallback, code > 0xFFFF ? L"Unexpected error: 0x%08x" : L"Unexpected error: %u",
                  code);
        CHECK_EQ(TextOf(code), wininetText.empty() ? std::wstring(fallback) : wininetText);
        CHECK(TextOf(code) != TableText(code));
    }
    CHECK(!Platform(FORMAT_MESSAGE_FROM_HMODULE, wininet.Get(), 12002).empty());
}

TEST(JustOutsideTheInternetRangeTheCascadeRuns)
{
    for (DWORD code : {DWORD(11999), DWORD(12175), DWORD(0x80072F8F)})
    {
        const std::wstring system = SystemText(code);
        CHECK_EQ(TextOf(code), system.empty() ? TableText(code) : system);
    }
}

TEST(FallbackIsDecimalUpTo65535)
{
    CHECK(SystemText(65535).empty());
    CHECK_EQ(TextOf(65535), std::wstring(L"Unexpected error: 65535"));
    CHECK(SystemText(0xBEEF).empty());
    CHECK_EQ(TextOf(0x0001BEEF), std::wstring(L"Unexpected error: 0x0001beef"));
    CHECK_EQ(TextOf(0xC00DBEEF), std::wstring(L"Unexpected error: 0xc00dbeef"));
}

// Windows has system texts for nearly every number from 600 to 805, Wine's
// system table none; Windows with remote access installed has a
// remote-access table, Wine a RasGetErrorStringW that always fails. To see
// which source the program asks first, the test program's own calls of the
// platform (through its import table, which the program's code linked into
// it uses) go to stand-ins for the duration of a test: FormatMessageW with
// Windows' system text for 740, and a remote-access table with a text for
// 691, handed out by GetProcAddress for RasGetErrorStringW.
namespace
{
// The slot of the test program's import table through which it calls
// function of dll; null when it imports no such function.
void** ImportSlot(const char* dll, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name; ++entry)
    {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        const auto* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// While it lives, the test program's calls of dll!function go to
// replacement; Original() is the platform's function.
class CImportReplacement
{
public:
    CImportReplacement(const char* dll, const char* function, void* replacement)
        : m_slot(ImportSlot(dll, function))
    {
        CHECK(m_slot != nullptr);
        if (m_slot)
        {
            m_original = *m_slot;
            Write(replacement);
        }
    }
    ~CImportReplacement()
    {
        if (m_slot)
            Write(m_original);
    }
    CImportReplacement(const CImportReplacement&) = delete;
    CImportReplacement& operator=(const CImportReplacement&) = delete;
    void* Original() const { return m_original; }

private:
    void Write(void* value)
    {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection);
        *m_slot = value;
        VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }

    void** m_slot;
    void* m_original = nullptr;
};

const wchar_t kElevationText[] = L"The requested operation requires elevation.\r\n";
const wchar_t kAuthenticationText[] = L"Remote access table: authentication failed (691).\r\n";

using FormatMessageFn = decltype(&FormatMessageW);
using GetProcAddressFn = decltype(&GetProcAddress);
FormatMessageFn g_formatMessage = nullptr;
GetProcAddressFn g_getProcAddress = nullptr;
int g_remoteAccessCalls = 0;
std::wstring g_remoteAccessLibrary;

DWORD WINAPI SystemTableAsOnWindows(DWORD flags, LPCVOID source, DWORD id, DWORD language,
                                    LPWSTR buffer, DWORD size, va_list* arguments)
{
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) && (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) &&
        id == kElevationRequired)
    {
        const size_t length = wcslen(kElevationText);
        auto* text = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(wchar_t)));
        if (!text)
            return 0;
        wcscpy(text, kElevationText);
        *reinterpret_cast<LPWSTR*>(buffer) = text;
        return static_cast<DWORD>(length);
    }
    return g_formatMessage(flags, source, id, language, buffer, size, arguments);
}

DWORD WINAPI RemoteAccessTable(UINT code, LPWSTR text, DWORD size)
{
    ++g_remoteAccessCalls;
    if (code != kAuthenticationFailure)
        return ERROR_INVALID_PARAMETER;
    if (size <= wcslen(kAuthenticationText))
        return ERROR_INSUFFICIENT_BUFFER;
    wcscpy(text, kAuthenticationText);
    return 0;
}

FARPROC WINAPI GetProcAddressWithRemoteAccess(HMODULE module, LPCSTR name)
{
    if ((reinterpret_cast<ULONG_PTR>(name) >> 16) != 0 && strcmp(name, "RasGetErrorStringW") == 0)
    {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(module, path, MAX_PATH);
        g_remoteAccessLibrary = path;
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RemoteAccessTable));
    }
    return g_getProcAddress(module, name);
}

class CWindowsTables
{
public:
    CWindowsTables()
    {
        g_formatMessage = reinterpret_cast<FormatMessageFn>(m_formatMessage.Original());
        g_getProcAddress = reinterpret_cast<GetProcAddressFn>(m_getProcAddress.Original());
        g_remoteAccessCalls = 0;
        g_remoteAccessLibrary.clear();
    }

private:
    CImportReplacement m_formatMessage{"kernel32.dll", "FormatMessageW",
                                       reinterpret_cast<void*>(&SystemTableAsOnWindows)};
    CImportReplacement m_getProcAddress{"kernel32.dll", "GetProcAddress",
                                        reinterpret_cast<void*>(&GetProcAddressWithRemoteAccess)};
};

std::wstring SystemFolderLibrary(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = L"";
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}
} // namespace

// A code from 600 to 805 that the system knows gets the system's text; the
// remote-access table answers only for the rest, and only from the system
// folder's rasapi32.dll.
TEST(RemoteAccessRangeTakesTheSystemTextFirst)
{
    const CWindowsTables tables;
    CHECK_EQ(TextOf(kElevationRequired), std::wstring(kElevationText));
    CHECK_EQ(TextOf(0x800702E4), std::wstring(kElevationText));
    CHECK_EQ(g_remoteAccessCalls, 0);

    CHECK_EQ(TextOf(kAuthenticationFailure), std::wstring(kAuthenticationText));
    CHECK_EQ(TextOf(0x800702B3), std::wstring(kAuthenticationText));
    CHECK_EQ(g_remoteAccessCalls, 2);
    CHECK_EQ(lstrcmpiW(g_remoteAccessLibrary.c_str(), SystemFolderLibrary(L"rasapi32.dll").c_str()),
             0);

    // Neither table knows 600: the fallback, never the program's own table.
    CHECK_EQ(TextOf(0x80070258), std::wstring(L"Unexpected error: 0x80070258"));
    CHECK_EQ(g_remoteAccessCalls, 3);
}

// The same codes with Wine's own tables, which know none of them: each
// shows the fallback, not the text that the program's table holds for it.
TEST(RemoteAccessRangeWithWinesTables)
{
    for (DWORD code : {kElevationRequired, DWORD(0x800702E4), kAuthenticationFailure})
    {
        wchar_t fallback[40];
        wsprintfW(fallback, code > 0xFFFF ? L"Unexpected error: 0x%08x" : L"Unexpected error: %u",
                  code);
        std::wstring expected = SystemText(code);
        if (expected.empty())
            expected = SystemText(LOWORD(code));
        if (expected.empty())
            expected = fallback; // Wine: no system text, and its remote-access stub fails
        CHECK_EQ(TextOf(code), expected);
        CHECK(TextOf(code) != TableText(code));
    }
}

// The libraries behind the texts (and the version reader) are named by their
// full path in the system folder, and a code library's own imports are
// searched for there too.
TEST(SystemLibrariesAreLoadedByTheirFullPath)
{
    WCHAR path[MAX_PATH];
    CHECK(GetSystemLibraryPath(L"rasapi32.dll", path));
    CHECK_EQ(std::wstring(path), SystemFolderLibrary(L"rasapi32.dll"));

    const std::wstring tooLong(MAX_PATH, L'x');
    SetLastError(0xdeadbeef);
    CHECK(!GetSystemLibraryPath(tooLong.c_str(), path));
    CHECK_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));

    CLibrary version(LoadSystemLibrary(L"version.dll", 0));
    CHECK(version);
    wchar_t loaded[MAX_PATH] = L"";
    GetModuleFileNameW(version.Get(), loaded, MAX_PATH);
    CHECK_EQ(lstrcmpiW(loaded, SystemFolderLibrary(L"version.dll").c_str()), 0);

    CHECK_EQ(SystemLibraryLoadFlags(LOAD_LIBRARY_AS_DATAFILE), DWORD(LOAD_LIBRARY_AS_DATAFILE));
    const bool hasSearchFlags =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    CHECK_EQ(SystemLibraryLoadFlags(0),
             DWORD(hasSearchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH));
}
