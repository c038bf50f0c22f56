// The program's one error currency: an HRESULT made from the thread's last
// error, thrown by value inside the commands and shown by ShowErrorBox.
#pragma once

#include <windows.h>

// (last error & 0xFFFF) | 0x80070000 for a positive last error; 0 or a value
// that already has the severity bit is taken over unchanged. Call it right
// after the failing step, before any other platform call on the thread.
HRESULT ErrorCodeFromLastError();

// Turns code into readable text (never fails; the fixed English fallback when
// no message source knows the code). Texts are taken over unchanged,
// trailing line break included, except that a system text's "%1" names
// insert, when one is given, as Windows' own boxes name the file there.
class CString;
void FormatErrorText(CString& text, HRESULT code, LPCWSTR insert = nullptr);

// Shows the code's text (with insert as FormatErrorText puts it in) in an
// application message box with style, and note, when there is one, as a
// paragraph of its own after it; returns the button pressed.
int ShowErrorBox(HRESULT code, UINT style, LPCWSTR note = nullptr, LPCWSTR insert = nullptr);
