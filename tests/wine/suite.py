#!/usr/bin/env python3
"""The Wine suite: the shipped 32-bit plug-in in a real Win32, loaded by the 32-bit reference
messenger under WoW64 in a 64-bit prefix (and, once, on 32-bit Windows) and driven against the
32-bit stand-in player (and, once, a 64-bit one). One line per check, then "N passed, M failed"; the exit status is
nonzero when a check failed.

usage: suite.py [BUILD_DIR [PLAYER64_BUILD_DIR]]   (default build/win32 build/win64-player)"""

import os
import re
import shutil
import signal
import struct
import sys
import time

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import project_version  # noqa: E402
import winelab  # noqa: E402
from winelab import settings_text  # noqa: E402

# The plug-in's texts, Windows-1251.
HINTS = [
    b"\xce\xf2\xef\xf0\xe0\xe2\xe8\xf2\xfc \xe4\xe0\xed\xed\xfb\xe5 \xf2\xf0\xe5\xea\xe0 \xe2 "
    b"\xf7\xe0\xf2",  # send the track data to the chat
    b"\xcf\xf0\xe5\xe4\xfb\xe4\xf3\xf9\xe8\xe9 \xf2\xf0\xe5\xea",  # previous track
    b"5 \xf1\xe5\xea\xf3\xed\xe4 \xed\xe0\xe7\xe0\xe4",  # 5 seconds back
    # playback\pause
    b"\xc2\xee\xf1\xef\xf0\xee\xe8\xe7\xe2\xe5\xe4\xe5\xed\xe8\xe5\\\xcf\xe0\xf3\xe7\xe0",
    b"5 \xf1\xe5\xea\xf3\xed\xe4 \xe2\xef\xe5\xf0\xe5\xe4",  # 5 seconds forward
    b"\xd1\xeb\xe5\xe4\xf3\xfe\xf9\xe8\xe9 \xf2\xf0\xe5\xea",  # next track
    b"\xce\xf2\xea\xf0\xfb\xf2\xfc \xf4\xe0\xe9\xeb\xfb \xe2 Winamp",  # open files in Winamp
    # sound on\off
    b"\xc2\xea\xeb\xfe\xf7\xe8\xf2\xfc\\\xe2\xfb\xea\xeb\xfe\xf7\xe8\xf2\xfc \xe7\xe2\xf3\xea",
    b"\xd2\xe8\xf8\xe5",  # quieter
    b"\xc3\xf0\xee\xec\xf7\xe5",  # louder
]
LISTENING = b"\xd1\xeb\xf3\xf8\xe0\xfe: "  # listening to
PLAY_LOOK = b"\xc2\xee\xf1\xef\xf0\xee\xe8\xe7\xe2\xe5\xe4\xe5\xed\xe8\xe5"  # playback
PAUSE_LOOK = b"\xcf\xe0\xf3\xe7\xe0"  # pause
NOT_FOUND_BOX = (b"Winamp fastsearch failed!\r\n\r\n"
                 b"\xcd\xe5 \xee\xe1\xed\xe0\xf0\xf3\xe6\xe5\xed Winamp!")
LAUNCH_ERROR_BOX = (b"Winamp launch error\r\n\r\n"
                    b"\xcd\xe5 \xf3\xe4\xe0\xeb\xee\xf1\xfc \xe7\xe0\xef\xf3\xf1\xf2\xe8\xf2\xfc "
                    b"Winamp")

# Toolbar places, in registration order.
SEND, PREV, REW, PLAY, FWD, NEXT, OPEN, MUTE, V_DN, V_UP = (str(n) for n in range(1, 11))
BUTTON_KEYS = ["button-send", "button-prev", "button-rew", "button-play", "button-fwd",
               "button-next", "button-open", "button-mute", "button-v_dn", "button-v_up"]

# The player's message wait, and what a press against a hung player may take beyond it.
PLAYER_TIMEOUT_MS = 5000
HUNG_MARGIN_MS = 2500
# The launch wait: nine lookups 750 ms apart.
LAUNCH_WAIT_MS = 9 * 750

# The exit status when this machine cannot run 32-bit programs at all.
NO_32BIT_PROGRAMS = 3

results = []
observations = []


def check(label, ok, detail=""):
    results.append(bool(ok))
    line = ("PASS " if ok else "FAIL ") + label
    if detail and not ok:
        line += "  -- " + detail
    print(line, flush=True)


