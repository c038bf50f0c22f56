#!/usr/bin/python3
"""Checks files written by the resource writer's core (through the resedit
tool) with independent PE readers: pefile and llvm-readobj read every
resource back identical, manifest 1 appears and disappears, the overlay and
the COFF symbol table survive (nm still reads the symbols), a non-zero
checksum stays valid, and a signed file comes out well-formed and unsigned.

usage: check_rewrite.py RESEDIT FIXTURE_DIR SCRATCH_DIR
"""
import os
import random
import re
import shutil
import subprocess
import sys

import pefile

RESEDIT, FIXTURES, SCRATCH = sys.argv[1:4]
MANIFEST = b'<?xml version="1.0"?><assembly manifestVersion="1.0"/>'
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def scratch(name):
    return os.path.join(SCRATCH, name)


def resedit(source, target, *changes):
    subprocess.run([RESEDIT, source, target, *changes], check=True)


def resources(path):
    """{(type, name, lang): (bytes, codepage)} read by pefile."""
    pe = pefile.PE(path)
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    key = lambda e: str(e.name) if e.name is not None else e.id
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                s = lang.data.struct
                out[(key(t), key(n), key(lang))] = (pe.get_data(s.OffsetToData, s.Size), s.CodePage)
    pe.close()
    return out


def readobj(path):
    """[(type, name, language, size, codepage, data dump)] as llvm-readobj
    lists them, without the offsets that move."""
    text = subprocess.run(["llvm-readobj", "--coff-resources", path], check=True,
                          capture_output=True, text=True).stdout
    entries, path_parts, fields, dump = [], {}, {}, []
    for line in text.splitlines():
        line = line.strip()
        for level in ("Type", "Name", "Language"):
            if line.startswith(level + ":"):
                path_parts[level] = line
        if line.startswith(("DataSize:", "Codepage:")):
            fields[line.split(":")[0]] = line
        elif re.match(r"^[0-9A-F]{4}: ", line):
            dump.append(line)
        elif line == ")":
            entries.append((path_parts.get("Type"), path_parts.get("Name"),
                            path_parts.get("Language"), fields.get("DataSize"),
                            fields.get("Codepage"), tuple(dump)))
            dump = []
    return entries


def sections(path):
    pe = pefile.PE(path)
    out = [(s.Name, s.VirtualAddress, s.get_data()) for s in pe.sections]
    pe.close()
    return out


def symbols(path):
    nm = "x86_64-w64-mingw32-nm"
    return subprocess.run([nm, path], check=True, capture_output=True, text=True).stdout


manifest_file = scratch("manifest.xml")
os.makedirs(SCRATCH, exist_ok=True)
with open(manifest_file, "wb") as f:
    f.write(MANIFEST)

for name in ["rich_resources.exe", "rich_resources_other.exe", "no_version.exe"]:
    original = os.path.join(FIXTURES, name)
    same, added, deleted = (scratch(f"{step}_{name}") for step in ("same", "added", "deleted"))
    resedit(original, same)
    resedit(same, added, "set", "24", "1", "0", manifest_file)
    resedit(added, deleted, "delete", "24", "1", "0")
    before = resources(original)
    check(f"{name}: round trip read back by pefile", resources(same) == before)
    check(f"{name}: round trip read back by llvm-readobj", readobj(same) == readobj(original))
    expected = dict(before)
    expected[(24, 1, 0)] = (MANIFEST, 0)
    check(f"{name}: manifest 1 added, read back by pefile", resources(added) == expected)
    check(f"{name}: manifest 1 added, read back by llvm-readobj",
          len(readobj(added)) == len(readobj(original)) + 1
          and any("(ID 24)" in e[0] for e in readobj(added)))
    check(f"{name}: manifest 1 deleted, read back by pefile", resources(deleted) == before)
    check(f"{name}: manifest 1 deleted, read back by llvm-readobj",
          readobj(deleted) == readobj(original))
    # The sections other than .rsrc, by pefile.
    old = [s for s in sections(original) if not s[0].startswith(b".rsrc")]
    for path in (same, added, deleted):
        new = sections(path)
        check(f"{name}: other sections unchanged in {os.path.basename(path)}",
              all(s in new for s in old))
        check(f"{name}: symbols read by nm in {os.path.basename(path)}",
              symbols(path) == symbols(original))

# Trees that outgrow their section: a directory too large to move is
# rewritten in place with the new data in a section at the end (".resdata");
# a small one moves with the new data to a new last ".rsrc". Both readers
# read every resource back after Enable, Disable and Enable again; so does
# Wine's cmd.exe, whose tree is rewritten in place.
def readobj_set(path):
    return set(readobj(path))


