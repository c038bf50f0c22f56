#!/usr/bin/python3
"""Reads the programs that Lumaform changed (kept by the end-to-end test as
NAME.0.exe, then NAME.<step>.<command>.exe) with pefile, llvm-readobj and
Python's XML parser, and checks each step:
- the loader's rules: the section table within SizeOfHeaders, sections
  ascending and adjacent in memory, SizeOfImage their end, raw data aligned,
  within the file and not overlapping;
- every data directory but the resources' and the certificate table at the
  same address, with the same size, reading the same bytes;
- every resource other than manifest 1 unchanged;
- after Enable every variant of manifest 1 is XML that asks once for
  Common-Controls 6 (and llvm-readobj finds it), after Disable none asks;
- a variant that stays is the one before with exactly one block inserted (a
  dependency just before the root's closing tag) or cut, in its language and
  encoding, or, where it named Common-Controls at another version, with only
  that version changed to 6.0.0.0; one goes only when it asked or was not
  XML, and one is added (in the neutral language) only where there was none;
- Enable then Disable gives back every resource byte for byte (but where the
  program named another version of Common-Controls);
- .NET programs still run under mono and print what they printed.

usage: check_changed_programs.py FOLDER
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

import pefile

ASM = "{urn:schemas-microsoft-com:asm.v1}"
readobj = shutil.which("llvm-readobj") or shutil.which("llvm-readobj-14")
mono = shutil.which("mono")
failures = []


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def loader_rules(pe, size):
    o = pe.OPTIONAL_HEADER
    if pe.sections[-1].get_file_offset() + 40 > o.SizeOfHeaders or o.SizeOfHeaders % o.FileAlignment:
        return "SizeOfHeaders does not hold the section table or is not aligned"
    expected, raw = align(o.SizeOfHeaders, o.SectionAlignment), []
    for i, s in enumerate(pe.sections):
        if s.VirtualAddress != expected:
            return f"section {i} does not follow the previous one in memory"
        expected = align(s.VirtualAddress + (s.Misc_VirtualSize or s.SizeOfRawData),
                         o.SectionAlignment)
        if s.SizeOfRawData:
            if s.PointerToRawData % o.FileAlignment or s.SizeOfRawData % o.FileAlignment:
                return f"section {i}'s raw data is not aligned"
            if s.PointerToRawData < o.SizeOfHeaders or s.PointerToRawData + s.SizeOfRawData > size:
                return f"section {i}'s raw data lies in the headers or past the file"
            raw.append((s.PointerToRawData, s.PointerToRawData + s.SizeOfRawData))
    if o.SizeOfImage != expected:
        return "SizeOfImage is not the end of the last section"
    raw.sort()
    return "raw data of two sections overlap" if any(b[0] < a[1] for a, b in zip(raw, raw[1:])) \
        else None


def read(path):
    """(resources, data directories, loader-rule violation) of a program."""
    with open(path, "rb") as f:
        size = len(f.read())
    pe = pefile.PE(path)
    resources = {}
    for t in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries \
            if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                data = lang.data.struct
                resources[(t.id or str(t.name), n.id or str(n.name), lang.id)] = \
                    pe.get_data(data.OffsetToData, data.Size)
    directories = {i: (d.VirtualAddress, d.Size, pe.get_data(d.VirtualAddress, d.Size))
                   for i, d in enumerate(pe.OPTIONAL_HEADER.DATA_DIRECTORY)
                   if i not in (2, 4) and d.VirtualAddress}
    rules = loader_rules(pe, size)
    pe.close()
    return resources, directories, rules


def asks(variant):
    """How many dependencies ask for Common-Controls 6; None when not XML."""
    try:
        root = ET.fromstring(variant)
    except ET.ParseError:
        return None
    return sum(1 for i in root.findall(f"{ASM}dependency/{ASM}dependentAssembly/{ASM}assemblyIdentity")
               if i.get("name", "").lower() == "microsoft.windows.common-controls"
               and i.get("version", "").startswith("6."))


def other_version(variant):
    """The version of Common-Controls other than 6.x that a variant names, or None."""
    try:
        root = ET.fromstring(variant)
    except ET.ParseError:
        return None
    return next((i.get("version") for i in
                 root.findall(f"{ASM}dependency/{ASM}dependentAssembly/{ASM}assemblyIdentity")
                 if i.get("name", "").lower() == "microsoft.windows.common-controls"
                 and not i.get("version", "").startswith("6.")), None)


def text(variant):
    """The variant's characters (UTF-16 by its byte-order mark, else UTF-8)."""
    if variant[:2] == b"\xff\xfe":
        return variant[2:].decode("utf-16-le")
    return variant.decode("utf-8", errors="surrogateescape")


