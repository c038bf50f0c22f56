#!/usr/bin/python3
"""Reads the manifest template back from a built executable with pefile and
checks it line by line against the template's definition: 22 lines, CR LF,
indents, trailing blanks, placeholders and the common-controls key token.

usage: check_template.py EXE
"""
import sys

import pefile

ROWS = [  # indent, text, trailing blank
    (0, '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>', False),
    (0, '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">', True),
    (0, "<assemblyIdentity", True),
    (4, 'processorArchitecture="X86"', True),
    (4, 'version="%AppVersion%"', True),
    (4, 'name="%AppName%"', False),
    (4, 'type="win32"', True),
    (0, "/>", True),
    (0, "<description>Manifest</description>", True),
    (0, "<dependency>", True),
    (4, "<dependentAssembly>", True),
    (8, "<assemblyIdentity", True),
    (12, 'type="win32"', True),
    (12, 'name="Microsoft.Windows.Common-Controls"', True),
    (12, 'version="6.0.0.0"', True),
    (12, 'processorArchitecture="X86"', True),
    (12, 'publicKeyToken="6595b64144ccf1df"', True),
    (12, 'language="*"', True),
    (8, "/>", True),
    (4, "</dependentAssembly>", True),
    (0, "</dependency>", True),
    (0, "</assembly>", False),
]


def resource(pe, type_id, name_id):
    """{language: bytes} of one resource."""
    found = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if rtype.id != type_id:
            continue
        for name in rtype.directory.entries:
            if name.id != name_id:
                continue
            for lang in name.directory.entries:
                entry = lang.data.struct
                found[lang.id] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def main():
    pe = pefile.PE(sys.argv[1])
    found = resource(pe, 24, 130)
    expected = "".join(" " * i + t + (" " if b else "") + "\r\n" for i, t, b in ROWS).encode()
    failures = []
    if list(found) != [0]:
        failures.append(f"template languages {list(found)}, expected [0]")
    data = found.get(0, b"")
    if len(data) != 669:
        failures.append(f"template is {len(data)} bytes, expected 669")
    if data != expected:
        failures.append("template bytes differ from the definition")
    if data.count(b"\r\n") != 22 or b"\t" in data or b"\0" in data or data.startswith(b"\xef\xbb\xbf"):
        failures.append("template line structure is wrong")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{1 if not failures else 0} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
