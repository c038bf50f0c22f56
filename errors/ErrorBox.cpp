#include "ErrorCode.h"

#include "../framework/AfxString.h"
#include "../framework/WinApp.h"

int ShowErrorBox(HRESULT code, UINT style, LPCWSTR note, LPCWSTR insert)
{
    CString text;
    FormatErrorText(text, code, insert);
    if (note && *note)
    {
        // The platform's texts end in a line break of their own; the note
        // follows after a blank line.
        const LPCWSTR end = static_cast<LPCWSTR>(text) + text.GetLength();
        if (text.IsEmpty() || end[-1] != L'\n')
            text += L"\r\n";
        text += L"\r\n";
        text += note;
    }
    return AfxMessageBox(text, style, 0);
}