def observe(text):
    observations.append(text)
    print("NOTE " + text, flush=True)


def settings(player_path, keyword="np"):
    return [(k, "yes") for k in BUTTON_KEYS] + [("autoanswer-key", keyword),
                                               ("custom-player", player_path)]


def find(lines, *head):
    return [line for line in lines if line.is_(*head)]


def press_ms(segment):
    returned = find(segment, "returned")
    return returned[0].int("after") if returned else None


def update_looks(segment):
    return [(u.int("id"), u.bytes("hint"), u.get("icon-nonzero")) for u in
            find(segment, "request", "updateButton")]


def sent_lines(segment):
    return [(m.int("contact"), m.bytes("text")) for m in find(segment, "request", "sendMessage")]


def player_actions(session):
    """What the player was told to do, in order: requests and commands other than queries."""
    actions = []
    for line in session.player:
        request, command = line.get("request"), line.get("command")
        if request == "volume":
            actions.append("volume " + line.get("volume"))
        elif request in ("start", "block"):
            actions.append(request)
        elif command in ("previous", "next", "pause-resume"):
            actions.append(f"{command} {line.get('state')} {line.get('track')}")
        elif command:
            actions.append(command)
    return actions


def sane(session):
    """Checks that hold for every session: it ran to its end, without a crash, and every
    record kept to its layout."""
    problems = [line.text for line in session.lines
                if line.is_("crash") or line.is_("deadline") or "malformed=" in line.text
                or line.is_("request", "unknown")]
    finished = bool(find(session.lines, "exit"))
    check(f"{session.name}: ran to its end ({session.seconds:.1f} s), every record well-formed",
          session.exit_code == 0 and finished and not problems,
          f"exit {session.exit_code}, finished {finished}, {problems[:3]}")


def check_box(label, segment, text, icon):
    """One box with the text and icon, an empty caption and no owner, task-modal: the
    messenger's window is disabled while it is open. Wine 8 does not mark a box topmost for
    MB_TOPMOST, so that flag cannot be seen here."""
    boxes = find(segment, "box")
    ok = len(boxes) == 1
    detail = f"{len(boxes)} boxes"
    if ok:
        b = boxes[0]
        ok = (b.bytes("text") == text and b.bytes("caption") == b"" and b.get("icon") == icon
              and b.get("owner") == "none" and b.get("messenger-window") == "disabled")
        detail = b.text
    check(label, ok, detail)


def name_answer(build):
    """The initialise answer: answerData, the display name the build was made with, and the
    interface version 4, framed."""
    name = project_version.from_build(build).display_name.encode("latin-1")
    record = b"\x02" + struct.pack("<I", len(name)) + name + struct.pack("<I", 4)
    return struct.pack("<I", len(record)) + record


def buttons_session(lab):
    s = lab.session("buttons", [["init"], ["fini"]], settings(winlab_player(lab)))
    sane(s)
    result = find(s.segment(0), "result", "initialise")
    check("initialise answers the record of name and version",
          result and bytes.fromhex(result[0].get("raw")) == name_answer(lab.build),
          result[0].text if result else "no answer")
    load = find(s.lines, "load")
    check("the messenger loaded the shipped DLL: i386, in a 32-bit process under WoW64",
          load and load[0].get("machine") == "i386" and load[0].get("wow64") == "yes",
          load[0].text if load else "no load line")
    adds = find(s.segment(0), "request", "addButton")
    check("all ten buttons registered in table order with their exact hints",
          [a.bytes("hint") for a in adds] == HINTS, str([a.get("hint") for a in adds]))
    check("every button's icon handle is nonzero and the icon could be copied",
          len(adds) == 10 and all(a.get("icon-nonzero") == "yes" and a.get("icon-copy")
                                  not in (None, "failed") for a in adds),
          str([(a.get("icon"), a.get("icon-copy")) for a in adds]))
    handlers = [a.get("handler") for a in adds]
    check("every handler address lies in the plug-in, one per button",
          all(a.get("handler-in-plugin") == "yes" for a in adds) and len(set(handlers)) == 10,
          str(handlers))
    ids = [a.int("id") for a in find(s.segment(0), "answer", "addButton")]
    removes = find(s.segment(1), "request", "removeButton")
    check("finalise removes all ten buttons in reverse order",
          [r.int("id") for r in removes] == ids[::-1] and len(ids) == 10
          and all(r.get("known") == "yes" for r in removes),
          f"added {ids}, removed {[r.int('id') for r in removes]}")
    if adds:
        observe(f"icons arrive as {adds[0].get('icon-size')} images (LoadIconA gives the "
                f"system icon size); the toolbar copies them at {adds[0].get('icon-copy')}")


