#include "ErrorCode.h"

#include "../framework/AfxString.h"
#include "../framework/WinApp.h"

int ShowErrorBox(HRESULT code, UINT style)
{
    CString text;
    FormatErrorText(text, code);
    return AfxMessageBox(text, style, 0);
}
