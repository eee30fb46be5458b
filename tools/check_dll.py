#!/usr/bin/python3
"""Static checks of the product DLL, QUIB_Ctl.dll.

Usage: check_dll.py DLL [--build DIR]

DIR is the build that made the DLL (by default the DLL's folder): the name and version it was
built with come from there.

Prints one line per check and a closing count; exits 1 if any check fails, 2 if the
file cannot be examined at all. Checks:
  format    PE32 DLL for i386 (machine 0x14c, optional header magic 0x10b, DLL characteristic)
  exports   exactly one export, named pluginFun, undecorated
  imports   only KERNEL32, USER32, ADVAPI32, SHELL32, WINMM, ole32 and msvcrt
  ole32     from ole32 only functions that Windows XP's ole32.dll has too, so that the DLL
            still loads there
  kernel32  from kernel32 none of the functions that only later Windows XP updates brought
            (IsWow64Process, from SP2 on, is looked up at run time)
  size      at most 256 KiB
  icons     the twelve RT_GROUP_ICON resources 1,2,3,5,6,7,8,10,11,12,13,100 under
            language 0x0419, each one 16x16 8-bpp image with an AND mask
  version   one version resource under language 0x0419: the build's version numbers and the
            strings FileDescription, FileVersion, ProductVersion, ProductName,
            OriginalFilename and InternalName in the table of language 0x0419, code page 1251
  sha256    not a check: the SHA-256 of the file, for the checks that compare other copies

The file is read with Debian's python3-pefile (run under /usr/bin/python3, which sees it).
"""

import argparse
import hashlib
import re
import struct
import sys
from pathlib import Path

import pefile

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
import project_version  # noqa: E402

EXPORT_NAME = "pluginFun"
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "winmm.dll",
                   "msvcrt.dll", "ole32.dll"}
# COM for Core Audio; each of these is in Windows XP's ole32.dll.
OLE32_FUNCTIONS = {"CoInitializeEx", "CoUninitialize", "CoCreateInstance"}
# In kernel32.dll only from Windows XP SP2 on: a static import would keep the DLL from loading
# on earlier systems.
KERNEL32_LATER = {"IsWow64Process"}
RUNTIME_DLL = re.compile(r"^(libstdc\+\+|libgcc|libwinpthread)", re.I)
MAX_SIZE = 256 * 1024
ICON_IDS = [1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 100]
LANG_RUSSIAN = 0x0419
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
ICON_SIZE = 16
CODE_PAGE = 1251


def version_strings(version):
    """The strings the version resource must hold for the project's name and version."""
    return {
        "FileDescription": version.name,
        "FileVersion": version.text,
        "ProductVersion": version.text,
        "ProductName": version.name,
        "OriginalFilename": "QUIB_Ctl.dll",
        "InternalName": "QUIB_Ctl",
    }


class Bad(Exception):
    """The file is not something these checks can read."""


# ---------------------------------------------------------------- PE reading


class Section:
    def __init__(self, name, vsize, va, rawsize, rawptr):
        self.name, self.vsize, self.va, self.rawsize, self.rawptr = name, vsize, va, rawsize, rawptr


