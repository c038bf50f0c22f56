#!/usr/bin/python3
"""Reads the header and the imports of a built program with pefile and checks
that they keep what the header promises on the oldest Windows the program
declares:

- the operating-system and subsystem versions are the declared ones: 5.1
  (Windows XP SP3) for 32-bit x86, 5.2 (Windows XP x64 and Server 2003 SP1,
  the oldest 64-bit Windows) for x64; the subsystem is the GUI one;
- the flags: terminal-server aware, address-space layout randomisation (with
  relocations to make it real), no execution of data; large address aware
  for 32-bit, high-entropy randomisation for 64-bit;
- every statically imported DLL is one that Windows always loads from its
  own folder (a KnownDLL on every Windows from XP SP3 to 11, below), or
  comctl32.dll, which the program's manifest sends to the side-by-side
  store: any other name would be searched for beside the program first;
- no imported function is newer than the declared Windows (a list of the
  newer functions that compilers and runtimes tend to pull in, below).

usage: check_header.py PROGRAM...
"""
import re
import sys

import pefile

# Declared Windows version by machine, and its name for the messages.
DECLARED = {
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: ((5, 1), "Windows XP SP3"),
    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: ((5, 2), "Windows XP x64 / Server 2003 SP1"),
}

# DLLs that every Windows from XP SP3 to 11 loads only from its system
# folder, whatever a program's folder holds: the names present in the
# registry list HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
# of Windows XP (advapi32 comdlg32 gdi32 imagehlp kernel32 lz32 ole32 oleaut32
# olecli32 olecnv32 olesvr32 olethk32 rpcrt4 shell32 url urlmon user32 version
# wininet wldap32) and of Windows 7, 10 and 11 alike (version.dll, wininet.dll
# and urlmon.dll dropped out of the list in later versions), plus msvcrt.dll,
# listed from Windows Vista/7 on and, on XP, an import of those DLLs that the
# loader maps from the same known-DLL section, and ntdll.dll, which the loader
# itself is. comctl32.dll is not known, but the program's manifest names
# version 6, which the loader takes from the side-by-side store.
KNOWN_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "kernel32.dll", "ole32.dll",
    "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "user32.dll", "wldap32.dll", "msvcrt.dll",
    "ntdll.dll",
}
SIDE_BY_SIDE = {"comctl32.dll"}

# Functions that the declared Windows may lack, with the first Windows
# version that has them (major, minor): the ones that runtimes, threading
# libraries and newer SDK headers pull in. From the "Minimum supported client
# / server" lines of the platform's documentation; the Fls* functions came
# with Windows Server 2003, the code base of XP x64.
NEWER = {
    "kernel32.dll": {
        (5, 2): ["FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "GetCurrentProcessorNumber",
                 "GetThreadId", "GetProcessIdOfThread"],
        (6, 0): ["GetTickCount64", "InitializeCriticalSectionEx", "InitializeSRWLock",
                 "AcquireSRWLockExclusive", "AcquireSRWLockShared", "ReleaseSRWLockExclusive",
                 "ReleaseSRWLockShared", "InitializeConditionVariable", "SleepConditionVariableCS",
                 "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
                 "InitOnceInitialize", "InitOnceExecuteOnce", "InitOnceBeginInitialize",
                 "InitOnceComplete", "CreateEventExA", "CreateEventExW", "CreateMutexExA",
                 "CreateMutexExW", "CreateSemaphoreExW", "CreateWaitableTimerExW",
                 "CompareStringEx", "LCMapStringEx", "LocaleNameToLCID", "LCIDToLocaleName",
                 "GetLocaleInfoEx", "GetUserDefaultLocaleName", "GetSystemDefaultLocaleName",
                 "IsValidLocaleName", "EnumSystemLocalesEx", "GetDateFormatEx", "GetTimeFormatEx",
                 "GetNumberFormatEx", "GetCurrencyFormatEx", "GetFileInformationByHandleEx",
                 "SetFileInformationByHandle", "CreateSymbolicLinkA", "CreateSymbolicLinkW",
                 "GetFinalPathNameByHandleA", "GetFinalPathNameByHandleW",
                 "QueryFullProcessImageNameA", "QueryFullProcessImageNameW", "GetErrorMode",
                 "FlushProcessWriteBuffers", "CancelIoEx", "GetQueuedCompletionStatusEx",
                 "SetFileCompletionNotificationModes", "CreateThreadpoolWork",
                 "SubmitThreadpoolWork", "CloseThreadpoolWork", "TrySubmitThreadpoolCallback",
                 "CreateThreadpoolTimer", "SetThreadpoolTimer", "GetNamedPipeServerProcessId",
                 "Wow64GetThreadContext"],
        (6, 1): ["TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared", "SetThreadErrorMode",
                 "GetThreadErrorMode", "QueryUnbiasedInterruptTime", "RaiseFailFastException",
                 "GetLogicalProcessorInformationEx", "ResolveLocaleName",
                 "K32GetModuleFileNameExW", "K32EnumProcessModules", "K32GetProcessMemoryInfo"],
        # Windows 8; on Vista and 7 only with the update that added them
        # (KB2533623), which a static import cannot rely on.
        (6, 2): ["GetSystemTimePreciseAsFileTime", "SetDefaultDllDirectories", "AddDllDirectory",
                 "RemoveDllDirectory", "CreateFile2", "CopyFile2", "GetCurrentThreadStackLimits",
                 "SetThreadInformation", "GetProcessMitigationPolicy",
                 "SetProcessMitigationPolicy"],
    },
    "advapi32.dll": {
        (5, 2): ["RegGetValueA", "RegGetValueW", "RegDeleteKeyExA", "RegDeleteKeyExW"],
        (6, 0): ["RegDeleteTreeA", "RegDeleteTreeW", "RegSetKeyValueA", "RegSetKeyValueW",
                 "RegCopyTreeW", "RegLoadMUIStringW", "EventRegister", "EventUnregister",
                 "EventWrite"],
    },
    "user32.dll": {
        (6, 0): ["SetProcessDPIAware", "IsProcessDPIAware", "ChangeWindowMessageFilter",
                 "AddClipboardFormatListener", "ShutdownBlockReasonCreate"],
        (6, 1): ["ChangeWindowMessageFilterEx", "RegisterTouchWindow",
                 "CalculatePopupWindowPosition"],
        (10, 0): ["GetDpiForWindow", "GetDpiForSystem", "SetProcessDpiAwarenessContext",
                  "SetThreadDpiAwarenessContext", "AdjustWindowRectExForDpi"],
    },
    "shell32.dll": {
        (6, 0): ["SHGetKnownFolderPath", "SHCreateItemFromParsingName"],
        (6, 1): ["SetCurrentProcessExplicitAppUserModelID", "SHGetPropertyStoreForWindow"],
    },
}
# msvcrt.dll of Windows XP has none of the "secure" (*_s) and locale (*_l)
# variants of the C library functions; they came to it with Windows Vista.
MSVCRT_NEWER = re.compile(r"^_?\w+_(s|l)$")

