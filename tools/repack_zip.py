#!/usr/bin/env python3
"""Re-packs a zip archive so that the same files always give the same bytes.

Usage: repack_zip.py ARCHIVE

Keeps the files and drops the folder entries (unpacking makes the folders anyway). Every
entry gets the same fixed time and the attributes of a plain Windows file, no owner and no
extra fields, in the order of the names; the data is deflated at level 9. CPack's ZIP
generator writes folder entries, the packing user's ids and the times of the staged files, in
the local time zone: none of that may reach the release.
"""

import sys
import zipfile
from pathlib import Path

FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest time a zip entry can hold
MS_DOS = 0
FILE_ATTRIBUTE_ARCHIVE = 0x20


def files_of(archive):
    """{name: bytes} of the archive's files."""
    with zipfile.ZipFile(archive) as z:
        return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}


def entry(name):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.create_system = MS_DOS
    info.external_attr = FILE_ATTRIBUTE_ARCHIVE
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def repack(archive):
    files = files_of(archive)
    fresh = archive.with_name(archive.name + ".tmp")
    with zipfile.ZipFile(fresh, "w") as z:
        for name in sorted(files):
            z.writestr(entry(name), files[name], compresslevel=9)
    fresh.replace(archive)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[2])
    repack(Path(sys.argv[1]))
