#include "TestHarness.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testing
{
namespace
{
struct Entry
{
    const char* name;
    TestFunction function;
};
std::vector<Entry>& Tests()
{
    static std::vector<Entry> tests;
    return tests;
}
int g_failures = 0;
std::vector<std::string> g_arguments;
} // namespace

void Register(const char* name, TestFunction function)
{
    Tests().push_back({name, function});
}

void Fail(const char* file, int line, const std::string& message)
{
    ++g_failures;
    printf("  %s:%d: %s\n", file, line, message.c_str());
}

std::string Describe(const std::wstring& text)
{
    std::string out = "\"";
    for (wchar_t ch : text)
    {
        if (ch >= 0x20 && ch < 0x7F)
            out += static_cast<char>(ch);
        else
        {
            char code[12];
            snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(ch));
            out += code;
        }
    }
    return out + "\"";
}

std::string Describe(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char ch : text)
    {
        if (ch >= 0x20 && ch < 0x7F)
            out += static_cast<char>(ch);
        else
        {
            char code[8];
            snprintf(code, sizeof code, "\\x%02x", ch);
            out += code;
        }
    }
    return out + "\"";
}

std::string Describe(const wchar_t* text)
{
    return text ? Describe(std::wstring(text)) : "(null)";
}

std::string Describe(const char* text)
{
    return text ? Describe(std::string(text)) : "(null)";
}

const std::vector<std::string>& Arguments()
{
    return g_arguments;
}

std::string Hex(unsigned long long value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%llx", value);
    return text;
}
} // namespace testing

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    // A crash ends the test executable at once instead of waiting in a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    for (int i = 1; i < argc; ++i)
    {
        char text[1024];
        if (WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text, sizeof text, nullptr, nullptr))
            testing::g_arguments.push_back(text);
    }
#else
int main(int argc, char** argv)
{
    testing::g_arguments.assign(argv + 1, argv + argc);
#endif
    // LUMAFORM_TEST_FILTER=Name runs only the tests whose name contains it.
    const char* filter = getenv("LUMAFORM_TEST_FILTER");
    int passed = 0, failed = 0;
    for (const auto& test : testing::Tests())
    {
        if (filter && *filter && !strstr(test.name, filter))
            continue;
        const int before = testing::g_failures;
        const auto started = std::chrono::steady_clock::now();
        printf("[ RUN ]   %s\n", test.name);
        fflush(stdout);
        try
        {
            test.function();
        }
        catch (...)
        {
            testing::Fail(__FILE__, __LINE__, std::string("unexpected exception in ") + test.name);
        }
        const bool ok = testing::g_failures == before;
        printf("%s %s (%.1f s)\n", ok ? "[ OK ]  " : "[FAIL]  ", test.name,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        fflush(stdout); // a test that hangs still shows how far the run came
        ok ? ++passed : ++failed;
    }
    printf("%d passed, %d failed\n", passed, failed);
    fflush(stdout);
    return failed;
}
