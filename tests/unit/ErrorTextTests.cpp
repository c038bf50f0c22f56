// Error codes and the message-source cascade. The test executable carries a
// message table (TestMessages.mc) with a text for every code below, so that
// the text shows which source answered: a table text means the cascade ran,
// a fallback text means a remote-access or Internet branch ran and had none.
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "errors/ErrorCode.h"
#include "framework/AfxString.h"
#include "framework/AutoHandles.h"

using namespace testing;

namespace
{
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
}

TEST(RemoteAccessRangeHasNoFallThrough)
{
    // Wine's RasGetErrorStringW is a stub that fails, so these end in the
    // fallback, although the table has texts for them.
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
