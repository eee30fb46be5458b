"""Starting the player: the configured program, the registered one, none at all, one that shows
no player window, and the one installed under Program Files."""

import os
import shutil

import winelab
from checks import (LAUNCH_ERROR_BOX, LAUNCH_WAIT_MS, NEXT, NOT_FOUND_BOX, OPEN, PAUSE_LOOK, PLAY,
    PREV, SEND, V_UP, check, check_box, find, observe, player_actions, press_ms, sane, sent_lines,
    settings, update_looks, winlab_player)


def launch_custom_session(lab):
    steps = [["init"], ["press", PLAY], ["press", V_UP], ["close-player"], ["fini"]]
    s = lab.session("custom-player", steps, settings(winlab_player(lab)))
    sane(s)
    starts = [line for line in s.player if line.is_("start")]
    actions = player_actions(s)
    check("play/pause starts the custom player (Z:\\ path with a space), with no arguments",
          len(starts) == 1 and starts[0].get("args") == '""', str([x.text for x in starts]))
    check("the started player receives volume 225 first, then state query and start; louder "
          "then gives 250",
          actions == ["volume 225", "start", "volume 250"], str(actions))
    ms = press_ms(s.segment(1))
    check("the launch press waits at least one lookup (750 ms) and ends with the pause look",
          ms is not None and 750 <= ms < LAUNCH_WAIT_MS + 200 + 3000
          and [x[1] for x in update_looks(s.segment(1))] == [PAUSE_LOOK], f"{ms} ms")
    observe(f"launch through custom-player took {ms} ms until the press returned")


def launch_registry_session(lab):
    command = f'"{winelab.winpath(lab.player_exe)}" "%1"'
    key = r"HKCR\Winamp.File\Shell\open\command"
    lab.reg(["add", key, "/ve", "/d", command, "/f"])
    lab.reset()
    steps = [["init"], ["press", NEXT], ["close-player"], ["fini"]]
    s = lab.session("open-command", steps, settings(r"Z:\nowhere\Winamp.exe"))
    lab.reg(["delete", r"HKCR\Winamp.File", "/f"])
    lab.reset()
    sane(s)
    starts = [line for line in s.player if line.is_("start")]
    check("next track starts the player through the registered open command "
          "(quoted path with \"%1\")", len(starts) == 1 and not find(s.segment(1), "box"),
          f"{[x.text for x in starts]} {[b.text for b in find(s.segment(1), 'box')]}")
    check("the player started that way receives volume 225, then next",
          player_actions(s) == ["volume 225", "next stopped 2"], str(player_actions(s)))


def not_found_session(lab):
    steps = [["init"], ["press", PLAY], ["press", OPEN], ["press", PREV], ["press", V_UP],
             ["press", SEND], ["message", "77", "np"], ["fini"]]
    s = lab.session("not-found", steps, settings(r"Z:\nowhere\Winamp.exe"))
    sane(s)
    for index, name in ((1, "play/pause"), (2, "open files"), (3, "previous track")):
        check_box(f"{name} without any player: the not-found box, read and closed",
                  s.segment(index), NOT_FOUND_BOX, "hand")
    check("play/pause and open files send no look change when no player could be found",
          not update_looks(s.segment(1)) and not update_looks(s.segment(2)),
          f"{update_looks(s.segment(1))} {update_looks(s.segment(2))}")
    check("louder and the send button without a player: no box, no request",
          not find(s.segment(4), "box") and not find(s.segment(5), "box")
          and not find(s.segment(4), "request") and not find(s.segment(5), "request"))
    check("the keyword without a player: answered as handled, nothing sent",
          find(s.segment(6), "result", "message-received", "answerHandled")
          and not sent_lines(s.segment(6)))


def launch_error_session(lab):
    steps = [["init"], ["press", PLAY], ["close-window", "NotThePlayer"], ["fini"]]
    s = lab.session("launch-error", steps, settings(winlab_player(lab)),
                    extra_env={"STANDIN_PLAYER_OPTIONS": "--window-class NotThePlayer"})
    sane(s)
    check_box("a started program without the player's window: the launch-error box",
              s.segment(1), LAUNCH_ERROR_BOX, "exclamation")
    boxes = find(s.segment(1), "box")
    if boxes:
        observe(f"launch-error box (MB_TOPMOST asked): topmost={boxes[0].get('topmost')} "
                f"exstyle={boxes[0].get('exstyle')} under Wine")
    ms = press_ms(s.segment(1))
    check("the launch-error box comes after the nine lookups, and no look change follows",
          ms is not None and ms >= LAUNCH_WAIT_MS and not update_looks(s.segment(1)),
          f"{ms} ms")


def program_files_session(lab):
    """The player installed where a 32-bit Winamp goes on 64-bit Windows, as the 32-bit
    messenger's process sees it under WoW64: %ProgramFiles% is C:\\Program Files (x86); the
    configured path missing and no registered player."""
    s, starts = program_files_launch(lab, "program-files", "Program Files (x86)")
    check("with the configured path missing and no registered player, play/pause starts the "
          "player at %ProgramFiles%\\Winamp\\Winamp.exe, under WoW64 in Program Files (x86)",
          len(starts) == 1
          and starts[0].bytes("exe") == b"C:\\Program Files (x86)\\Winamp\\Winamp.exe"
          and not find(s.segment(1), "box"),
          f"{[x.text for x in starts]} {[b.text for b in find(s.segment(1), 'box')]}")
    check("the player started there receives volume 225, then start, and the pause look follows",
          player_actions(s)[:2] == ["volume 225", "start"]
          and [x[1] for x in update_looks(s.segment(1))] == [PAUSE_LOOK],
          f"{player_actions(s)} {update_looks(s.segment(1))}")
    check("and the keyword's answer carries the title read from that 32-bit player's memory",
          sent_lines(s.segment(2)) == [(77, b"Installed-Song|2")], str(sent_lines(s.segment(2))))


def program_files_launch(lab, name, folder):
    """Play/pause with the player installed only at C:\\<folder>\\Winamp\\Winamp.exe, with a
    playlist, and the keyword asked for its title afterwards; gives the session and the
    player's start lines."""
    installed = lab.drive_c(folder, "Winamp", "Winamp.exe")
    os.makedirs(os.path.dirname(installed), exist_ok=True)
    shutil.copy(lab.player_exe, installed)
    try:
        steps = [["init"], ["press", PLAY], ["message", "77", "np"], ["close-player"], ["fini"]]
        s = lab.session(name, steps, settings(r"Z:\nowhere\Winamp.exe")
                        + [("nowplaying-format", "%title%|%number%")],
                        extra_env={"STANDIN_PLAYER_OPTIONS": "--number 2 --playlist "
                                   "First|Installed-Song|Last"})
    finally:
        shutil.rmtree(os.path.dirname(installed), ignore_errors=True)
    sane(s)
    return s, [line for line in s.player if line.is_("start")]
