#!/usr/bin/python3
"""Reads with pefile every damaged program that the dialog's stress test
changed (kept as NNNN-enabled.exe / NNNN-disabled.exe): each must parse
without warnings about its resources, and manifest 1 must be present after
Enable and absent after Disable.

usage: check_changed_mutants.py FOLDER
"""
import os
import sys

import pefile

folder = sys.argv[1]
names = sorted(n for n in os.listdir(folder) if n.endswith('.exe'))
failures = []
for name in names:
    try:
        pe = pefile.PE(os.path.join(folder, name))
    except pefile.PEFormatError as error:
        failures.append(f'{name}: {error}')
        continue
    manifests = []
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE') else []
    for entry in resources:
        if entry.id == 24 and hasattr(entry, 'directory'):
            manifests = [n.id for n in entry.directory.entries]
    enabled = name.endswith('-enabled.exe')
    if (1 in manifests) != enabled:
        failures.append(f'{name}: manifest ids {manifests}')
    elif enabled:
        # The written manifest reads back as the composed XML.
        entry = next(e for e in resources if e.id == 24)
        language = next(n for n in entry.directory.entries if n.id == 1).directory.entries[0]
        data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
        if not data.startswith(b'<?xml') or b'    name="mutant"\r\n' not in data:
            failures.append(f'{name}: manifest bytes {data[:40]!r}')
    resource_warnings = [w for w in pe.get_warnings() if 'resource' in w.lower()]
    if resource_warnings:
        failures.append(f'{name}: {resource_warnings[0]}')

print(f'{len(names)} changed programs read, {len(failures)} wrong')
for failure in failures[:20]:
    print('  ' + failure)
sys.exit(1 if failures or len(names) < 100 else 0)
