#!/usr/bin/env python3
"""Builds the button icons from their text pixel maps.

The icons are kept as reviewable text in resources/icons/: palette.txt gives one
character per colour, and each NN-name.txt is a 16 by 16 map of those characters.
This tool turns them into .ico files (one 16x16 image, 8 bits per pixel, 256-colour
palette, XOR image plus AND transparency mask) and into a contact-sheet PNG.

Usage:
  mkicons.py [--icons DIR] check          validate the palette and the maps
  mkicons.py [--icons DIR] ico OUTDIR     write OUTDIR/NN-name.ico for every map
  mkicons.py [--icons DIR] sheet OUT.png  write a contact sheet of all icons

Standard library only.
"""

import argparse
import re
import struct
import sys
import zlib
from pathlib import Path

SIZE = 16
DEFAULT_ICONS = Path(__file__).resolve().parent.parent / "resources" / "icons"
MAP_NAME = re.compile(r"^(\d+)-([a-z0-9][a-z0-9-]*)\.txt$")


class IconError(Exception):
    pass


# ---------------------------------------------------------------- sources


class Palette:
    """Characters to colours. Colour None is transparent.

    Palette index 0 of every icon is black and is what transparent pixels hold in the
    XOR image (with their AND bit set, the screen shows through unchanged); the
    colours of palette.txt follow from index 1 in file order.
    """

    def __init__(self, entries):
        self.entries = entries  # list of (char, (r, g, b) or None, comment)
        self.index = {}
        self.colour = {}
        n = 1
        for ch, rgb, _ in entries:
            self.colour[ch] = rgb
            if rgb is None:
                self.index[ch] = 0
            else:
                self.index[ch] = n
                n += 1

    def rgbquads(self):
        quads = [(0, 0, 0)]
        quads += [rgb for _, rgb, _ in self.entries if rgb is not None]
        quads += [(0, 0, 0)] * (256 - len(quads))
        return b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in quads)


def read_palette(path):
    errors = []
    entries = []
    seen = {}
    try:
        text = path.read_text(encoding="ascii")
    except (OSError, UnicodeDecodeError) as e:
        raise IconError(f"{path}: cannot read palette: {e}")
    for lineno, line in enumerate(text.splitlines(), 1):
        line = line.rstrip("\r")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.split(None, 2)
        where = f"{path}:{lineno}"
        if len(parts) < 2 or len(parts[0]) != 1:
            errors.append(f"{where}: expected 'CHAR RRGGBB|transparent [comment]', got {line!r}")
            continue
        ch, value = parts[0], parts[1]
        comment = parts[2] if len(parts) > 2 else ""
        if ch == "#":
            errors.append(f"{where}: '#' starts a comment and cannot name a colour")
            continue
        if ch in seen:
            errors.append(f"{where}: character {ch!r} already defined on line {seen[ch]}")
            continue
        if value.lower() == "transparent":
            rgb = None
            if any(c is None for _, c, _ in entries):
                errors.append(f"{where}: only one transparent character is allowed")
                continue
        elif re.fullmatch(r"[0-9A-Fa-f]{6}", value):
            rgb = tuple(int(value[i:i + 2], 16) for i in (0, 2, 4))
        else:
            errors.append(f"{where}: colour {value!r} is neither RRGGBB nor 'transparent'")
            continue
        seen[ch] = lineno
        entries.append((ch, rgb, comment))
    if not entries and not errors:
        errors.append(f"{path}: palette is empty")
    if sum(1 for _, c, _ in entries if c is not None) > 255:
        errors.append(f"{path}: more than 255 colours")
    if errors:
        raise IconError("\n".join(errors))
    return Palette(entries)


class IconMap:
    def __init__(self, path, icon_id, name, rows):
        self.path = path
        self.id = icon_id
        self.name = name
        self.rows = rows  # SIZE strings of SIZE palette characters, top row first

    @property
    def stem(self):
        return self.path.stem


def read_map(path, palette):
    m = MAP_NAME.match(path.name)
    if not m:
        raise IconError(f"{path}: name must look like NN-name.txt (e.g. 02-play.txt)")
    errors = []
    try:
        text = path.read_text(encoding="ascii")
    except (OSError, UnicodeDecodeError) as e:
        raise IconError(f"{path}: cannot read map: {e}")
    lines = [line.rstrip("\r") for line in text.split("\n")]
    if lines and lines[-1] == "":
        lines.pop()  # the final newline
    if len(lines) != SIZE:
        errors.append(f"{path}: has {len(lines)} lines, expected {SIZE}")
    for lineno, line in enumerate(lines, 1):
        if len(line) != SIZE:
            errors.append(f"{path}:{lineno}: has {len(line)} characters, expected {SIZE}")
        for col, ch in enumerate(line, 1):
            if ch not in palette.colour:
                errors.append(f"{path}:{lineno}:{col}: unknown palette character {ch!r}")
    if errors:
        raise IconError("\n".join(errors))
    return IconMap(path, int(m.group(1)), m.group(2), lines)


