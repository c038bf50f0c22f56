/* The comparison for the start-up benchmark: the program's own main dialog
 * template and resources shown by a bare dialog procedure, with none of the
 * program's framework or work around it. */
#include <windows.h>

#include "res/resource.h"

static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
    {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
    return (int)DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), NULL, DialogProc, 0);
}
