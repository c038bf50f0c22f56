#include "PathNames.h"

LPCWSTR FindFileName(LPCWSTR path)
{
    LPCWSTR name = path;
    for (LPCWSTR p = path; *p; ++p)
        if (*p == L'\\')
            name = p + 1;
    return name;
}

LPCWSTR FindExtension(LPCWSTR text)
{
    LPCWSTR dot = nullptr;
    LPCWSTR p = text;
    for (; *p; ++p)
        if (*p == L'.')
            dot = p;
    return dot ? dot : p;
}
