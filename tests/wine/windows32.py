"""32-bit Windows, in a prefix of its own."""

from checks import check, find, sent_lines
from launch import program_files_launch


def windows32_session(lab):
    """32-bit Windows, which some users still run: no WoW64, and Program Files has no (x86).
    The player installed there is started, and its playlist title read."""
    s, starts = program_files_launch(lab, "windows-32", "Program Files")
    load = find(s.lines, "load")
    check("32-bit Windows: the messenger loads the shipped DLL as i386, without WoW64",
          load and load[0].get("machine") == "i386" and load[0].get("wow64") == "no",
          load[0].text if load else "no load line")
    check("there play/pause starts the player at %ProgramFiles%\\Winamp\\Winamp.exe, "
          "C:\\Program Files without (x86)",
          len(starts) == 1 and starts[0].bytes("exe") == b"C:\\Program Files\\Winamp\\Winamp.exe"
          and not find(s.segment(1), "box"),
          f"{[x.text for x in starts]} {[b.text for b in find(s.segment(1), 'box')]}")
    check("and the keyword's answer carries the playlist entry's title read from the player",
          sent_lines(s.segment(2)) == [(77, b"Installed-Song|2")], str(sent_lines(s.segment(2))))
