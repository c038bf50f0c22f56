#!/usr/bin/python3
"""Reads the program's resources back from the built Lumaform.exe with pefile
and checks them against their definition: both dialogs in both languages
(header, font, caption, every control's id, class atom, style, extended style,
rectangle and text), the strings, the program's manifest (with its
execution level and the Windows versions it supports), the version block and the icon images.

usage: check_resources.py Lumaform.exe
"""
import hashlib
import struct
import sys

import pefile

FR, EN = 0x000C, 0x0409
failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: {actual!r}, expected {expected!r}")


def resources(pe):
    """{(type, name, lang): bytes}"""
    out = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                s = lang.data.struct
                out[(rtype.id, name.id, lang.id)] = pe.get_data(s.OffsetToData, s.Size)
    return out


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self):
        self.pos += -self.pos % 4

    def sz_or_ord(self):
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0xFFFF:
            self.pos += 4
            return struct.unpack_from("<H", self.data, self.pos - 2)[0]
        end = self.pos
        while struct.unpack_from("<H", self.data, end)[0] != 0:
            end += 2
        text = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return text


def parse_dialog(data):
    r = Reader(data)
    extended = r.take("HH") == (1, 0xFFFF)
    r.pos = 0
    d = {"extended": extended}
    if extended:
        r.take("HH")
        d["help"], d["exstyle"], d["style"], count = r.take("IIIH")
    else:
        d["style"], d["exstyle"], count = r.take("IIH")
    d["rect"] = r.take("hhhh")
    d["menu"], d["class"], d["caption"] = r.sz_or_ord(), r.sz_or_ord(), r.sz_or_ord()
    if extended:
        d["font"] = (r.take("H"), r.take("H"), r.take("B"), r.take("B"), r.sz_or_ord())
    else:
        d["font"] = (r.take("H"), r.sz_or_ord())
    d["controls"] = []
    for _ in range(count):
        r.align()
        if extended:
            help_id, exstyle, style = r.take("III")
            rect = r.take("hhhh")
            cid = r.take("i")
        else:
            style, exstyle = r.take("II")
            rect = r.take("hhhh")
            cid = r.take("h")
            help_id = 0
        cls, text = r.sz_or_ord(), r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        d["controls"].append((cid, cls, style, exstyle, rect, text, help_id))
    return d


MAIN_CONTROLS = [  # id, class, style, exstyle, rect fr, rect en, text fr, text en
    (-1, 0x82, 0x50020000, 0, (7, 7, 70, 8), (7, 7, 68, 8), "A&pplication à modifier:", "&Application to modify:"),
    (1000, 0x81, 0x50810080, 0x10, (7, 18, 240, 12), (7, 18, 240, 12), "", ""),
    (1001, 0x80, 0x50010000, 0, (247, 18, 13, 12), (247, 18, 13, 12), "...", "..."),
    (1004, 0x80, 0x50010003, 0, (7, 41, 167, 10), (7, 41, 199, 10),
     "&Sauvegarder une copie du fichier (recommandé)", "&Save a copy of the file before modification (recommended)"),
    (1005, 0x80, 0x50010000, 0, (7, 62, 60, 14), (7, 62, 60, 14), "&Activer style XP", "&Enable XP style"),
    (1006, 0x80, 0x50010000, 0, (71, 62, 70, 14), (71, 62, 60, 14), "&Désactiver style XP", "&Disable XP style"),
    (1008, 0x80, 0x50010000, 0, (145, 62, 50, 14), (135, 62, 50, 14), "&Lancer", "&Start"),
    (1003, 0x80, 0x50010000, 0, (205, 62, 55, 14), (210, 62, 50, 14), "A &propos de...", "&About..."),
]

