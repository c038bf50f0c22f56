// The libraries that the program loads itself come from the system folder,
// named by their full path: a file of the same name beside the program (a
// Downloads folder) or in the current directory is never loaded.
#pragma once

#include <windows.h>

// The system folder's path with "\\" and name appended, into path (of
// capacity MAX_PATH). False, with the last error set, when the system folder
// cannot be named or the whole name does not fit.
bool GetSystemLibraryPath(LPCWSTR name, WCHAR (&path)[MAX_PATH]);

// The LoadLibraryExW flags for a library from the system folder: a data-file
// load takes flags as they are (no code runs, nothing else is loaded); a code
// load adds the search that keeps the library's own imports in the system
// folder as well (LOAD_LIBRARY_SEARCH_SYSTEM32 where the platform has the
// search flags, else LOAD_WITH_ALTERED_SEARCH_PATH, which searches the
// library's own folder, the system folder, first).
DWORD SystemLibraryLoadFlags(DWORD flags);

// LoadLibraryExW of name in the system folder with SystemLibraryLoadFlags:
// the caller owns the module and frees it. Null, with the last error set,
// when it does not load.
HMODULE LoadSystemLibrary(LPCWSTR name, DWORD flags);

// GetProcAddress of name in module as a function of type Fn (through void*,
// which the compilers accept between function pointer types); null when the
// module lacks it.
template <typename Fn> Fn GetProcAddressAs(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Restricts the DLL search of the whole process to the system folder
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32), where the
// platform has the function: Windows 8 and later, and Windows Vista and 7
// with the update that added it. Elsewhere it does nothing. True when the
// restriction is in force.
bool RestrictDllSearchToSystemFolder();