def winlab_player(lab):
    return winelab.winpath(lab.player_exe)


def player_session(lab):
    track = "Test Artist - Test Song"
    steps = [
        ["init"], ["wait-player", "10000"],
        ["message", "77", "np"],                        # 2: stopped
        ["press", PLAY], ["press", PLAY],              # 3 start, 4 pause
        ["message", "77", "np"],                        # 5: paused
        ["press", PLAY],                               # 6 resume
        ["message", "77", "hex:20204E502020"],          # 7: "  NP  ", playing
        ["message", "77", "hex:2068656C6C6F20746865726520"],  # 8: " hello there "
        ["press", NEXT], ["press", PREV], ["press", NEXT],    # 9-11
        ["press", FWD], ["press", REW],                 # 12-13
        ["press", V_UP], ["press", V_UP], ["press", V_UP], ["press", V_DN],  # 14-17
        ["press", SEND],                               # 18
        ["contact", "555"], ["press", SEND],           # 19-20
        ["press", OPEN],                               # 21
        ["press", MUTE], ["press", MUTE],              # 22-23
        ["close-player"], ["fini"],
    ]
    s = lab.session("player", steps, settings(winlab_player(lab)),
                    player_args=["--state", "stopped", "--number", "12", "--track", track,
                                 "--open-dialog", "1500"])
    sane(s)
    play_id = [a.int("id") for a in find(s.segment(0), "answer", "addButton")][3:4]
    play_id = play_id[0] if play_id else None
    line12 = b">Winamp: 12. Test Artist - Test Song (44KHz/128kbps/stereo)"
    line13 = b">Winamp: 13. Test Artist - Test Song (44KHz/128kbps/stereo)"

    check("keyword from a stopped player: the now-playing line to the sender, answer handled",
          sent_lines(s.segment(2)) == [(77, line12)]
          and find(s.segment(2), "result", "message-received", "answerHandled"),
          str(sent_lines(s.segment(2))))
    check("keyword from a paused player: the same line without the [Paused] suffix",
          sent_lines(s.segment(5)) == [(77, line12)], str(sent_lines(s.segment(5))))
    check("keyword with spaces and other capitals (\"  NP  \") from a playing player",
          sent_lines(s.segment(7)) == [(77, line12)]
          and find(s.segment(7), "result", "message-received", "answerHandled"),
          str(sent_lines(s.segment(7))))
    other = find(s.segment(8), "result", "message-received", "answerData")
    check("another message is answered with its text stripped of spaces at both ends",
          other and other[0].bytes("string") == b"hello there" and not sent_lines(s.segment(8)),
          other[0].text if other else "no answerData")

    looks = [update_looks(s.segment(i)) for i in (3, 4, 6)]
    check("play/pause through the states: stopped -> start and pause look, playing -> pause "
          "and play look, paused -> resume and pause look",
          looks == [[(play_id, PAUSE_LOOK, "yes")], [(play_id, PLAY_LOOK, "yes")],
                    [(play_id, PAUSE_LOOK, "yes")]], str(looks))
    actions = player_actions(s)
    expected = ["start", "pause-resume paused 12", "pause-resume playing 12", "next playing 13",
                "previous playing 12", "next playing 13", "forward5", "rewind5", "volume 25",
                "volume 50", "volume 75", "volume 50", "open-files"]
    check("the player received start, pause, resume, next, previous, next, 5 s forward, 5 s "
          "back, volumes 25 50 75 50 and open-files, in this order",
          actions == expected, str(actions))
    states = [line.int("answer") for line in s.player if line.get("request") == "state"]
    check("each play/pause press and each report asked the player's state once",
          states == [0, 0, 1, 3, 3, 1, 1, 1], str(states))
    times = [line.text for line in s.player if (line.get("request") or "").startswith("time-")]
    check("without a format the reports never ask the player for the time", not times,
          str(times))
    playlist = [line.text for line in s.player
                if (line.get("request") or "").startswith("playlist-")]
    check("nor for its playlist", not playlist, str(playlist))
    check("send button: getChatContact, then the line to the open chat's contact",
          [r.head[1] for r in find(s.segment(18), "request")] == ["getChatContact",
                                                                 "sendMessage"]
          and sent_lines(s.segment(18)) == [(321, line13)]
          and sent_lines(s.segment(20)) == [(555, line13)],
          f"{sent_lines(s.segment(18))} {sent_lines(s.segment(20))}")
    ms = press_ms(s.segment(21))
    check("open files waits for the player's file dialog (1.5 s), then the pause look",
          ms is not None and ms >= 1500 and update_looks(s.segment(21))
          == [(play_id, PAUSE_LOOK, "yes")], f"{ms} ms, {update_looks(s.segment(21))}")

    mute_looks = [update_looks(s.segment(i)) for i in (22, 23)]
    check("mute with the lab's playback device: no box, the look \"sound on\", then \"sound "
          "off\"", not lab.audio_problem and not find(s.segment(22), "box")
          and not find(s.segment(23), "box")
          and [[look[1] for look in looks] for looks in mute_looks]
          == [[SOUND_ON_LOOK], [SOUND_OFF_LOOK]], f"{lab.audio_problem or ''} {mute_looks}")