STRINGS = {
    EN: ["Executable files (*.exe)|*.exe||", "Unexpected error: %s",
         "XP style sucessfully enabled%s.\n\nWould you like to start the application now?",
         "XP style sucessfully disabled%s.\n\nWould you like to start the application now?",
         " and a file copy was saved as '%s'",
         "There is not enough memory to complete this operation.",
         "The program could not be put back under its own name. It was kept as '%s'.",
         "'%s' is read-only, and Lumaform does not change read-only files. Clear the Read-only "
         "attribute in the file's properties, then try again.",
         "The resources of '%s' cannot grow: the program's file leaves them no room. The program "
         "was not changed.",
         "Windows would refuse to start '%s' with the changed manifest. The program was not changed.",
         "The manifest of '%s' is in a form Lumaform does not change, and Windows accepts it as it "
         "is. The program was not changed.",
         "The manifest of '%s' is in a form Lumaform does not change, and Windows cannot be "
         "asked here whether it accepts it. The program was not changed."],
    FR: ["Fichiers exécutables (*.exe)|*.exe||", "Erreur inattendue : %s",
         "Style XP activés avec succès%s.\n\nVoulez-vous lancer l'application maintenant ?",
         "Style XP désactivés avec succès%s.\n\nVoulez-vous lancer l'application maintenant ?",
         " et une copie du fichier a été sauvegardé sous '%s'",
         "La mémoire est insuffisante pour terminer cette opération.",
         "Le programme n'a pas pu reprendre son nom. Il a été conservé sous '%s'.",
         "'%s' est en lecture seule, et Lumaform ne modifie pas les fichiers en lecture seule. "
         "Décochez l'attribut Lecture seule dans les propriétés du fichier, puis réessayez.",
         "Les ressources de '%s' ne peuvent pas grandir : le fichier du programme ne leur laisse "
         "pas de place. Le programme n'a pas été modifié.",
         "Windows refuserait de démarrer '%s' avec le manifeste modifié. Le programme n'a pas été "
         "modifié.",
         "Le manifeste de '%s' est sous une forme que Lumaform ne modifie pas, et Windows "
         "l'accepte tel quel. Le programme n'a pas été modifié.",
         "Le manifeste de '%s' est sous une forme que Lumaform ne modifie pas, et Windows ne "
         "peut pas être consulté ici pour savoir s'il l'accepte. Le programme n'a pas été "
         "modifié."],
}


def check_dialogs(res):
    for lang in (FR, EN):
        tag = "fr" if lang == FR else "en"
        d = parse_dialog(res[(5, 102, lang)])
        check(f"main {tag} header", (d["extended"], d["help"], d["style"], d["exstyle"], d["rect"]),
              (True, 0, 0x90C800C0, 0x00040000, (0, 0, 267, 83)))
        check(f"main {tag} menu/class", (d["menu"], d["class"]), ("", ""))
        check(f"main {tag} font", d["font"], (8, 0, 0, 1, "MS Sans Serif"))
        check(f"main {tag} caption", d["caption"], "Lumaform - Orvanel Software ")
        expected = [(c[0], c[1], c[2], c[3], c[4] if lang == FR else c[5], c[6] if lang == FR else c[7], 0)
                    for c in MAIN_CONTROLS]
        for got, want in zip(d["controls"], expected):
            check(f"main {tag} control {want[0]}", got, want)
        check(f"main {tag} control count", len(d["controls"]), len(expected))

        a = parse_dialog(res[(5, 131, lang)])
        check(f"about {tag} header", (a["extended"], a["style"], a["exstyle"], a["rect"], a["font"]),
              (False, 0x80C800C0, 0, (0, 0, 235, 57), (8, "MS Sans Serif")))
        check(f"about {tag} caption", a["caption"], "A propos de Lumaform" if lang == FR else "About Lumaform")
        ids = [(c[0], c[1], c[2], c[3], c[4]) for c in a["controls"]]
        check(f"about {tag} controls", ids, [
            (1, 0x80, 0x50010001, 0, (178, 36, 50, 14)),
            (-1, 0x82, 0x50000003, 0, (7, 11, 20, 20)),
            (1009, 0x82, 0x50020000, 0, (42, 11, 121, 8)),
            (-1, 0x82, 0x50020000, 0, (42, 24, 112, 8)),
            (1010, 0x82, 0x50030100, 0, (42, 37, 87, 8))])
        texts = [c[5] for c in a["controls"]]
        check(f"about {tag} texts", texts[:3], ["OK", 128, "Lumaform - v%d.%d.%d (Build %d)"])


def check_strings(res):
    for lang, expected in STRINGS.items():
        block = res[(6, 1, lang)]
        texts, pos = [], 0
        for _ in range(16):
            n = struct.unpack_from("<H", block, pos)[0]
            texts.append(block[pos + 2:pos + 2 + 2 * n].decode("utf-16-le"))
            pos += 2 + 2 * n
        last = 1 + len(expected)
        check(f"strings {lang:#06x}", texts[1:last], expected)
        check(f"strings {lang:#06x} others empty", [t for t in texts[:1] + texts[last:] if t], [])