def read_icons(icons_dir):
    icons_dir = Path(icons_dir)
    palette = read_palette(icons_dir / "palette.txt")
    paths = sorted(p for p in icons_dir.glob("*.txt") if p.name != "palette.txt")
    errors = []
    maps = []
    for p in paths:
        try:
            maps.append(read_map(p, palette))
        except IconError as e:
            errors.append(str(e))
    ids = {}
    for m in maps:
        if m.id in ids:
            errors.append(f"{m.path}: icon id {m.id} already used by {ids[m.id].path.name}")
        ids[m.id] = m
    if not paths:
        errors.append(f"{icons_dir}: no icon maps (NN-name.txt) found")
    if errors:
        raise IconError("\n".join(errors))
    maps.sort(key=lambda m: m.id)
    return palette, maps


# ---------------------------------------------------------------- .ico


def ico_image(icon, palette):
    """The DIB of one icon image: header, 256 colours, XOR pixels, AND mask."""
    xor = bytearray()
    mask = bytearray()
    for row in reversed(icon.rows):  # DIBs are stored bottom-up
        xor += bytes(palette.index[ch] for ch in row)
        bits = 0
        for ch in row:
            bits = (bits << 1) | (palette.colour[ch] is None)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        SIZE,  # biWidth
        2 * SIZE,  # biHeight: XOR image and AND mask
        1,  # biPlanes
        8,  # biBitCount
        0,  # biCompression = BI_RGB
        len(xor) + len(mask),  # biSizeImage
        0,
        0,
        0,  # biClrUsed: 0 = all 256
        0,
    )
    return header + palette.rgbquads() + bytes(xor) + bytes(mask)


def ico_file(icon, palette):
    image = ico_image(icon, palette)
    icondir = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    # width, height, colour count (0: 256 or more), reserved, planes, bits, size, offset
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return icondir + entry + image


def write_if_changed(path, data):
    path = Path(path)
    if path.exists() and path.read_bytes() == data:
        path.touch()  # keep build tools' timestamps honest
        return
    path.write_bytes(data)


# ---------------------------------------------------------------- contact sheet

# 5x7 font for the captions; each glyph is 7 rows of 5 bits.
FONT = {
    " ": "00000 00000 00000 00000 00000 00000 00000",
    "-": "00000 00000 00000 11111 00000 00000 00000",
    "0": "01110 10001 10011 10101 11001 10001 01110",
    "1": "00100 01100 00100 00100 00100 00100 01110",
    "2": "01110 10001 00001 00010 00100 01000 11111",
    "3": "11111 00010 00100 00010 00001 10001 01110",
    "4": "00010 00110 01010 10010 11111 00010 00010",
    "5": "11111 10000 11110 00001 00001 10001 01110",
    "6": "00110 01000 10000 11110 10001 10001 01110",
    "7": "11111 00001 00010 00100 01000 01000 01000",
    "8": "01110 10001 10001 01110 10001 10001 01110",
    "9": "01110 10001 10001 01111 00001 00010 01100",
    "A": "01110 10001 10001 11111 10001 10001 10001",
    "B": "11110 10001 10001 11110 10001 10001 11110",
    "C": "01110 10001 10000 10000 10000 10001 01110",
    "D": "11100 10010 10001 10001 10001 10010 11100",
    "E": "11111 10000 10000 11110 10000 10000 11111",
    "F": "11111 10000 10000 11110 10000 10000 10000",
    "G": "01110 10001 10000 10111 10001 10001 01111",
    "H": "10001 10001 10001 11111 10001 10001 10001",
    "I": "01110 00100 00100 00100 00100 00100 01110",
    "J": "00111 00010 00010 00010 00010 10010 01100",
    "K": "10001 10010 10100 11000 10100 10010 10001",
    "L": "10000 10000 10000 10000 10000 10000 11111",
    "M": "10001 11011 10101 10101 10001 10001 10001",
    "N": "10001 10001 11001 10101 10011 10001 10001",
    "O": "01110 10001 10001 10001 10001 10001 01110",
    "P": "11110 10001 10001 11110 10000 10000 10000",
    "Q": "01110 10001 10001 10001 10101 10010 01101",
    "R": "11110 10001 10001 11110 10100 10010 10001",
    "S": "01111 10000 10000 01110 00001 00001 11110",
    "T": "11111 00100 00100 00100 00100 00100 00100",
    "U": "10001 10001 10001 10001 10001 10001 01110",
    "V": "10001 10001 10001 10001 10001 01010 00100",
    "W": "10001 10001 10001 10101 10101 10101 01010",
    "X": "10001 10001 01010 00100 01010 10001 10001",
    "Y": "10001 10001 10001 01010 00100 00100 00100",
    "Z": "11111 00001 00010 00100 01000 10000 11111",
}


