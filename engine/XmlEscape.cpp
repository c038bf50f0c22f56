#include "ManifestComposition.h"

#include "../framework/MemFile.h"

#include <cwchar>

namespace
{
LPCWSTR EntityFor(WCHAR ch)
{
    switch (ch)
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
} // namespace

void EscapeXmlText(CMemFile& stream, LPCWSTR text, int length)
{
    if (length == -1)
        length = static_cast<int>(wcslen(text));
    if (length <= 0)
        return;

    LPCWSTR pos = text;
    LPCWSTR const end = text + length;
    while (pos < end)
    {
        if (LPCWSTR entity = EntityFor(*pos))
        {
            stream.Write(entity, static_cast<UINT>(wcslen(entity) * sizeof(WCHAR)));
            ++pos;
            continue;
        }
        // Ordinary characters up to the next special one go out in one write.
        LPCWSTR runEnd = pos;
        while (runEnd < end && !EntityFor(*runEnd))
            ++runEnd;
        stream.Write(pos, static_cast<UINT>((runEnd - pos) * sizeof(WCHAR)));
        pos = runEnd;
    }
}