def format_session(lab):
    fmt = LISTENING + b"%track% [%pos%/%len%] %khz%KHz/%kbps%kbps/%channels% 100%% %artist% %"
    steps = [["init"], ["wait-player", "10000"],
             ["press", FWD], ["press", FWD],   # 2-3: ten seconds into the track
             ["message", "77", "np"],          # 4
             ["press", SEND],                  # 5
             ["close-player"], ["fini"]]
    s = lab.session("format", steps,
                    settings(winlab_player(lab)) + [("nowplaying-format", fmt)],
                    player_args=["--state", "playing", "--number", "3", "--track",
                                 "Test Artist - Test Song", "--rate", "48", "--bitrate", "320",
                                 "--channels", "6", "--length", "3725"])
    sane(s)
    line = LISTENING + b"3. Test Artist - Test Song [0:10/1:02:05] 48KHz/320kbps/6ch 100% %artist% %"
    check("a format with every placeholder: the keyword answer fills each in",
          sent_lines(s.segment(4)) == [(77, line)]
          and find(s.segment(4), "result", "message-received", "answerHandled"),
          str(sent_lines(s.segment(4))))
    check("and the send button sends the same line to the open chat",
          sent_lines(s.segment(5)) == [(321, line)], str(sent_lines(s.segment(5))))
    asked = [entry.get("request") for entry in s.player
             if entry.get("request") not in (None, "unknown")]
    report = ["state", "info-samplerate", "info-bitrate", "info-channels", "time-position",
              "time-length"]
    check("each report asks the player for the track data, then its position and length",
          asked == report * 2, str(asked))


def scrolling_title_session(lab):
    """A player that scrolls its caption as Winamp does in the taskbar: %track% takes whatever
    part of it stands in front, %title% reads the entry's title from the player's memory. A
    title that ends just before an unreadable page cannot be shown here: Wine 8 reads a
    PAGE_NOACCESS page of another process without complaint, where Windows fails the read; the
    unit tests show it on both builds against the simulated Win32."""
    title = b"Test Artist - Scrolling Song"
    steps = [["init"], ["wait-player", "10000"],
             ["wait", "600"], ["message", "77", "np"],     # 2-3
             ["wait", "600"], ["message", "77", "np"],     # 4-5
             ["wait", "600"], ["message", "77", "np"],     # 6-7
             ["wait", "600"], ["press", SEND],             # 8-9
             ["close-player"], ["fini"]]
    s = lab.session("scrolling-title", steps,
                    settings(winlab_player(lab)) + [("nowplaying-format",
                                                     "%track%|%title%|%number%")],
                    player_args=["--state", "playing", "--number", "2", "--scroll", "100",
                                 "--playlist", "Test Artist - First Song|" + title.decode()
                                 + "|Test Artist - Last Song"])
    sane(s)
    lines = [text for i in (3, 5, 7, 9) for _, text in sent_lines(s.segment(i))]
    parts = [line.rsplit(b"|", 2) for line in lines]
    check("a scrolling caption: %title% and %number% are whole in every answer",
          len(parts) == 4 and all(p[1:] == [title, b"2"] for p in parts), str(lines))
    tracks = [p[0] for p in parts]
    check("while %track% is garbled as it always was: another piece of the rotating caption "
          "each time", len(set(tracks)) >= 3 and tracks.count(b"2. " + title) <= 1, str(tracks))
    asked = [line for line in s.player if (line.get("request") or "").startswith("playlist-")]
    addresses = [line.int("answer") for line in asked if line.get("request") == "playlist-title"]
    check("each report asks the entry's index, then its title with that index",
          [(line.get("request"), line.int("wParam")) for line in asked]
          == [("playlist-index", 0), ("playlist-title", 1)] * 4, str([a.text for a in asked]))
    check("the title is read at the address the 32-bit player gives",
          addresses and all(0 < a <= 0xFFFFFFFF for a in addresses),
          str([hex(a) for a in addresses]))
    if tracks and addresses:
        observe(f"the scrolling caption gave %track% as {tracks}; the player's title lay at "
                f"{addresses[0]:#x}")


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


