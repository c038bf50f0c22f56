#!/usr/bin/python3
"""Checks that executables import only DLLs that Windows itself ships, so the
program runs from a single file (the runtime is linked statically).

usage: check_imports.py EXE...
"""
import sys

import pefile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comdlg32.dll",
               "version.dll", "msvcrt.dll", "advapi32.dll", "comctl32.dll", "ole32.dll"}

failed = 0
for path in sys.argv[1:]:
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    names = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    foreign = sorted(names - SYSTEM_DLLS)
    if foreign:
        failed += 1
        print(f"FAIL: {path} imports {', '.join(foreign)}")
print(f"{len(sys.argv) - 1 - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
