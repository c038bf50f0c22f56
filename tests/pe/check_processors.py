#!/usr/bin/python3
"""Reads the programs that Lumaform changed for each processor (kept by the
end-to-end test) with pefile, and checks that each carries exactly the
manifest composed for it: the template with the program's name, the file
version its own version block gives, and its processor ("X86", "amd64",
"arm64") in both processorArchitecture attributes.

usage: check_processors.py TEMPLATE FOLDER
"""
import os
import sys

import pefile

ARCHITECTURES = {0x014C: "X86", 0x8664: "amd64", 0xAA64: "arm64"}
template_path, folder = sys.argv[1:3]
with open(template_path, "rb") as f:
    template = f.read()
failures, seen = [], set()
for name in sorted(os.listdir(folder)):
    path = os.path.join(folder, name)
    pe = pefile.PE(path)
    architecture = ARCHITECTURES.get(pe.FILE_HEADER.Machine)
    seen.add(architecture)
    version = "0.0.0.0"
    for info in getattr(pe, "VS_FIXEDFILEINFO", []):
        ms, ls = info.FileVersionMS, info.FileVersionLS
        version = f"{ms >> 16 & 0xFF}.{ms & 0xFF}.{ls >> 16}.{ls & 0xFFFF}"
    expected = (template.replace(b"%AppVersion%", version.encode())
                .replace(b"%AppName%", os.path.splitext(name)[0].encode())
                .replace(b'processorArchitecture="X86"',
                         b'processorArchitecture="' + architecture.encode() + b'"'))
    manifest = None
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for n in t.directory.entries if t.id == 24 else []:
                if n.id == 1:
                    data = n.directory.entries[0].data.struct
                    manifest = pe.get_data(data.OffsetToData, data.Size)
    if manifest != expected:
        failures.append(f"{name} ({architecture}): manifest differs")
    pe.close()
if seen != {"X86", "amd64", "arm64"}:
    failures.append(f"processors seen: {sorted(str(s) for s in seen)}")
for failure in failures:
    print("FAIL:", failure)
print(f"{len(os.listdir(folder)) - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
