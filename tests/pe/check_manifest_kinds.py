#!/usr/bin/python3
"""Reads the programs that Lumaform changed for each kind of manifest 1 (kept
by the end-to-end test as NAME.0.exe, NAME.1.<command>.exe and
NAME.2.<command>.exe) with pefile, and each variant of manifest 1 with
Python's XML parser. Checks that:
- every resource other than manifest 1 is the same at every step;
- after Enable every variant asks once for Common-Controls 6, after Disable
  none does, and each is well-formed XML;
- a variant that stays is the one before with exactly one block inserted or
  cut out, in the same language and encoding; an inserted block is a
  dependency placed just before the root's closing tag;
- a variant goes only when it asked or was not XML, and one is added (in the
  neutral language) only where there was none;
- Enable then Disable gives back every byte.

usage: check_manifest_kinds.py FOLDER
"""
import collections
import os
import re
import sys
import xml.etree.ElementTree as ET

import pefile

ASM = "{urn:schemas-microsoft-com:asm.v1}"


def resources(path):
    found = {}
    pe = pefile.PE(path)
    for t in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                data = lang.data.struct
                key = (t.id or str(t.name), n.id or str(n.name), lang.id)
                found[key] = pe.get_data(data.OffsetToData, data.Size)
    pe.close()
    return found


def asks(variant):
    """How many dependencies ask for Common-Controls 6; None when not XML."""
    try:
        root = ET.fromstring(variant)
    except ET.ParseError:
        return None
    count = 0
    for identity in root.findall(f"{ASM}dependency/{ASM}dependentAssembly/{ASM}assemblyIdentity"):
        if (identity.get("name", "").lower() == "microsoft.windows.common-controls"
                and identity.get("version", "").startswith("6.")):
            count += 1
    return count


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
    if longer[:start] + longer[end:] != shorter:
        return None
    return start, longer[start:end]


failures = []
folder = sys.argv[1]
steps = collections.defaultdict(dict)
for name in os.listdir(folder):
    parts = name.split(".")
    steps[parts[0]][int(parts[1])] = (parts[2] if len(parts) > 3 else "", os.path.join(folder, name))
for kind, files in sorted(steps.items()):
    def fail(message):
        failures.append(f"{kind}: {message}")
    states = [resources(files[i][1]) for i in sorted(files)]
    others = [{k: v for k, v in s.items() if k[:2] != (24, 1)} for s in states]
    manifests = [{k[2]: v for k, v in s.items() if k[:2] == (24, 1)} for s in states]
    if any(o != others[0] for o in others):
        fail("a resource other than manifest 1 changed")
    for step in range(1, len(states)):
        command = files[step][0]
        before, after = manifests[step - 1], manifests[step]
        for lang, variant in after.items():
            if asks(variant) != (1 if command == "enable" else 0):
                fail(f"step {step} ({command}), language {lang}: asks {asks(variant)} times")
            if lang not in before:
                if before or lang != 0:
                    fail(f"step {step}: language {lang} added beside others")
                continue
            if (variant[:2] == b"\xff\xfe") != (before[lang][:2] == b"\xff\xfe"):
                fail(f"step {step}, language {lang}: encoding changed")
            block = one_block(text(before[lang]), text(variant))
            if block is None or not block[1]:
                fail(f"step {step}, language {lang}: not one block inserted or cut")
                continue
            if command == "enable":
                piece = block[1].strip()
                rest = text(variant)[block[0] + len(block[1]):]
                if not re.fullmatch(r"<(\w+:)?dependency>.*</(\w+:)?dependency>", piece, re.S) \
                        or not re.match(r"\s*</(\w+:)?assembly>", rest):
                    fail(f"step {step}, language {lang}: block not a dependency before the "
                         "root's end")
        for lang, variant in before.items():
            if lang not in after and asks(variant) == 0:
                fail(f"step {step}: language {lang} deleted although it did not ask")
    if files[1][0] == "enable" and len(states) > 2 and states[2] != states[0]:
        fail("Enable then Disable did not give back every byte")
for failure in failures:
    print("FAIL:", failure)
print(f"{len(steps)} kinds, {len(failures)} failed")
sys.exit(1 if failures or not steps else 0)
