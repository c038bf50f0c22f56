#!/usr/bin/python3
"""Reads the programs that Lumaform changed for each layout (kept by the
end-to-end test as NAME.0.exe, then NAME.<step>.<command>.exe) and checks
each step:
- the loader's rules: the section table within SizeOfHeaders, sections
  ascending and adjacent in memory, SizeOfImage their end, raw data aligned,
  within the file and not overlapping;
- every data directory but the resources' and the certificate table at the
  same address, with the same size, reading the same bytes (pefile);
- pefile and llvm-readobj read the resources, and after Enable find manifest 1;
- every other section's mapped bytes unchanged;
- .NET programs still run (mono), and print what the original printed.

usage: check_layouts.py FOLDER
"""
import collections
import os
import shutil
import subprocess
import sys

import pefile

failures = []


def fail(message):
    failures.append(message)


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def loader_rules(pe, size):
    o = pe.OPTIONAL_HEADER
    table_end = pe.sections[-1].get_file_offset() + 40 if pe.sections else 0
    if table_end > o.SizeOfHeaders or o.SizeOfHeaders % o.FileAlignment:
        return "SizeOfHeaders does not hold the section table or is not aligned"
    expected = align(o.SizeOfHeaders, o.SectionAlignment)
    raw = []
    for i, s in enumerate(pe.sections):
        if s.VirtualAddress != expected:
            return f"section {i} does not follow the previous one in memory"
        expected = align(s.VirtualAddress + (s.Misc_VirtualSize or s.SizeOfRawData),
                         o.SectionAlignment)
        if s.SizeOfRawData:
            if s.PointerToRawData % o.FileAlignment or s.SizeOfRawData % o.FileAlignment:
                return f"section {i}'s raw data is not aligned"
            if s.PointerToRawData < o.SizeOfHeaders or \
                    s.PointerToRawData + s.SizeOfRawData > size:
                return f"section {i}'s raw data lies in the headers or past the file"
            raw.append((s.PointerToRawData, s.PointerToRawData + s.SizeOfRawData))
    if o.SizeOfImage != expected:
        return "SizeOfImage is not the end of the last section"
    raw.sort()
    if any(b[0] < a[1] for a, b in zip(raw, raw[1:])):
        return "raw data of two sections overlap"
    return None


def directories(pe):
    found = {}
    for i, d in enumerate(pe.OPTIONAL_HEADER.DATA_DIRECTORY):
        if i in (2, 4) or not d.VirtualAddress:
            continue
        found[i] = (d.VirtualAddress, d.Size, pe.get_data(d.VirtualAddress, d.Size))
    return found


def mapped_sections(pe):
    root = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
    return {s.VirtualAddress: s.get_data(length=min(s.Misc_VirtualSize or s.SizeOfRawData,
                                                    s.SizeOfRawData))
            for s in pe.sections if not s.contains_rva(root) or not root}


def manifests(pe):
    """The languages of manifest 1."""
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return []
    return [lang.id for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 24
            for n in t.directory.entries if n.id == 1 for lang in n.directory.entries]


def readobj_manifests(path):
    text = subprocess.run([readobj, "--coff-resources", path], check=True,
                          capture_output=True, text=True).stdout
    return text.count("Type: MANIFEST (ID 24)")


readobj = shutil.which("llvm-readobj") or shutil.which("llvm-readobj-14")
mono = shutil.which("mono")
folder = sys.argv[1]
steps = collections.defaultdict(dict)
for name in os.listdir(folder):
    parts = name.split(".")
    steps[parts[0]][int(parts[1])] = (parts[2] if len(parts) > 3 else "", os.path.join(folder, name))
for layout, files in sorted(steps.items()):
    original = pefile.PE(files[0][1])
    before_dirs, before_sections = directories(original), mapped_sections(original)
    is_managed = original.OPTIONAL_HEADER.DATA_DIRECTORY[14].VirtualAddress != 0
    ran = None
    if is_managed and mono:
        ran = subprocess.run([mono, files[0][1]], capture_output=True, text=True).stdout
    for step in sorted(files):
        command, path = files[step]
        what = f"{layout} step {step} ({command or 'original'})"
        with open(path, "rb") as f:
            size = len(f.read())
        try:
            pe = pefile.PE(path)
            directories(pe)
        except pefile.PEFormatError as error:
            fail(f"{what}: pefile cannot read it: {error}")
            continue
        broken = loader_rules(pe, size)
        if broken:
            fail(f"{what}: {broken}")
        if directories(pe) != before_dirs:
            fail(f"{what}: a data directory moved or reads other bytes")
        if mapped_sections(pe) != {k: v for k, v in before_sections.items()
                                   if k in mapped_sections(pe)} or \
                len(mapped_sections(pe)) < len(before_sections):
            fail(f"{what}: another section's mapped bytes changed")
        if command == "enable" and (not manifests(pe) or readobj_manifests(path) < 1):
            fail(f"{what}: pefile or llvm-readobj finds no manifest 1")
        if is_managed and mono:
            result = subprocess.run([mono, path], capture_output=True, text=True)
            if result.returncode != 0 or result.stdout != ran:
                fail(f"{what}: mono ran it with exit code {result.returncode}: "
                     f"{result.stdout}{result.stderr}")
        pe.close()
    original.close()
for failure in failures:
    print("FAIL:", failure)
print(f"{len(steps)} layouts, {len(failures)} failed")
sys.exit(1 if failures or not steps else 0)
