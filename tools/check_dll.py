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

The file is read with Debian's python3-pefile (run under /usr/bin/python3, which sees it), in
dll_pe.py beside this file; the checks of the icons and the version are in dll_resources.py.
"""

import argparse
import hashlib
import re
import struct
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
import project_version  # noqa: E402
from dll_pe import PE, Bad  # noqa: E402
from dll_resources import check_icons, check_version  # noqa: E402

EXPORT_NAME = "pluginFun"
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "winmm.dll",
                   "msvcrt.dll", "ole32.dll"}
# COM for Core Audio and the media sessions, and its allocator for the texts the shell hands
# out; each of these is in Windows XP's ole32.dll.
OLE32_FUNCTIONS = {"CoInitializeEx", "CoUninitialize", "CoCreateInstance", "CoTaskMemFree"}
# In kernel32.dll only from Windows XP SP2 on: a static import would keep the DLL from loading
# on earlier systems.
KERNEL32_LATER = {"IsWow64Process"}
RUNTIME_DLL = re.compile(r"^(libstdc\+\+|libgcc|libwinpthread)", re.I)
MAX_SIZE = 256 * 1024


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
