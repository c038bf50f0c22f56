// The program's entry: the runtime's Unicode GUI start-up calls wWinMain with
// the command line after the program name and the show value of the process's
// start-up information; the framework takes it from there.
#include "WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    return AfxWinMain(instance, previous, commandLine, show);
}
