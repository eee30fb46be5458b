"""The checks of the product DLL's resources: its icons and its version information."""

import struct

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
