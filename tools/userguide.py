#!/usr/bin/env python3
"""Makes the release's texts for the user out of the documents, so that they are kept only once.

Usage: userguide.py README_TXT INI MARKDOWN...

README_TXT gets the parts of the Markdown files, in the order given, between the lines
`<!-- readme.txt -->` and `<!-- /readme.txt -->`, as plain text: headings underlined,
paragraphs and list items wrapped at 76 columns, backquotes dropped (a `quoted text` is never
broken across lines), a table as one entry per row, its first cell with the other cells
indented beneath, and indented blocks as they are. Pictures and other comment lines are left
out. INI gets the indented block that follows the line `<!-- QUIB_Ctl.ini -->`, which one of
the files holds.

Both are written in Windows-1251 with CR LF line ends, as Notepad writes them. A character
that Windows-1251 lacks, or Markdown that has no plain form here (a link, a picture), stops
the build with a message.
"""

import re
import sys
import textwrap
from pathlib import Path

WIDTH = 76
BEGIN, END, INI_MARK = "<!-- readme.txt -->", "<!-- /readme.txt -->", "<!-- QUIB_Ctl.ini -->"
ITEM = re.compile(r"^( *)(\d+\.|-) (.*)$")
CODE = re.compile(r"`([^`]*)`")
LINK = re.compile(r"!?\[[^\]]*\]\(")
PICTURE = re.compile(r"^!\[[^\]]*\]\([^)]*\)$")
NBSP = "\u00a0"


class Unfit(Exception):
    """A document holds something the plain text cannot show."""


def marked_lines(lines):
    """The lines of the marked parts, with a blank line after each part."""
    out, inside = [], False
    for number, line in enumerate(lines, 1):
        if line in (BEGIN, END):
            if inside == (line == BEGIN):
                raise Unfit(f"line {number}: {line} does not pair with the mark before it")
            inside = line == BEGIN
            out.append("")
        elif inside:
            out.append(line)
    if inside:
        raise Unfit(f"{BEGIN} is not closed")
    return out


def blocks(lines):
    """Runs of lines between blank lines, comments and pictures left out."""
    block = []
    for line in lines + [""]:
        if line.startswith("<!--") or PICTURE.match(line):
            continue
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []


def wrap(text, indent="", hanging=""):
    """Wrapped lines of a Markdown text; spaces inside backquotes do not break."""
    if LINK.search(text):
        raise Unfit(f"a link or picture has no plain form: {text}")
    text = CODE.sub(lambda m: m.group(1).replace(" ", NBSP), text)
    lines = textwrap.wrap(text, WIDTH, initial_indent=indent, subsequent_indent=hanging or indent,
                          break_long_words=False, break_on_hyphens=False)
    return [line.replace(NBSP, " ") for line in lines]


def heading(line):
    level = len(line) - len(line.lstrip("#"))
    title = wrap(line[level:].strip())
    # An underline belongs to one line: a longer heading would lose its end.
    if len(title) > 1:
        raise Unfit(f"a heading longer than {WIDTH} columns: {line}")
    return [title[0], ("=" if level == 1 else "-") * len(title[0])]


def list_items(block):
    items = []
    for line in block:
        m = ITEM.match(line)
        if m:
            items.append([len(m.group(1)), m.group(2), m.group(3)])
        else:
            items[-1][2] += " " + line.strip()
    out = []
    for indent, marker, text in items:
        first = " " * indent + marker + " "
        out += wrap(text, first, " " * len(first))
    return out


def table(block):
    """Each row below the header: its first cell, then the others indented beneath it."""
    out = []
    for row in block[2:]:
        cells = [cell.strip() for cell in row.strip().strip("|").split("|")]
        out += ([""] if out else []) + wrap(cells[0])
        for cell in cells[1:]:
            out += wrap(cell, "    ")
    return out


def render(block):
    if block[0].startswith("#"):
        if len(block) > 1:
            raise Unfit(f"a heading needs a blank line after it: {block[0]}")
        return heading(block[0])
    if block[0].startswith("|"):
        return table(block)
    if all(line.startswith("    ") for line in block):
        return block
    if ITEM.match(block[0]):
        return list_items(block)
    return wrap(" ".join(line.strip() for line in block))


def readme_text(documents):
    """The marked parts of the documents, one after the other, as one plain text."""
    lines = []
    for name, text in documents.items():
        try:
            lines += marked_lines(text.splitlines())
        except Unfit as e:
            raise Unfit(f"{name}: {e}") from None
    rendered = ["\n".join(render(b)) for b in blocks(lines)]
    return "\n\n".join(rendered) + "\n"


def ini_text(documents):
    holders = [text.splitlines() for text in documents.values() if INI_MARK in text.splitlines()]
    if len(holders) != 1:
        raise Unfit(f"{len(holders)} of the documents hold the line {INI_MARK}, not one")
    lines = holders[0]
    rest = lines[lines.index(INI_MARK) + 1:]
    while rest and not rest[0].strip():
        rest.pop(0)
    ini = []
    for line in rest:
        if not line.startswith("    "):
            break
        ini.append(line[4:])
    if not ini:
        raise Unfit(f"no indented block after {INI_MARK}")
    return "\n".join(ini) + "\n"


def windows_text(text):
    try:
        return text.replace("\n", "\r\n").encode("cp1251")
    except UnicodeEncodeError as e:
        raise Unfit(f"{text[e.start:e.end]!r} is not in Windows-1251: "
                    f"...{text[max(0, e.start - 30):e.end + 30]}...")


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    documents = {name: Path(name).read_text(encoding="utf-8") for name in argv[3:]}
    try:
        Path(argv[1]).write_bytes(windows_text(readme_text(documents)))
        Path(argv[2]).write_bytes(windows_text(ini_text(documents)))
    except Unfit as e:
        print(f"userguide.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