def preferences_session(lab):
    steps = [["init"], ["prefs"], ["wait-title", "Notepad", "QUIB_Ctl.ini", "20000"],
             ["close-window", "Notepad"], ["fini"]]
    written = settings(winlab_player(lab))
    s = lab.session("preferences", steps, written)
    sane(s)
    result = find(s.segment(1), "result", "preferences")
    check("preferences gives no answer", result and result[0].head[2:] == ["none"])
    found = find(s.segment(2), "window")
    title = found[0].bytes("title") if found and " found " in found[0].text else None
    check("preferences starts the text editor on the settings file",
          title is not None and b"QUIB_Ctl.ini" in title
          and found[0].bytes("content") == settings_text(written), found[0].text if found else "")


def other_bitness_title_session(lab):
    """A 64-bit player, as some players that answer Winamp's messages are: its title lies above
    4 GiB, beyond what the 32-bit plug-in's answer of SendMessageTimeoutA keeps, and at the
    address cut to 32 bits its memory holds other text. The plug-in reads no title there."""
    decoy = "Other-Memory-Of-The-Player"
    steps = [["init"], ["wait-player", "10000"], ["message", "77", "np"], ["close-player"],
             ["fini"]]
    s = lab.session("other-bitness", steps,
                    settings(winlab_player(lab)) + [("nowplaying-format", "%title%|%number%")],
                    player_bits=64,
                    player_args=["--state", "playing", "--number", "2", "--playlist",
                                 "First|Memory-Song|Last", "--decoy", decoy])
    sane(s)
    placed = [line for line in s.player if line.is_("playlist")]
    where = placed[0].get("decoy") if placed else None
    check("the 64-bit player's titles lie above 4 GiB, its other text at their cut addresses",
          placed and placed[0].int("memory") > 0xFFFFFFFF and where and where.startswith("0x"),
          placed[0].text if placed else "no playlist line")
    check("a player of another bitness: %title% is the caption's track (with its number), "
          "not what lies at the cut address", sent_lines(s.segment(2)) == [(77, b"2. Memory-Song|2")],
          str(sent_lines(s.segment(2))))


def settings_elsewhere_session(lab):
    """The messenger's current folder is not its own (a shortcut without a start folder, a file
    dialog that changed it): the settings beside the plug-in's DLL are read, the current
    folder's own plugins\\QUIB_Ctl.ini still first; preferences opens the file read."""
    elsewhere = os.path.join(lab.root, "elsewhere")
    beside = settings_text([("button-play", "yes"), ("button-mute", "yes")]) + b"; beside\r\n"
    current = settings_text([("button-send", "yes")]) + b"; current folder\r\n"
    os.makedirs(os.path.join(elsewhere, "plugins"), exist_ok=True)
    with open(os.path.join(lab.plugins_dir, "QUIB_Ctl.ini"), "wb") as f:
        f.write(beside)
    steps = [["init"], ["prefs"], ["wait-title", "Notepad", "QUIB_Ctl.ini", "20000"],
             ["close-window", "Notepad"], ["fini"]]
    try:
        alone = lab.session("settings-beside-dll", steps, cwd=elsewhere)
        with open(os.path.join(elsewhere, "plugins", "QUIB_Ctl.ini"), "wb") as f:
            f.write(current)
        both = lab.session("settings-both", steps, cwd=elsewhere)
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)
    for s, hints, text, what in ((alone, [HINTS[3], HINTS[7]], beside, "only beside the DLL"),
                                 (both, [HINTS[0]], current, "in both folders")):
        sane(s)
        adds = [a.bytes("hint") for a in find(s.segment(0), "request", "addButton")]
        check(f"run from another folder, with the settings {what}: initialise reads "
              f"{'the current folder' if s is both else 'the file beside the DLL'}",
              adds == hints, str(adds))
        opened = find(s.segment(2), "window")
        check(f"and preferences opens that same file in the text editor ({what})",
              opened and opened[0].bytes("content") == text,
              opened[0].text if opened else "no editor")


