// Loading a library with the program's own activation context active, the way
// the platform SDK's isolation-aware wrappers do: the activation-context
// functions are looked up at run time, and where the platform has none the
// load is made plainly.
#pragma once

#include <windows.h>

// LoadLibraryExW(name, nullptr, flags) inside the program's activation context.
// Null when the context cannot be activated (no load is attempted then) or the
// load fails; the load's last error survives the deactivation.
HMODULE IsolationAwareLoadLibraryEx(LPCWSTR name, DWORD flags);

// The same for the library called name in the system folder, loaded by its
// full path with SystemLibraryLoadFlags (SystemLibrary.h).
HMODULE IsolationAwareLoadSystemLibrary(LPCWSTR name, DWORD flags);