class Canvas:
    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.px = [bytearray(bytes(rgb) * width) for _ in range(height)]

    def fill(self, x, y, w, h, rgb):
        for yy in range(max(y, 0), min(y + h, self.height)):
            row = self.px[yy]
            for xx in range(max(x, 0), min(x + w, self.width)):
                row[3 * xx:3 * xx + 3] = bytes(rgb)

    def text(self, x, y, s, rgb, scale=1):
        for ch in s.upper():
            glyph = FONT.get(ch, FONT[" "]).split()
            for gy, bits in enumerate(glyph):
                for gx, bit in enumerate(bits):
                    if bit == "1":
                        self.fill(x + gx * scale, y + gy * scale, scale, scale, rgb)
            x += 6 * scale

    def icon(self, x, y, icon, palette, scale, background=None):
        """Draws an icon; transparent pixels show background, or a checkerboard."""
        for iy, row in enumerate(icon.rows):
            for ix, ch in enumerate(row):
                rgb = palette.colour[ch]
                px, py = x + ix * scale, y + iy * scale
                if rgb is not None:
                    self.fill(px, py, scale, scale, rgb)
                elif background is not None:
                    self.fill(px, py, scale, scale, background)
                else:  # checkerboard in 4x4 screen-pixel squares
                    for sy in range(0, scale, 4):
                        for sx in range(0, scale, 4):
                            dark = ((px + sx) // 4 + (py + sy) // 4) % 2
                            self.fill(px + sx, py + sy, min(4, scale - sx), min(4, scale - sy),
                                      (0xDC, 0xDC, 0xDC) if dark else (0xF4, 0xF4, 0xF4))

    def png(self):
        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        raw = b"".join(b"\0" + bytes(row) for row in self.px)  # filter type 0 per row
        ihdr = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)  # 8-bit RGB
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def contact_sheet(maps, palette, scale=8, columns=6):
    big = SIZE * scale
    pad = 16
    cell_w = big + pad
    cell_h = big + 10 + SIZE + 8 + 16 + pad
    rows = (len(maps) + columns - 1) // columns
    page = (0xFA, 0xFA, 0xF6)
    c = Canvas(pad + columns * cell_w, pad + rows * cell_h, page)
    # real-size backgrounds: the page, a classic button face, a dark theme
    backgrounds = [page, (0xD4, 0xD0, 0xC8), (0x30, 0x30, 0x38)]
    for n, icon in enumerate(maps):
        x = pad + (n % columns) * cell_w
        y = pad + (n // columns) * cell_h
        c.fill(x - 1, y - 1, big + 2, big + 2, (0x90, 0x90, 0x90))  # frame
        c.icon(x, y, icon, palette, scale)
        sx = x
        for bg in backgrounds:
            c.fill(sx, y + big + 10, SIZE + 8, SIZE + 8, bg)
            c.icon(sx + 4, y + big + 14, icon, palette, 1, bg)
            sx += SIZE + 8 + 6
        c.text(sx + 2, y + big + 18, str(icon.id), (0, 0, 0), 2)
        c.text(x, y + big + 10 + SIZE + 8 + 6, icon.name, (0x30, 0x30, 0x30), 1)
    return c.png()


# ---------------------------------------------------------------- main


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--icons", type=Path, default=DEFAULT_ICONS,
                    help="folder with palette.txt and the NN-name.txt maps")
    sub = ap.add_subparsers(dest="cmd", required=True)
    sub.add_parser("check", help="validate the palette and the maps")
    p = sub.add_parser("ico", help="write one .ico per map")
    p.add_argument("outdir", type=Path)
    p = sub.add_parser("sheet", help="write a contact-sheet PNG")
    p.add_argument("out", type=Path)
    p.add_argument("--scale", type=int, default=8)
    args = ap.parse_args(argv)

    try:
        palette, maps = read_icons(args.icons)
    except IconError as e:
        print(f"mkicons: error:\n{e}", file=sys.stderr)
        return 1

    if args.cmd == "check":
        print(f"mkicons: {len(maps)} icons OK: " + ", ".join(m.stem for m in maps))
    elif args.cmd == "ico":
        args.outdir.mkdir(parents=True, exist_ok=True)
        for m in maps:
            write_if_changed(args.outdir / f"{m.stem}.ico", ico_file(m, palette))
    elif args.cmd == "sheet":
        args.out.parent.mkdir(parents=True, exist_ok=True)
        write_if_changed(args.out, contact_sheet(maps, palette, args.scale))
    return 0


if __name__ == "__main__":
    sys.exit(main())
