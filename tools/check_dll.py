#!/usr/bin/env python3
"""Static checks of the product DLL, QUIB_Ctl.dll.

Usage: check_dll.py [--objdump PATH] DLL

Prints one line per check and a closing count; exits 1 if any check fails, 2 if the
file cannot be examined at all. Checks:
  format    PE32 DLL for i386 (objdump: "file format pei-i386"; DLL characteristic)
  exports   exactly one export, named pluginFun, undecorated
  imports   only KERNEL32, USER32, ADVAPI32, SHELL32, WINMM and msvcrt
  size      at most 256 KiB
  icons     the twelve RT_GROUP_ICON resources 1,2,3,5,6,7,8,10,11,12,13,100 under
            language 0x0419, each one 16x16 8-bpp image with an AND mask

Python standard library plus the mingw objdump (default i686-w64-mingw32-objdump, or
$OBJDUMP).
"""

import argparse
import os
import re
import struct
import subprocess
import sys
from pathlib import Path

EXPORT_NAME = "pluginFun"
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "winmm.dll",
                   "msvcrt.dll"}
RUNTIME_DLL = re.compile(r"^(libstdc\+\+|libgcc|libwinpthread)", re.I)
MAX_SIZE = 256 * 1024
ICON_IDS = [1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 100]
LANG_RUSSIAN = 0x0419
RT_ICON, RT_GROUP_ICON = 3, 14
ICON_SIZE = 16


class Bad(Exception):
    """The file is not something these checks can read."""


# ---------------------------------------------------------------- PE reading


class Section:
    def __init__(self, name, vsize, va, rawsize, rawptr):
        self.name, self.vsize, self.va, self.rawsize, self.rawptr = name, vsize, va, rawsize, rawptr