class PE:
    """The DLL as pefile reads it, with the few views the checks need."""

    def __init__(self, data):
        self.data = data
        try:
            self.pe = pefile.PE(data=data)
        except pefile.PEFormatError as e:
            raise Bad(e.value)
        self.machine = self.pe.FILE_HEADER.Machine
        self.characteristics = self.pe.FILE_HEADER.Characteristics
        self.magic = self.pe.OPTIONAL_HEADER.Magic
        if self.magic != 0x10B:
            raise Bad(f"optional header magic {self.magic:#x} is not PE32 (0x10b)")
        self.image_base = self.pe.OPTIONAL_HEADER.ImageBase
        self.sections = [Section(s.Name.rstrip(b"\0").decode("latin-1"), s.Misc_VirtualSize,
                                 s.VirtualAddress, s.SizeOfRawData, s.PointerToRawData)
                         for s in self.pe.sections]

    def section_of(self, rva):
        for s in self.sections:
            if s.va <= rva < s.va + max(s.vsize, s.rawsize):
                return s
        return None

    def read(self, rva, size):
        try:
            data = self.pe.get_data(rva, size)
        except pefile.PEFormatError as e:
            raise Bad(f"RVA {rva:#x}: {e.value}")
        if len(data) != size:
            raise Bad(f"RVA {rva:#x}+{size} runs past the end of the file")
        return data

    def exports(self):
        """[(name or None, ordinal, rva)]"""
        directory = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        if directory is None:
            return []
        return [(e.name.decode("latin-1") if e.name else None, e.ordinal, e.address)
                for e in directory.symbols]

    def imports(self):
        """DLL names of the import table and of the delay-load table."""
        plain = getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])
        delayed = getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
        return ([d.dll.decode("latin-1") for d in plain] +
                [d.dll.decode("latin-1") + " (delay-loaded)" for d in delayed])

    def functions_from(self, dll):
        """The names (or #ordinals) of the functions imported from one DLL."""
        names = []
        for d in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []):
            if d.dll.decode("latin-1").lower() == dll:
                names += [i.name.decode("latin-1") if i.name else f"#{i.ordinal}"
                          for i in d.imports]
        return names

    def resources(self):
        """[(type, name, lang, data rva, size)], ids as ints, names as str."""
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        if root is None:
            return []

        def key(entry):
            return str(entry.name) if entry.name is not None else entry.id

        out = []
        for rtype in root.entries:
            for rname in rtype.directory.entries:
                for lang in rname.directory.entries:
                    data = lang.data.struct
                    out.append((key(rtype), key(rname), lang.id, data.OffsetToData, data.Size))
        return out

    def version_info(self):
        """The version resource: {"file": (a, b, c, d), "product": (a, b, c, d),
        "tables": {"041904e3": {name: value}}, "translations": [(language, code page)]},
        or None when there is none."""
        if not getattr(self.pe, "VS_FIXEDFILEINFO", None):
            return None
        fixed = self.pe.VS_FIXEDFILEINFO[0]

        def numbers(ms, ls):
            return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

        info = {"file": numbers(fixed.FileVersionMS, fixed.FileVersionLS),
                "product": numbers(fixed.ProductVersionMS, fixed.ProductVersionLS),
                "tables": {}, "translations": []}
        for entry in (e for group in self.pe.FileInfo for e in group):
            for table in getattr(entry, "StringTable", []):
                info["tables"][table.LangID.decode("latin-1").lower()] = {
                    k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
            for var in getattr(entry, "Var", []):
                words = [int(w, 16) for w in var.entry.get(b"Translation", "").split()]
                info["translations"] += list(zip(words[::2], words[1::2]))
        return info


# ---------------------------------------------------------------- checks


class Report:
    def __init__(self):
        self.passed = self.failed = 0

    def line(self, ok, name, text):
        print(f"{'PASS' if ok else 'FAIL'}  {name:8} {text}")
        if ok:
            self.passed += 1
        else:
            self.failed += 1


def check_format(pe):
    problems = []
    if pe.machine != 0x14C:
        problems.append(f"machine {pe.machine:#x} is not i386 (0x14c)")
    if not pe.characteristics & 0x2000:
        problems.append("the DLL characteristic is not set")
    if problems:
        return False, "; ".join(problems)
    return True, f"PE32 DLL for i386 (characteristics {pe.characteristics:#06x})"


def check_exports(pe):
    exports = pe.exports()
    shown = ", ".join(name or f"ordinal {ordinal} (no name)" for name, ordinal, _ in exports)
    if len(exports) == 1 and exports[0][0] == EXPORT_NAME:
        return True, f"one export, {EXPORT_NAME}, at RVA {exports[0][2]:#x}"
    if not exports:
        return False, "no exports"
    hint = ""
    if any(n and EXPORT_NAME in n and n != EXPORT_NAME for n, _, _ in exports):
        hint = " (decorated name: the .def must export the plain name)"
    return False, f"expected exactly [{EXPORT_NAME}], found [{shown}]{hint}"


def check_imports(pe):
    dlls = pe.imports()
    runtime = [d for d in dlls if RUNTIME_DLL.match(d)]
    other = [d for d in dlls if d.lower() not in ALLOWED_IMPORTS and d not in runtime]
    if runtime or other:
        parts = []
        if runtime:
            parts.append("needs the compiler runtime " + ", ".join(runtime) + " (link -static)")
        if other:
            parts.append("imports from " + ", ".join(other) + " (not allowed)")
        return False, "; ".join(parts)
    return True, "imports only from " + ", ".join(dlls)


def check_ole32(pe):
    taken = sorted(pe.functions_from("ole32.dll"))
    other = [f for f in taken if f not in OLE32_FUNCTIONS]
    if other:
        return False, "takes " + ", ".join(other) + " from ole32.dll (not known on Windows XP)"
    return True, "takes " + (", ".join(taken) or "nothing") + " from ole32.dll"


def check_kernel32(pe):
    later = sorted(set(pe.functions_from("kernel32.dll")) & KERNEL32_LATER)
    if later:
        return False, "takes " + ", ".join(later) + " from kernel32.dll (not known before XP SP2)"
    return True, "takes no function from kernel32.dll that Windows XP before SP2 lacks"


def check_size(dll):
    size = dll.stat().st_size
    return size <= MAX_SIZE, f"{size} bytes ({size / 1024:.1f} KiB; limit {MAX_SIZE // 1024} KiB)"


def check_icon_image(pe, rva, size):
    """Problems of one RT_ICON image that should be a 16x16 8-bpp DIB with AND mask."""
    if size < 40:
        return [f"image of {size} bytes is too small for a BITMAPINFOHEADER"]
    (bisize, width, height, planes, bpp, compression, _, _, _, clrused,
     _) = struct.unpack("<IiiHHIIiiII", pe.read(rva, 40))
    problems = []
    if bisize != 40:
        problems.append(f"header size {bisize} (PNG or unknown header?)")
    if (width, height) != (ICON_SIZE, 2 * ICON_SIZE):
        problems.append(f"DIB {width}x{height}, expected {ICON_SIZE}x{2 * ICON_SIZE} (XOR + AND)")
    if planes != 1 or bpp != 8:
        problems.append(f"{planes} planes of {bpp} bpp, expected 1 plane of 8 bpp")
    if compression != 0:
        problems.append(f"compression {compression}, expected BI_RGB")
    if problems:
        return problems
    colours = clrused or 256
    if colours > 256:
        return [f"{colours} palette colours"]
    xor_size = ICON_SIZE * ICON_SIZE
    and_stride = ((ICON_SIZE + 31) // 32) * 4
    expected = 40 + 4 * colours + xor_size + and_stride * ICON_SIZE
    if size != expected:
        return [f"image is {size} bytes, expected {expected}"]
    data = pe.read(rva, size)
    pal = data[40:40 + 4 * colours]
    xor = data[40 + 4 * colours:40 + 4 * colours + xor_size]
    mask = data[40 + 4 * colours + xor_size:]
    for y in range(ICON_SIZE):
        bits = int.from_bytes(mask[y * and_stride:y * and_stride + 2], "big")
        for x in range(ICON_SIZE):
            if bits & (0x8000 >> x):
                idx = xor[y * ICON_SIZE + x]
                if idx >= colours or pal[4 * idx:4 * idx + 3] != b"\0\0\0":
                    return [f"transparent pixel ({x},{15 - y}) is not black in the XOR image"]
    return []


def check_icons(pe):
    res = pe.resources()
    groups = [r for r in res if r[0] == RT_GROUP_ICON]
    icons = {(r[1], r[2]): r for r in res if r[0] == RT_ICON}
    problems = []
    ids = sorted((g[1] for g in groups), key=lambda n: (isinstance(n, str), str(n).zfill(8)))
    if sorted(g[1] for g in groups if isinstance(g[1], int)) != ICON_IDS or len(groups) != 12:
        problems.append(f"RT_GROUP_ICON ids {ids}, expected {ICON_IDS} once each")
    wrong_lang = [f"{g[1]} ({g[2]:#06x})" for g in groups if g[2] != LANG_RUSSIAN]
    if wrong_lang:
        problems.append(f"groups not in language {LANG_RUSSIAN:#06x}: " + ", ".join(wrong_lang))
    used = set()
    for _, gid, lang, rva, size in groups:
        where = f"group {gid}"
        if size < 6:
            problems.append(f"{where}: {size} bytes is too short")
            continue
        reserved, kind, count = struct.unpack("<HHH", pe.read(rva, 6))
        if reserved != 0 or kind != 1:
            problems.append(f"{where}: not an icon directory (type {kind})")
            continue
        if count != 1 or size != 6 + 14 * count:
            problems.append(f"{where}: {count} images, expected 1")
            continue
        w, h, ncol, _, planes, bpp, nbytes, iid = struct.unpack("<BBBBHHIH", pe.read(rva + 6, 14))
        used.add((iid, lang))
        if (w, h) != (ICON_SIZE, ICON_SIZE) or bpp != 8 or ncol != 0:
            problems.append(f"{where}: entry {w or 256}x{h or 256}, {bpp} bpp, colour count "
                            f"{ncol}; expected 16x16, 8 bpp, colour count 0")
            continue
        icon = icons.get((iid, lang))
        if icon is None:
            problems.append(f"{where}: its RT_ICON {iid} (language {lang:#06x}) is missing")
            continue
        if icon[4] != nbytes:
            problems.append(f"{where}: RT_ICON {iid} is {icon[4]} bytes, the group says {nbytes}")
        for p in check_icon_image(pe, icon[3], icon[4]):
            problems.append(f"{where}, RT_ICON {iid}: {p}")
    stray = sorted(str(k[0]) for k in icons if k not in used)
    if stray:
        problems.append("RT_ICON images that no group uses: " + ", ".join(stray))
    if problems:
        return False, "; ".join(problems)
    return True, (f"{len(groups)} icon groups {ICON_IDS} in language {LANG_RUSSIAN:#06x}, "
                  "each one 16x16 8-bpp image with AND mask")


def check_version(pe, version):
    info = pe.version_info()
    if info is None:
        return False, "no version resource"
    problems = []
    langs = [r[2] for r in pe.resources() if r[0] == RT_VERSION]
    if langs != [LANG_RUSSIAN]:
        shown = ", ".join(f"{lang:#06x}" for lang in langs)
        problems.append(f"version resources in languages [{shown}], expected one in "
                        f"{LANG_RUSSIAN:#06x}")
    shown_numbers = ".".join(map(str, version.numbers))
    for kind in ("file", "product"):
        if info[kind] != version.numbers:
            problems.append(f"{kind} version {'.'.join(map(str, info[kind]))}, "
                            f"expected {shown_numbers}")
    if (LANG_RUSSIAN, CODE_PAGE) not in info["translations"]:
        problems.append(f"translations {info['translations']} lack ({LANG_RUSSIAN:#06x}, "
                        f"{CODE_PAGE})")
    table_name = f"{LANG_RUSSIAN:04x}{CODE_PAGE:04x}"
    table = info["tables"].get(table_name)
    if table is None:
        problems.append(f"no string table {table_name}, found {sorted(info['tables'])}")
    else:
        for name, want in version_strings(version).items():
            if table.get(name) != want:
                problems.append(f"{name} is {table.get(name)!r}, expected {want!r}")
    if problems:
        return False, "; ".join(problems)
    return True, (f"version {shown_numbers}, strings of table {table_name}: " +
                  ", ".join(f"{k} {v!r}" for k, v in version_strings(version).items()))


def main(argv=None):
    ap = argparse.ArgumentParser(description="Static checks of QUIB_Ctl.dll.")
    ap.add_argument("dll", type=Path)
    ap.add_argument("--build", type=Path, help="the build that made the DLL")
    args = ap.parse_args(argv)

    try:
        pe = PE(args.dll.read_bytes())
        version = project_version.from_build(args.build or args.dll.parent)
    except (OSError, Bad, struct.error, ValueError) as e:
        print(f"FAIL  {'read':8} {args.dll}: {e}")
        print("check_dll: 0 passed, 1 failed")
        return 2

    report = Report()
    checks = [
        ("format", lambda: check_format(pe)),
        ("exports", lambda: check_exports(pe)),
        ("imports", lambda: check_imports(pe)),
        ("ole32", lambda: check_ole32(pe)),
        ("kernel32", lambda: check_kernel32(pe)),
        ("size", lambda: check_size(args.dll)),
        ("icons", lambda: check_icons(pe)),
        ("version", lambda: check_version(pe, version)),
    ]
    for name, check in checks:
        try:
            ok, text = check()
        except (Bad, struct.error, ValueError, IndexError) as e:
            ok, text = False, f"cannot check: {e}"
        report.line(ok, name, text)
    print(f"{'':6}{'sha256':8} {hashlib.sha256(pe.data).hexdigest()}")
    print(f"check_dll: {report.passed} passed, {report.failed} failed")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
