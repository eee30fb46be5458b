#!/usr/bin/env python3
"""The README's version texts against the project's version (CMakeLists.txt, its one record):
the display name "<name>, v<version>" and the archive's name "QUIB_Ctl-<version>-win32.zip"
wherever they stand, each at least once.

usage: check_version.py [README]   (default: the README.md beside tools/)"""

import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
import project_version  # noqa: E402


def problems(readme, version):
    found = []
    forms = {
        "display name": re.compile(re.escape(version.name) + r", v(\S+?)[\"»)]"),
        "archive name": re.compile(r"QUIB_Ctl-(\S+?)-win32\.zip"),
    }
    for what, form in forms.items():
        seen = form.findall(readme)
        if not seen:
            found.append(f"no {what} with a version")
        found += [f"{what} with version {v}" for v in sorted(set(seen)) if v != version.text]
    return found


def main(argv):
    path = Path(argv[1]) if len(argv) > 1 else project_version.ROOT / "README.md"
    version = project_version.from_cmake()
    wrong = problems(path.read_text(encoding="utf-8"), version)
    for w in wrong:
        print(f"{path}: {w}, but the project's version is {version.text}")
    if not wrong:
        print(f"{path}: every version text reads {version.text}")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