def check_keyword_answers(s, label, cases):
    """Each (segment, contact, what): the line of track 3, "Song", went to the contact, and the
    message was answered as handled."""
    line = b">Winamp: 3. Song (44KHz/128kbps/stereo)"
    for index, contact, what in cases:
        check(label.format(what), sent_lines(s.segment(index)) == [(contact, line)]
              and find(s.segment(index), "result", "message-received", "answerHandled"),
              str(sent_lines(s.segment(index))))


def cyrillic_session(lab):
    """The keyword in Russian, through the real CompareStringA of code page 1251."""
    keyword = b"\xe7\xe2\xf3\xea"  # "zvuk", sound
    steps = [["init"], ["wait-player", "10000"],
             ["message", "77", "hex:C7C2D3CA"],     # 2: the same word in capitals
             ["message", "78", "hex:20E7C2D3EA20"],  # 3: mixed case between spaces
             ["message", "79", "hex:E7E2EEED"],      # 4: "zvon", another word
             ["fini"]]
    s = lab.session("cyrillic", steps, settings(winlab_player(lab), keyword),
                    player_args=["--state", "playing", "--number", "3", "--track", "Song"])
    sane(s)
    load = find(s.lines, "load")
    check("the Wine prefix runs the messenger in code page 1251",
          load and load[0].get("acp") == "1251", load[0].text if load else "no load line")
    check_keyword_answers(s, "the Cyrillic keyword {} is answered with the now-playing line",
                          ((2, 77, "in capitals"), (3, 78, "in mixed case with spaces")))
    other = find(s.segment(4), "result", "message-received", "answerData")
    check("another Cyrillic word of the same length is not the keyword",
          other and other[0].bytes("string") == b"\xe7\xe2\xee\xed" and not sent_lines(s.segment(4)),
          other[0].text if other else "no answerData")


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


def regional_formats_session(lab):
    """The Cyrillic keyword on a system whose language for non-Unicode programs is Russian and
    whose regional formats are German. Wine takes the system locale from LC_CTYPE (here LANG,
    ru_RU) and the user locale from LC_MESSAGES (de_DE)."""
    keyword = b"\xf7\xe0\xff"  # "chaya", of tea: its capitals Ч and Я are no pairs in 1252
    steps = [["init"], ["wait-player", "10000"],
             ["message", "77", "hex:D7C0DF"],      # 2: the same word in capitals
             ["message", "78", "hex:20D7E0FF20"],  # 3: capital first, between spaces
             ["compare", "hex:F7E0FF", "hex:D7C0DF"],  # 4
             ["fini"]]
    s = lab.session("regional-formats", steps, settings(winlab_player(lab), keyword),
                    player_args=["--state", "playing", "--number", "3", "--track", "Song"],
                    extra_env={"LC_MESSAGES": "de_DE.UTF-8"})
    sane(s)
    load = find(s.lines, "load")
    check("the messenger runs with the system locale ru-RU (code page 1251) and the user locale "
          "de-DE",
          load and load[0].get("acp") == "1251" and load[0].int("system-lcid") == 0x0419
          and load[0].int("user-lcid") == 0x0407, load[0].text if load else "no load line")
    compare = find(s.segment(4), "compare")
    check("there, comparing with locale 0 finds the keyword and its capitals different, with "
          "LOCALE_SYSTEM_DEFAULT equal",
          compare and compare[0].int("locale-0") != 2 and compare[0].int("system-default") == 2,
          compare[0].text if compare else "no compare line")
    if compare:
        observe(f"system locale ru-RU, user locale de-DE: CompareStringA of the keyword and its "
                f"capitals gives {compare[0].get('locale-0')} with locale 0 and "
                f"{compare[0].get('system-default')} with LOCALE_SYSTEM_DEFAULT")
    check_keyword_answers(s, "and the Cyrillic keyword {} is answered with the now-playing line",
                          ((2, 77, "in capitals"), (3, 78, "capitalised, with spaces")))


