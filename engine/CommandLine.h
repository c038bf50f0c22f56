// Command lines for the programs the tool starts.
#pragma once

#include <windows.h>

#include <string>

// text as one argument of a command line, read back whole by the runtime's
// parser and CommandLineToArgvW: in double quotes, a quote inside it escaped,
// and the backslashes before a quote (the closing one too) doubled.
std::wstring QuoteArgument(LPCWSTR text);
