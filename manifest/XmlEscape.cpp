#include "XmlEscape.h"

const wchar_t* XmlEntityFor(wchar_t c)
{
    switch (c)
    {
    case L'"':
        return L"&quot;";
    case L'&':
        return L"&amp;";
    case L'\'':
        return L"&apos;";
    case L'<':
        return L"&lt;";
    case L'>':
        return L"&gt;";
    default:
        return nullptr;
    }
}