def one_block(before, after):
    """Where the one block that after has beyond before (or before beyond
    after) starts, and the block; None unless they differ by one block."""
    shorter, longer = sorted((before, after), key=len)
    start = 0
    while start < len(shorter) and shorter[start] == longer[start]:
        start += 1
    end = len(longer) - (len(shorter) - start)
    return (start, longer[start:end]) if longer[:start] + longer[end:] == shorter else None


def check_variants(fail, command, before, after):
    for lang, variant in after.items():
        if asks(variant) != (1 if command == "enable" else 0):
            fail(f"language {lang} asks {asks(variant)} times")
        if lang not in before:
            if before or lang != 0:
                fail(f"language {lang} added beside others")
            continue
        if (variant[:2] == b"\xff\xfe") != (before[lang][:2] == b"\xff\xfe"):
            fail(f"language {lang}: encoding changed")
        # A variant that already was as the command leaves it stays as it was.
        if asks(before[lang]) == asks(variant):
            if before[lang] != variant:
                fail(f"language {lang}: changed though it already was as wanted")
            continue
        version = other_version(before[lang])
        if command == "enable" and version:
            quoted = f'"{version}"'.encode()
            if before[lang].count(quoted) != 1 or \
                    before[lang].replace(quoted, b'"6.0.0.0"') != variant:
                fail(f"language {lang}: not only the version {version} changed to 6.0.0.0")
            continue
        block = one_block(text(before[lang]), text(variant))
        if not block or not block[1]:
            fail(f"language {lang}: not one block inserted or cut")
        elif command == "enable" and (
                not re.fullmatch(r"\s*<(\w+:)?dependency>.*</(\w+:)?dependency>\s*", block[1], re.S)
                or not re.match(r"\s*</(\w+:)?assembly>", text(variant)[block[0] + len(block[1]):])):
            fail(f"language {lang}: block not a dependency before the root's end")
    for lang, variant in before.items():
        if lang not in after and asks(variant) == 0:
            fail(f"language {lang} deleted although it did not ask")


folder = sys.argv[1]
steps = collections.defaultdict(dict)
for name in os.listdir(folder):
    parts = name.split(".")
    steps[parts[0]][int(parts[1])] = (parts[2] if len(parts) > 3 else "", os.path.join(folder, name))
for program, files in sorted(steps.items()):
    states = []
    for step in sorted(files):
        command, path = files[step]

        def fail(message, what=f"{program} step {step} ({command or 'original'})"):
            failures.append(f"{what}: {message}")
        try:
            states.append(read(path))
        except pefile.PEFormatError as error:
            fail(f"pefile cannot read it: {error}")
            break
        resources, directories, rules = states[-1]
        if rules:
            fail(rules)
        if step == 0:
            continue
        before = states[0][0]
        if directories != states[0][1]:
            fail("a data directory moved or reads other bytes")
        if {k: v for k, v in resources.items() if k[:2] != (24, 1)} != \
                {k: v for k, v in before.items() if k[:2] != (24, 1)}:
            fail("a resource other than manifest 1 changed")
        manifests = [{k[2]: v for k, v in s[0].items() if k[:2] == (24, 1)} for s in states[-2:]]
        check_variants(fail, command, *manifests)
        if command == "enable" and "Type: MANIFEST (ID 24)" not in subprocess.run(
                [readobj, "--coff-resources", path], check=True, capture_output=True,
                text=True).stdout:
            fail("llvm-readobj finds no manifest 1")
        if mono and 14 in states[0][1]:
            ran = [subprocess.run([mono, p], capture_output=True, text=True)
                   for p in (files[0][1], path)]
            if ran[1].returncode != 0 or ran[1].stdout != ran[0].stdout:
                fail(f"mono ran it with exit code {ran[1].returncode}: {ran[1].stderr}")
    named_other = any(other_version(v) for k, v in states[0][0].items() if k[:2] == (24, 1)) \
        if states else False
    if files.get(1, ("",))[0] == "enable" and len(states) > 2 and states[2][0] != states[0][0] \
            and not named_other:
        failures.append(f"{program}: Enable then Disable did not give back every resource")
for failure in failures:
    print("FAIL:", failure)
print(f"{len(steps)} programs, {len(failures)} failed")
sys.exit(1 if failures or not steps else 0)
