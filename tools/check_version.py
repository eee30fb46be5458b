#!/usr/bin/env python3
"""The documents' version texts against the project's version (CMakeLists.txt, its one record):
the display name "<name>, v<version>" and the archive's name "QUIB_Ctl-<version>-win32.zip"
wherever they stand, each at least once among the documents.

usage: check_version.py [DOCUMENT...]   (default: README.md and docs/*.md beside tools/)"""

import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
import project_version  # noqa: E402


def problems(documents, version):
    found = []
    forms = {
        "display name": re.compile(re.escape(version.name) + r", v(\S+?)[\"»)]"),
        "archive name": re.compile(r"QUIB_Ctl-(\S+?)-win32\.zip"),
    }
    for what, form in forms.items():
        seen = {path: form.findall(text) for path, text in documents.items()}
        if not any(seen.values()):
            found.append(f"{', '.join(map(str, documents))}: no {what} with a version")
        found += [f"{path}: {what} with version {v}" for path, versions in seen.items()
                  for v in sorted(set(versions)) if v != version.text]
    return found


def main(argv):
    root = project_version.ROOT
    paths = [Path(a) for a in argv[1:]] or [root / "README.md", *sorted(root.glob("docs/*.md"))]
    documents = {path: path.read_text(encoding="utf-8") for path in paths}
    names = ", ".join(str(path) for path in paths)
    version = project_version.from_cmake()
    wrong = problems(documents, version)
    for w in wrong:
        print(f"{w}, but the project's version is {version.text}")
    if not wrong:
        print(f"{names}: every version text reads {version.text}")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