failures = []  # (path, message)


def fail(path, message):
    failures.append((path, message))


def check(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                               pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]])
    machine = pe.FILE_HEADER.Machine
    if machine not in DECLARED:
        fail(path, f"machine {machine:#06x} is neither x86 nor x64")
        return
    declared, windows = DECLARED[machine]
    is64 = machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
    opt = pe.OPTIONAL_HEADER

    # Versions and subsystem.
    for what, version in (
            ("operating system version", (opt.MajorOperatingSystemVersion,
                                          opt.MinorOperatingSystemVersion)),
            ("subsystem version", (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion))):
        if version != declared:
            fail(path, f"{what} is {version[0]}.{version[1]}, "
                       f"declared {declared[0]}.{declared[1]} ({windows})")
    if opt.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
        fail(path, f"subsystem {opt.Subsystem} is not the Windows GUI one")

    # Flags.
    dll = pefile.DLL_CHARACTERISTICS
    wanted = [("terminal-server aware", dll["IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"]),
              ("dynamic base (ASLR)", dll["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]),
              ("NX compatible (DEP)", dll["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"])]
    if is64:
        wanted.append(("high-entropy VA", dll["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"]))
    for name, bit in wanted:
        if not opt.DllCharacteristics & bit:
            fail(path, f"not marked {name}")
    file_flags = pefile.IMAGE_CHARACTERISTICS
    if not is64 and not pe.FILE_HEADER.Characteristics & file_flags["IMAGE_FILE_LARGE_ADDRESS_AWARE"]:
        fail(path, "not marked large address aware")
    # A dynamic base with nothing to relocate is a promise the loader cannot keep.
    relocations = opt.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if (pe.FILE_HEADER.Characteristics & file_flags["IMAGE_FILE_RELOCS_STRIPPED"]
            or relocations.Size == 0):
        fail(path, "dynamic base without relocations")

    # Imports.
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        name = entry.dll.decode().lower()
        if name not in KNOWN_DLLS and name not in SIDE_BY_SIDE:
            fail(path, f"imports {name}, which Windows would search for beside the program")
        functions = {i.name.decode() for i in entry.imports if i.name}
        for since, names in NEWER.get(name, {}).items():
            if since > declared:
                for function in sorted(functions & set(names)):
                    fail(path, f"imports {name}!{function}, which needs Windows "
                               f"{since[0]}.{since[1]}, newer than {windows}")
        if name == "msvcrt.dll":
            for function in sorted(f for f in functions if MSVCRT_NEWER.match(f)):
                fail(path, f"imports msvcrt.dll!{function}, which {windows}'s msvcrt lacks")


def main():
    for path in sys.argv[1:]:
        check(path)
    for path, message in failures:
        print(f"FAIL: {path}: {message}")
    count = len(sys.argv) - 1
    failed = len({path for path, _ in failures})
    print(f"{count - failed} passed, {failed} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