class PE:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise Bad("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise Bad("no PE signature")
        (self.machine, nsect, _, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic != 0x10B:
            raise Bad(f"optional header magic {self.magic:#x} is not PE32 (0x10b)")
        self.image_base = struct.unpack_from("<I", data, opt + 28)[0]
        ndirs = struct.unpack_from("<I", data, opt + 92)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        sh = opt + opt_size
        for i in range(nsect):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sh + 40 * i)
            self.sections.append(Section(name.rstrip(b"\0").decode("latin-1"), vsize, va,
                                         rawsize, rawptr))

    def dir(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def section_of(self, rva):
        for s in self.sections:
            if s.va <= rva < s.va + max(s.vsize, s.rawsize):
                return s
        return None

    def read(self, rva, size):
        s = self.section_of(rva)
        if s is None:
            raise Bad(f"RVA {rva:#x} lies in no section")
        off = rva - s.va
        if off + size > s.rawsize:
            raise Bad(f"RVA {rva:#x}+{size} runs past the data of section {s.name}")
        return self.data[s.rawptr + off:s.rawptr + off + size]

    def u16(self, rva):
        return struct.unpack("<H", self.read(rva, 2))[0]

    def u32(self, rva):
        return struct.unpack("<I", self.read(rva, 4))[0]

    def cstr(self, rva, limit=512):
        s = self.section_of(rva)
        if s is None:
            raise Bad(f"string RVA {rva:#x} lies in no section")
        start = s.rawptr + rva - s.va
        end = self.data.find(b"\0", start, start + limit)
        if end < 0:
            raise Bad(f"unterminated string at RVA {rva:#x}")
        return self.data[start:end].decode("latin-1")

    def exports(self):
        """[(name or None, ordinal, rva)]"""
        rva, size = self.dir(0)
        if not rva:
            return []
        (_, _, _, _, _, base, nfuncs, nnames, funcs, names,
         ords) = struct.unpack("<IIHHIIIIIII", self.read(rva, 40))
        named = {}
        for i in range(nnames):
            named[self.u16(ords + 2 * i)] = self.cstr(self.u32(names + 4 * i))
        out = []
        for i in range(nfuncs):
            f = self.u32(funcs + 4 * i)
            if f or i in named:
                out.append((named.get(i), base + i, f))
        return out

    def imports(self):
        """DLL names of the import table and of the delay-load table."""
        dlls = []
        rva, _ = self.dir(1)
        while rva:
            desc = struct.unpack("<IIIII", self.read(rva, 20))
            if not any(desc):
                break
            dlls.append(self.cstr(desc[3]))
            rva += 20
        rva, _ = self.dir(13)
        while rva:
            desc = struct.unpack("<8I", self.read(rva, 32))
            if not any(desc):
                break
            dlls.append(self.cstr(desc[1]) + " (delay-loaded)")
            rva += 32
        return dlls

    def resources(self):
        """[(type, name, lang, data rva, size)], ids as ints, names as str."""
        root, _ = self.dir(2)
        if not root:
            return []
        out = []

        def entries(off):
            _, _, _, _, nnamed, nids = struct.unpack("<IIHHHH", self.read(root + off, 16))
            for i in range(nnamed + nids):
                name, target = struct.unpack("<II", self.read(root + off + 16 + 8 * i, 8))
                if name & 0x80000000:
                    so = root + (name & 0x7FFFFFFF)
                    n = self.u16(so)
                    key = self.read(so + 2, 2 * n).decode("utf-16-le")
                else:
                    key = name & 0xFFFF
                yield key, bool(target & 0x80000000), target & 0x7FFFFFFF

        for rtype, sub, toff in entries(0):
            if not sub:
                raise Bad("resource type entry is not a directory")
            for rname, sub2, noff in entries(toff):
                if not sub2:
                    raise Bad("resource name entry is not a directory")
                for lang, sub3, loff in entries(noff):
                    if sub3:
                        raise Bad("resource language entry is a directory")
                    drva, dsize, _, _ = struct.unpack("<IIII", self.read(root + loff, 16))
                    out.append((rtype, rname, lang, drva, dsize))
        return out


# ---------------------------------------------------------------- objdump


def objdump(tool, *args):
    try:
        r = subprocess.run([tool, *args], capture_output=True, text=True, errors="replace")
    except FileNotFoundError:
        raise Bad(f"{tool} not found (install binutils-mingw-w64-i686 or pass --objdump)")
    if r.returncode != 0:
        raise Bad(f"{tool} {' '.join(args)} failed: {r.stderr.strip()}")
    return r.stdout


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


def check_format(dll, pe, tool):
    dump = objdump(tool, "-p", str(dll))
    fmt = re.search(r"file format (\S+)", dump)
    fmt = fmt.group(1) if fmt else "?"
    chars = re.search(r"^Characteristics 0x[0-9a-f]+\n((?:\t.*\n)*)", dump, re.M)
    objdump_dll = bool(chars and re.search(r"^\tDLL$", chars.group(1), re.M))
    problems = []
    if fmt != "pei-i386":
        problems.append(f"objdump says file format {fmt}, not pei-i386")
    if pe.machine != 0x14C:
        problems.append(f"machine {pe.machine:#x} is not i386 (0x14c)")
    if not (pe.characteristics & 0x2000) or not objdump_dll:
        problems.append("the DLL characteristic is not set")
    if problems:
        return False, "; ".join(problems)
    return True, f"PE32 DLL for i386 (file format {fmt}, characteristics {pe.characteristics:#06x})"


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


def main(argv=None):
    ap = argparse.ArgumentParser(description="Static checks of QUIB_Ctl.dll.")
    ap.add_argument("dll", type=Path)
    ap.add_argument("--objdump", default=os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump"))
    args = ap.parse_args(argv)

    try:
        pe = PE(args.dll.read_bytes())
    except (OSError, Bad, struct.error) as e:
        print(f"FAIL  {'read':8} {args.dll}: {e}")
        print("check_dll: 0 passed, 1 failed")
        return 2

    report = Report()
    checks = [
        ("format", lambda: check_format(args.dll, pe, args.objdump)),
        ("exports", lambda: check_exports(pe)),
        ("imports", lambda: check_imports(pe)),
        ("size", lambda: check_size(args.dll)),
        ("icons", lambda: check_icons(pe)),
    ]
    for name, check in checks:
        try:
            ok, text = check()
        except (Bad, struct.error, ValueError, IndexError) as e:
            ok, text = False, f"cannot check: {e}"
        report.line(ok, name, text)
    print(f"check_dll: {report.passed} passed, {report.failed} failed")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