def hung_player_session(lab):
    steps = [["init"], ["wait-player", "10000"], ["press", V_UP], ["hang-player", "30000"],
             ["wait", "300"], ["press", V_UP], ["press", PLAY], ["press", SEND], ["press", OPEN],
             ["message", "77", "np"], ["where"], ["fini"]]
    s = lab.session("hung-player", steps, settings(winlab_player(lab)),
                    player_args=["--state", "playing"])
    sane(s)
    limit = PLAYER_TIMEOUT_MS + HUNG_MARGIN_MS
    timings = {}
    for index, name in ((5, "louder"), (6, "play/pause"), (7, "send button"),
                        (8, "open files")):
        ms = press_ms(s.segment(index))
        timings[name] = ms
        check(f"{name} against a hung player returns within {limit} ms", ms is not None
              and ms <= limit, f"{ms} ms")
    check("the messenger goes on after the hung player: the keyword is answered and the "
          "script runs to finalise",
          find(s.segment(9), "result", "message-received", "answerHandled")
          and find(s.segment(10), "where") and find(s.segment(11), "result", "finalise"))
    check("the player was really blocked while the presses ran",
          "block" in player_actions(s), str(player_actions(s)))
    observe("against a hung player: " + ", ".join(f"{k} {v} ms" for k, v in timings.items()))


SOUND_ON_LOOK = b"\xc2\xea\xeb\xfe\xf7\xe8\xf2\xfc \xe7\xe2\xf3\xea"  # switch the sound on
SOUND_OFF_LOOK = b"\xc2\xfb\xea\xeb\xfe\xf7\xe8\xf2\xfc \xe7\xe2\xf3\xea"  # switch it off
# Wine's trace of IAudioEndpointVolume::SetMute: the object, the setting and the context.
SET_MUTE_TRACE = re.compile(r"trace:mmdevapi:AEV_SetMute \((\w+)\)->\((\d+),\s*(\(null\)|[^)]*)\)")
# Wine's word when CoCreateInstance finds no class for the device enumerator.
NO_ENUMERATOR = "no class object {bcde0395-e52f-467c-8e3d-c4579291692e}"


def has_audio(lab, name):
    """A session that needs the lab's sound server fails, saying so, when there is none."""
    if lab.audio_problem:
        check(f"{name}: Wine has a playback device (the lab's PulseAudio server)", False,
              lab.audio_problem)
        return False
    return True


def mixer_mute_values(session):
    return [line.get("value", "failed " + str(line.get("failed"))) for line in
            find(session.lines, "mixer-mute")]


def core_audio_session(lab):
    """Windows Vista and later: the press mutes the default playback endpoint, and the
    messenger's own session mute control, which the mixer reaches, stays as it was."""
    if not has_audio(lab, "core-audio"):
        return
    steps = [["init"], ["mixer-mute"], ["press", "1"], ["mixer-mute"], ["press", "1"],
             ["mixer-mute"], ["fini"]]
    s = lab.session("core-audio", steps, [("button-mute", "yes")], debug="trace+mmdevapi")
    sane(s)
    set_mutes = [(m.group(2), m.group(3)) for m in SET_MUTE_TRACE.finditer(s.stderr)]
    check("each press reaches the default playback endpoint: Wine traces SetMute(1), then "
          "SetMute(0), without a context", set_mutes == [("1", "(null)"), ("0", "(null)")],
          str(set_mutes))
    check("the presses show no box and change the look to \"sound on\", then \"sound off\"",
          not find(s.lines, "box") and update_looks(s.segment(2))[0][1:] == (SOUND_ON_LOOK, "yes")
          and update_looks(s.segment(4))[0][1:] == (SOUND_OFF_LOOK, "yes"),
          f"{update_looks(s.segment(2))} {update_looks(s.segment(4))}")
    values = mixer_mute_values(s)
    check("the messenger's own session mute, as the mixer shows it, stays 0 through both presses",
          values == ["0", "0", "0"], str(values))
    observe(f"Wine's trace of the presses: {set_mutes}; the mixer's mute control read {values}")


