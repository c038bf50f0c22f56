// A small test harness: TEST registers a function, CHECK and CHECK_EQ record
// failures and go on. main() runs every test and exits with the failure count.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace testing
{
using TestFunction = void (*)();
void Register(const char* name, TestFunction function);
void Fail(const char* file, int line, const std::string& message);
std::string Describe(const std::wstring& text);
std::string Describe(const std::string& text);
std::string Describe(const wchar_t* text);
std::string Describe(const char* text);
template <typename T> std::string Describe(const T& value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}
std::string Hex(unsigned long long value);
// The test executable's command-line arguments after its name, in UTF-8.
const std::vector<std::string>& Arguments();

struct Registrar
{
    Registrar(const char* name, TestFunction function) { Register(name, function); }
};
} // namespace testing

#define TEST(name)                                                                                 \
    static void name();                                                                            \
    static testing::Registrar name##_registrar(#name, name);                                       \
    static void name()

#define CHECK(condition)                                                                           \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
            testing::Fail(__FILE__, __LINE__, "CHECK(" #condition ")");                            \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do                                                                                             \
    {                                                                                              \
        const auto& actual_ = (actual);                                                            \
        const auto& expected_ = (expected);                                                        \
        if (!(actual_ == expected_))                                                               \
            testing::Fail(__FILE__, __LINE__,                                                      \
                          "CHECK_EQ(" #actual ", " #expected ")\n      actual:   " +               \
                              testing::Describe(actual_) +                                         \
                              "\n      expected: " + testing::Describe(expected_));                \
    } while (0)
