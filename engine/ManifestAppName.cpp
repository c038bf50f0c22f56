#include "ManifestComposition.h"
#include "PathNames.h"

#include "../framework/AutoHandles.h"
#include "../framework/MemFile.h"
#include "manifest/XmlEscape.h"

#include <cstdlib>
#include <cwchar>

namespace
{
// The UTF-8 form of count UTF-16 units in a runtime-heap block owned by the
// caller (null for none), its byte count in length. FALSE when the conversion
// fails or memory is short.
BOOL ConvertToUtf8(LPCWSTR units, int count, CRuntimeHeapBlock& bytes, int& length)
{
    length = 0;
    if (count == 0)
        return TRUE;
    length = WideCharToMultiByte(CP_UTF8, 0, units, count, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return FALSE;
    bytes.Attach(AllocRuntimeBlock(static_cast<size_t>(length)));
    if (!bytes)
        return FALSE;
    return WideCharToMultiByte(CP_UTF8, 0, units, count, static_cast<char*>(bytes.Get()), length,
                               nullptr, nullptr) == length;
}
} // namespace

void EscapeXmlText(CMemFile& stream, LPCWSTR text, int length)
{
    if (length == -1)
        length = static_cast<int>(wcslen(text));
    if (length <= 0)
        return;
    EscapeXml(text, static_cast<size_t>(length),
              [&](const wchar_t* piece, size_t units)
              { stream.Write(piece, static_cast<UINT>(units * sizeof(WCHAR))); });
}

BOOL MakeManifestAppName(LPCWSTR path, CCodePageText& name)
{
    LPCWSTR nameStart = FindFileName(path);
    LPCWSTR nameEnd = FindExtension(nameStart);

    CRuntimeHeapBlock units;
    ULONGLONG byteCount = 0;
    {
        CMemFile stream(1024);
        EscapeXmlText(stream, nameStart, static_cast<int>(nameEnd - nameStart));
        byteCount = stream.GetLength();
        units.Attach(stream.Detach());
    }

    CRuntimeHeapBlock utf8;
    int utf8Length = 0;
    if (!ConvertToUtf8(static_cast<LPCWSTR>(units.Get()), static_cast<int>(byteCount / 2), utf8,
                       utf8Length))
        return FALSE;
    return name.Assign(CP_UTF8, utf8 ? static_cast<const char*>(utf8.Get()) : "", utf8Length);
}