# The program runs with the rights of whoever starts it, and says so: without
# the declaration Windows takes the 32-bit program for a legacy one and
# redirects its writes under Program Files to the user's VirtualStore.
TRUST_INFO = ('<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"> \r\n'
              '    <security> \r\n'
              '        <requestedPrivileges> \r\n'
              '            <requestedExecutionLevel level="asInvoker" uiAccess="false"/> \r\n'
              '        </requestedPrivileges> \r\n'
              '    </security> \r\n'
              '</trustInfo> \r\n')
# The Windows versions it was written for, Vista to 10 and 11 (XP ignores the
# section): without it Windows 8.1 and later report version 6.2 to the
# program and keep older behaviours for it.
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0",  # Vista
                "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  # 7
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  # 8
                "1f676c76-80e1-4239-95bb-83d0f6d0da78",  # 8.1
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]  # 10 and 11
COMPATIBILITY = ('<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"> \r\n'
                 '    <application> \r\n'
                 + "".join(f'        <!-- Windows {name} --> \r\n'
                           f'        <supportedOS Id="{{{guid}}}"/> \r\n'
                           for name, guid in zip(["Vista", "7", "8", "8.1", "10 and 11"],
                                                 SUPPORTED_OS))
                 + '    </application> \r\n'
                 '</compatibility> \r\n')


def check_manifest_and_version(res, pe):
    manifest = res[(24, 1, 0)]
    check("manifest size", len(manifest), 1542)
    check("manifest lines", manifest.count(b"\r\n"), 43)
    text = manifest.decode()
    for piece in ['version="1.0.0.1" \r\n    processorArchitecture="X86"', 'name="Manifest"',
                  'name="Microsoft.Windows.Common-Controls"', 'publicKeyToken="6595b64144ccf1df"',
                  '</dependency> \r\n' + TRUST_INFO + COMPATIBILITY + '</assembly>\r\n']:
        if piece not in text:
            failures.append(f"manifest lacks {piece!r}")
    # Everything else is, byte for byte, the manifest the program had before
    # the two declarations (663 bytes, 22 lines, this SHA-256).
    rest = text.replace(TRUST_INFO, "", 1).replace(COMPATIBILITY, "", 1).encode()
    check("manifest without trustInfo and compatibility: size, lines, SHA-256",
          (len(rest), rest.count(b"\r\n"), hashlib.sha256(rest).hexdigest()),
          (663, 22, "fd01b3733a1570b3e6bd2ac77180185cfdb9ec7e59a0a4c11f1de559f386037c"))
    check("resource languages", sorted(k for k in res if k[0] in (3, 14, 16, 24)),
          [(3, 1, 0), (3, 2, 0), (14, 128, 0), (16, 1, EN), (24, 1, 0), (24, 130, 0)])

    fixed = pe.VS_FIXEDFILEINFO[0]
    check("file version", (fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0x00010006))
    check("product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0x00010004))
    check("flags", (fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType, fixed.FileSubtype),
          (0x3F, 0, 4, 1, 0))
    tables = [st for fi in pe.FileInfo[0] if fi.Key == b"StringFileInfo" for st in fi.StringTable]
    check("string tables", [t.LangID for t in tables], [b"040904b0"])
    check("string values", [(k.decode(), v.decode()) for k, v in tables[0].entries.items()], [
        ("Comments", ""), ("CompanyName", "Orvanel Software"), ("FileDescription", "Lumaform"),
        ("FileVersion", "1.0.1 (Build 0006)"), ("InternalName", "Lumaform"),
        ("LegalCopyright", "© 2026 Orvanel Software"), ("LegalTrademarks", ""),
        ("OriginalFilename", "Lumaform.exe"), ("PrivateBuild", ""), ("ProductName", "Lumaform"),
        ("ProductVersion", "1.0.1 (Build 0004)"), ("SpecialBuild", "")])
    var = [v for fi in pe.FileInfo[0] if fi.Key == b"VarFileInfo" for v in fi.Var]
    check("translation", [v.entry for v in var], [{b"Translation": "0x0409 0x04b0"}])


def check_icons(res):
    group = res[(14, 128, 0)]
    count = struct.unpack_from("<H", group, 4)[0]
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    check("icon entries", [(e[0], e[1], e[5]) for e in entries], [(32, 32, 8), (16, 16, 8)])
    for e in entries:
        image = res[(3, e[7], 0)]
        header = struct.unpack_from("<IiiHHI", image, 0)
        check(f"icon {e[7]} header", header, (40, e[0], 2 * e[0], 1, 8, 0))


def main():
    pe = pefile.PE(sys.argv[1])
    res = resources(pe)
    check_dialogs(res)
    check_strings(res)
    check_manifest_and_version(res, pe)
    check_icons(res)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
