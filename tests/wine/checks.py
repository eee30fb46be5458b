"""What every room of the Wine suite shares: the plug-in's texts, the toolbar's places, the
check and note lines, and readings of a session's transcript and of the player's log."""

import winelab

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
SOUND_ON_LOOK = b"\xc2\xea\xeb\xfe\xf7\xe8\xf2\xfc \xe7\xe2\xf3\xea"  # switch the sound on
SOUND_OFF_LOOK = b"\xc2\xfb\xea\xeb\xfe\xf7\xe8\xf2\xfc \xe7\xe2\xf3\xea"  # switch it off
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


def winlab_player(lab):
    return winelab.winpath(lab.player_exe)


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


def check_keyword_answers(s, label, cases):
    """Each (segment, contact, what): the line of track 3, "Song", went to the contact, and the
    message was answered as handled."""
    line = b">Winamp: 3. Song (44KHz/128kbps/stereo)"
    for index, contact, what in cases:
        check(label.format(what), sent_lines(s.segment(index)) == [(contact, line)]
              and find(s.segment(index), "result", "message-received", "answerHandled"),
              str(sent_lines(s.segment(index))))