large, usual = scratch("large_manifest.xml"), scratch("usual_manifest.xml")
with open(large, "wb") as f:
    f.write(random.Random(7).randbytes(2000))
with open(usual, "wb") as f:
    f.write(random.Random(8).randbytes(700))  # about the size Enable writes
big = scratch("big.bin")
with open(big, "wb") as f:
    f.write(random.Random(6).randbytes(300 * 1024))
wine_cmd = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cmd.exe"
for name, source, entry, last in [("many_resources.exe", os.path.join(FIXTURES, "many_resources.exe"),
                                   ("24", "1", "0", large), b".resdata"),
                                  ("rich_resources.exe", os.path.join(FIXTURES, "rich_resources.exe"),
                                   ("BIG", "1", "0", big), b".rsrc"),
                                  ("Wine's cmd.exe", wine_cmd, ("24", "1", "0", usual),
                                   b".resdata")]:
    enabled, disabled, again = (scratch(f"layout_{step}.exe") for step in ("1", "2", "3"))
    resedit(source, enabled, "set", *entry)
    resedit(enabled, disabled, "delete", *entry[:3])
    resedit(disabled, again, "set", *entry)
    before = resources(source)
    key = (int(entry[0]) if entry[0].isdigit() else entry[0], 1, 0)
    with open(entry[3], "rb") as f:
        expected = before | {key: (f.read(), 0)}
    check(f"{name}: tree outside its section ends in {last}",
          sections(enabled)[-1][0].rstrip(b"\0") == last)
    for path, want, count in [(enabled, expected, 1), (disabled, before, 0), (again, expected, 1)]:
        step = os.path.basename(path)
        check(f"{name}: {step} read back by pefile", resources(path) == want)
        check(f"{name}: {step} read back by llvm-readobj",
              readobj_set(path) >= readobj_set(source) and
              len(readobj(path)) == len(readobj(source)) + count)

# Overlay of 100 KB random bytes and a valid non-zero checksum.
source = os.path.join(FIXTURES, "rich_resources.exe")
overlaid, result = scratch("overlay.exe"), scratch("overlay_out.exe")
overlay = random.Random(5).randbytes(100 * 1024)
pe = pefile.PE(source)
pe.OPTIONAL_HEADER.CheckSum = 0
data = bytearray(pe.write()) + overlay
pe.close()
pe = pefile.PE(data=bytes(data))
pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
data = pe.write()
pe.close()
with open(overlaid, "wb") as f:
    f.write(data)
big = scratch("big64.bin")
with open(big, "wb") as f:
    f.write(random.Random(6).randbytes(64 * 1024))
resedit(overlaid, result, "set", "24", "1", "0", manifest_file, "set", "BIG", "1", "0", big)
pe = pefile.PE(result)
check("overlay kept byte for byte", pe.get_overlay().endswith(overlay))
check("checksum valid after the change", pe.verify_checksum() and pe.OPTIONAL_HEADER.CheckSum != 0)
pe.close()
check("symbols read by nm after the overlay moved", symbols(result) == symbols(source))

# A file signed with a throw-away certificate comes out well-formed, unsigned.
key, cert = scratch("key.pem"), scratch("cert.pem")
signed, unsigned = scratch("signed.exe"), scratch("unsigned.exe")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                "-out", cert, "-days", "2", "-subj", "/CN=Lumaform test"],
               check=True, capture_output=True)
if os.path.exists(signed):
    os.remove(signed)
subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", source, "-out", signed],
               check=True, capture_output=True)
pe = pefile.PE(signed)
check("osslsigncode signed the fixture",
      pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].Size != 0)
pe.close()
resedit(signed, unsigned, "set", "24", "1", "0", manifest_file)
pe = pefile.PE(unsigned)
security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
check("certificate table removed", security.VirtualAddress == 0 and security.Size == 0)
check("unsigned file checksum valid or zero",
      pe.OPTIONAL_HEADER.CheckSum == 0 or pe.verify_checksum())
pe.close()
expected = resources(source)
expected[(24, 1, 0)] = (MANIFEST, 0)
check("signed file's resources kept", resources(unsigned) == expected)
verify = subprocess.run(["osslsigncode", "verify", "-in", unsigned], capture_output=True, text=True)
check("osslsigncode finds no signature", verify.returncode != 0)

for f in failures:
    print("FAIL:", f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
