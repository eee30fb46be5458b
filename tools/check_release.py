#!/usr/bin/python3
"""Checks of the release archive that `cmake --build --preset win32 --target package` makes.

Usage: check_release.py BUILD_DIR SETTINGS_DUMP DLL_SHA256

BUILD_DIR is the win32 build that holds the archive and SHA256SUMS; SETTINGS_DUMP the native
build's quib_settings_dump; DLL_SHA256 the sum of the DLL that the other checks ran on.
Prints one line per check and a closing count; exits 1 if any check fails. Checks:
  sums      SHA256SUMS names the one archive, with its right sum
  entries   exactly QUIB_Ctl-readme.txt, plugins/QUIB_Ctl.dll, plugins/QUIB_Ctl.ini, in this
            order, files only, each at the same fixed time
  dll       the DLL inside is the one the other checks ran on (same SHA-256)
  version   its version information (the check of tools/check_dll.py, on the DLL inside)
  ini       the settings file: Windows-1251, CR LF, no byte-order mark; unpacked, it reads
            through the plug-in's own settings code as every switch on and the keyword np
  readme    the readme: Windows-1251, CR LF, Russian and English, every key of the ini

Run under /usr/bin/python3, which sees Debian's python3-pefile.
"""

import hashlib
import re
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
import check_dll  # noqa: E402
import project_version  # noqa: E402

ENTRIES = ["QUIB_Ctl-readme.txt", "plugins/QUIB_Ctl.dll", "plugins/QUIB_Ctl.ini"]
SWITCHES = ["buttonSend", "buttonPrev", "buttonRew", "buttonPlay", "buttonFwd", "buttonNext",
            "buttonOpen", "buttonMute", "buttonVDn", "buttonVUp"]
KEYWORD = "np"


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def windows_text_problems(data):
    """What keeps bytes from being a Windows-1251 text with CR LF line ends, as Notepad
    writes it."""
    problems = []
    if data.startswith(b"\xef\xbb\xbf"):
        problems.append("starts with a UTF-8 byte-order mark")
    if re.search(rb"\r(?!\n)|(?<!\r)\n", data):
        problems.append("has a CR or an LF outside a CR LF pair")
    try:
        data.decode("cp1251")
    except UnicodeDecodeError as e:
        problems.append(f"is not Windows-1251 at byte {e.start}")
    return problems


def check_sums(archive):
    sums = archive.with_name("SHA256SUMS")
    if not sums.exists():
        return False, f"no {sums}"
    want = f"{sha256(archive.read_bytes())}  {archive.name}\n"
    text = sums.read_text(encoding="ascii", errors="replace")
    if text != want:
        return False, f"SHA256SUMS holds {text!r}, expected {want!r}"
    return True, want.strip()


def check_entries(infos):
    names = [i.filename for i in infos]
    if names != ENTRIES:
        return False, f"entries {names}, expected {ENTRIES}"
    times = {i.date_time for i in infos}
    if len(times) != 1:
        return False, f"entries have different times: {sorted(times)}"
    return True, f"{', '.join(names)}; all at {'-'.join(map(str, times.pop()[:3]))}"


def check_dll_sum(dll, want):
    got = sha256(dll)
    if got != want:
        return False, f"the DLL inside has SHA-256 {got}, the checked one {want or '(none)'}"
    return True, f"SHA-256 {got}, {len(dll)} bytes"


def settings_read(ini, settings_dump):
    """{field: value} as the plug-in's settings code reads the ini from plugins/ below the
    current folder."""
    with tempfile.TemporaryDirectory() as folder:
        (Path(folder) / "plugins").mkdir()
        (Path(folder) / "plugins" / "QUIB_Ctl.ini").write_bytes(ini)
        out = subprocess.run([str(settings_dump)], cwd=folder, capture_output=True, check=True)
    fields = (line.split(b" ", 1) for line in out.stdout.splitlines())
    return {name.decode(): value.decode("cp1251") for name, value in fields}


def check_ini(ini, settings_dump):
    problems = windows_text_problems(ini)
    read = settings_read(ini, settings_dump)
    off = [name for name in SWITCHES if read.get(name, "0") == "0"]
    if off:
        problems.append("switches off: " + ", ".join(off))
    if read.get("autoanswerKey") != KEYWORD:
        problems.append(f"keyword {read.get('autoanswerKey')!r}, expected {KEYWORD!r}")
    if read.get("nowplayingFormat"):
        problems.append(f"the now-playing line reshaped by {read['nowplayingFormat']!r}")
    if problems:
        return False, "; ".join(problems)
    return True, f"every switch on, keyword {KEYWORD!r}, player {read.get('customPlayer')!r}"


def check_readme(readme, ini):
    problems = windows_text_problems(readme)
    text = readme.decode("cp1251", errors="replace")
    keys = [line.split(b"=", 1)[0].decode("cp1251") for line in ini.splitlines()]
    missing = [key for key in keys if key not in text]
    if missing:
        problems.append("keys not described: " + ", ".join(missing))
    if not re.search("[а-яА-Я]", text) or not re.search("[a-zA-Z]", text):
        problems.append("not both Russian and English")
    if problems:
        return False, "; ".join(problems)
    return True, f"{len(readme)} bytes, {len(keys)} keys described, Russian and English"


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    build, settings_dump, dll_sum = Path(argv[1]), Path(argv[2]).resolve(), argv[3]
    archives = sorted(build.glob("QUIB_Ctl-*-win32.zip"))
    if len(archives) != 1:
        print(f"FAIL  {'archive':8} {len(archives)} archives QUIB_Ctl-*-win32.zip in {build}")
        print("check_release: 0 passed, 1 failed")
        return 1
    archive = archives[0]
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
        files = {i.filename: z.read(i) for i in infos}
    dll = files.get("plugins/QUIB_Ctl.dll", b"")
    ini = files.get("plugins/QUIB_Ctl.ini", b"")
    report = check_dll.Report()
    checks = [
        ("sums", lambda: check_sums(archive)),
        ("entries", lambda: check_entries(infos)),
        ("dll", lambda: check_dll_sum(dll, dll_sum)),
        ("version", lambda: check_dll.check_version(check_dll.PE(dll),
                                                    project_version.from_build(build))),
        ("ini", lambda: check_ini(ini, settings_dump)),
        ("readme", lambda: check_readme(files.get("QUIB_Ctl-readme.txt", b""), ini)),
    ]
    for name, check in checks:
        try:
            ok, text = check()
        except (check_dll.Bad, OSError, ValueError, subprocess.CalledProcessError) as e:
            ok, text = False, f"cannot check: {e}"
        report.line(ok, name, text)
    print(f"check_release: {report.passed} passed, {report.failed} failed")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