def mixer_fallback_session(lab):
    """No Core Audio (mmdevapi switched off, which takes Wine's mixer away too): the mixer's
    way, its error box, and no change of the look, as on older systems without a mixer."""
    if not has_audio(lab, "mixer-fallback"):
        return
    steps = [["init"], ["press", "1"], ["press", "1"], ["fini"]]
    s = lab.session("mixer-fallback", steps, [("button-mute", "yes")], debug="trace+mmdevapi",
                    extra_env={"WINEDLLOVERRIDES": "mscoree=d;mshtml=d;mmdevapi=d"})
    sane(s)
    # Wine's mixer looks for the enumerator too, so the presses are not alone in that word.
    check("without Core Audio no press reaches an endpoint: the device enumerator's class is "
          "not there, and nothing is traced as SetMute",
          s.stderr.count(NO_ENUMERATOR) >= 2 and not SET_MUTE_TRACE.search(s.stderr),
          f"{s.stderr.count(NO_ENUMERATOR)} times: {NO_ENUMERATOR}")
    for index, which in ((1, "first"), (2, "second")):
        boxes = find(s.segment(index), "box")
        text = boxes[0].bytes("text") if len(boxes) == 1 else b""
        m = re.fullmatch(rb"multimedia system error (\d+)", text)
        check(f"without Core Audio ({which} press): the mixer's way, one mixer error box, no "
              "change of the button's look",
              m and boxes[0].get("icon") == "hand" and boxes[0].bytes("caption") == b""
              and boxes[0].get("messenger-window") == "disabled"
              and not update_looks(s.segment(index)),
              f"{[b.text for b in boxes]} {update_looks(s.segment(index))}")
        if m and which == "first":
            observe(f"Wine without Core Audio: the box reads \"{text.decode()}\"")


def probe_session(lab):
    s = lab.session("probe", [["init"], ["press", "2"], ["click", "1"], ["fini"]],
                    plugin="probe-plugin.dll")
    reported = [line for line in s.segment(1)
                if "malformed=" in line.text or line.is_("request", "unknown")]
    check("the reference messenger reports short and unknown requests instead of reading "
          "past them", len(reported) == 4, str([r.text for r in reported]))
    check("and goes on answering well-formed requests; a click on a toolbar button calls its "
          "handler",
          find(s.segment(2), "click") and sent_lines(s.segment(2)) == [(321, b"probe line")]
          and len(find(s.segment(3), "request", "removeButton")) == 3)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/win32"
    player64 = sys.argv[2] if len(sys.argv) > 2 else "build/win64-player"
    # A stopped suite still ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    problem = winelab.why_32bit_cannot_run()
    if problem:
        # Nothing less than the shipped DLL is run here, so the suite fails rather than pass.
        print(f"NOTE 32-bit programs cannot run on this machine ({problem}): the shipped DLL "
              "was not run under Wine", flush=True)
        print("0 passed, 1 failed")
        return NO_32BIT_PROGRAMS
    lab = winelab.Lab(build, player64_dir=player64)
    missing = lab.missing()
    if missing:
        print("missing: " + ", ".join(missing), flush=True)
        print("0 passed, 1 failed")
        return 1
    try:
        boot = lab.start()
        print(f"NOTE scratch prefix booted in {boot:.1f} s", flush=True)
        for run in (buttons_session, player_session, format_session, scrolling_title_session,
                    launch_custom_session, launch_registry_session, not_found_session,
                    launch_error_session,
                    preferences_session, cyrillic_session, hung_player_session,
                    probe_session, core_audio_session, mixer_fallback_session,
                    program_files_session, regional_formats_session,
                    other_bitness_title_session, settings_elsewhere_session):
            try:
                run(lab)
            except Exception as error:  # a broken session fails, the others still run
                check(f"{run.__name__} ran", False, repr(error))
                lab.reset()
    finally:
        lab.close()
    windows32 = winelab.Lab(build, arch="win32")
    try:
        boot = windows32.start()
        print(f"NOTE 32-bit prefix booted in {boot:.1f} s", flush=True)
        windows32_session(windows32)
    except Exception as error:
        check("windows32_session ran", False, repr(error))
    finally:
        windows32.close()
    passed = sum(results)
    failed = len(results) - passed
    print(f"NOTE the suite took {time.monotonic() - started:.0f} s", flush=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
