#include "CommandLine.h"

std::wstring QuoteArgument(LPCWSTR text)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (LPCWSTR c = text; *c; ++c)
    {
        if (*c == L'\\')
        {
            ++backslashes;
            continue;
        }
        // Backslashes count double only in front of a quote.
        quoted.append(*c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += *c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, L'\\');
    quoted += L'"';
    return quoted;
}
