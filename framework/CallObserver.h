// What the program hands to the few platform calls whose effect a test
// machine cannot show (Wine quotes a command line by itself, has no UIPI and,
// in a 64-bit prefix, no WOW64 redirection). Each such call reports its
// arguments as text to the observer a test has set, just before it is made;
// the call itself is always made. Nothing is formatted while no observer is
// set, so the program pays one test of a pointer.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

using CallObserver = void (*)(const char* function, const std::vector<std::wstring>& arguments);

// For tests: null turns observing off.
void SetCallObserver(CallObserver observer);

namespace call_observer
{
extern CallObserver g_observer;

// value in decimal, without the runtime's formatting (which would bring its
// whole printf into the program).
inline std::wstring Decimal(unsigned long long value, bool negative = false)
{
    wchar_t digits[24];
    wchar_t* at = digits + 24;
    do
        *--at = static_cast<wchar_t>(L'0' + value % 10);
    while ((value /= 10) != 0);
    if (negative)
        *--at = L'-';
    return std::wstring(at, digits + 24);
}

// A text as it is, a null text as "(null)"; a number or a handle in decimal.
inline std::wstring Text(LPCWSTR text)
{
    return text ? text : L"(null)";
}
inline std::wstring Text(const std::wstring& text)
{
    return text;
}
inline std::wstring Text(const void* handle)
{
    return Decimal(reinterpret_cast<ULONG_PTR>(handle));
}
template <typename Number, typename = std::enable_if_t<std::is_integral<Number>::value>>
std::wstring Text(Number number)
{
    return number < 0 ? Decimal(0ull - static_cast<unsigned long long>(number), true)
                      : Decimal(static_cast<unsigned long long>(number));
}
} // namespace call_observer

template <typename... Arguments>
void ObserveCall(const char* function, const Arguments&... arguments)
{
    if (call_observer::g_observer)
        call_observer::g_observer(function, {call_observer::Text(arguments)...});
}
