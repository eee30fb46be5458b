"""Any player through Windows' media sessions: the stand-in session manager (a 32-bit DLL,
registered in the prefix) reached through Wine's real combase, HSTRINGs and apartments, its one
session backed by the stand-in player, whose window is then of another class than Winamp's: so
neither Winamp's window nor AIMP's is found, and the plug-in goes to the session."""

from checks import (FWD, HUNG_MARGIN_MS, NEXT, OPEN, PAUSE_LOOK, PLAY, PLAY_LOOK,
                    PLAYER_TIMEOUT_MS, PREV, REW, SEND, V_DN, V_UP, check, find, press_ms, sane,
                    sent_lines, settings, update_looks, winlab_player)

SESSION_CLASS = "QUIB Stand-in Session"
# «Исполнитель - Песня» in Windows-1251: the session's artist and title.
CYRILLIC_TRACK = (b"\xc8\xf1\xef\xee\xeb\xed\xe8\xf2\xe5\xeb\xfc - "
                  b"\xcf\xe5\xf1\xed\xff")
# The program's name from the session's app id, the stand-in player's file.
SESSION_LINE = b">standin-player: " + CYRILLIC_TRACK
SESSION_PLAYER = ["--window-class", SESSION_CLASS, "--state", "playing",
                  "--track-hex", CYRILLIC_TRACK.hex()]


def commands(session):
    """The commands the stand-in player took, in order, and whether it was asked to start."""
    return [line.get("command") or line.get("request") for line in session.player
            if line.get("command") or line.get("request") in ("start", "volume")]


def session_buttons_session(lab):
    lab.register_session_manager()
    steps = [["init"], ["wait-window", SESSION_CLASS, "10000"],
             ["message", "77", "np"],                      # 2
             ["press", PLAY], ["press", PLAY],             # 3 pause, 4 play
             ["press", NEXT], ["press", PREV],             # 5-6
             ["press", FWD], ["press", REW],               # 7-8
             ["press", V_UP], ["press", V_DN],             # 9-10
             ["press", OPEN], ["press", SEND],             # 11-12
             ["fini"], ["unload"]]
    s = lab.session("sessions", steps, settings(winlab_player(lab)),
                    player_args=SESSION_PLAYER)
    lab.register_session_manager(False)
    sane(s)
    check("media session: the keyword gets > + the program + : + Artist - Title, in code page "
          "1251", sent_lines(s.segment(2)) == [(77, SESSION_LINE)]
          and find(s.segment(2), "result", "message-received", "answerHandled"),
          str(sent_lines(s.segment(2))))
    check("media session: the send button sends the same line to the open chat",
          sent_lines(s.segment(12)) == [(321, SESSION_LINE)], str(sent_lines(s.segment(12))))
    play_id = [a.int("id") for a in find(s.segment(0), "answer", "addButton")][3:4]
    looks = [update_looks(s.segment(i)) for i in (3, 4)]
    check("media session: play/pause toggles it, and the look follows its status after the "
          "press", play_id and looks == [[(play_id[0], PLAY_LOOK, "yes")],
                                         [(play_id[0], PAUSE_LOOK, "yes")]], str(looks))
    taken = commands(s)
    check("media session: play/pause, next, previous and the skips reached the stand-in's "
          "session; the volume went to the device, open files to nothing",
          taken == ["pause-resume", "pause-resume", "next", "previous", "forward5", "rewind5"],
          str(taken))
    check("media session: no box, and finalise and unload are clean",
          not find(s.lines, "box") and find(s.segment(13), "result", "finalise")
          and find(s.segment(14), "unload"), str([line.text for line in s.lines][-4:]))


def session_never_ends_session(lab):
    """Operations that never complete: the press gives up within the bound, the next one at
    once while the worker still waits, and finalise stops the worker in flight."""
    lab.register_session_manager()
    steps = [["init"], ["wait-window", SESSION_CLASS, "10000"],
             ["press", NEXT], ["press", PLAY],             # 2-3
             ["fini"], ["unload"]]
    s = lab.session("sessions-never", steps, settings(winlab_player(lab)),
                    player_args=SESSION_PLAYER, extra_env={"STANDIN_SESSIONS": "never"})
    lab.register_session_manager(False)
    sane(s)
    limit = PLAYER_TIMEOUT_MS + HUNG_MARGIN_MS
    first, second = press_ms(s.segment(2)), press_ms(s.segment(3))
    check(f"an operation that never completes: the press returns within {limit} ms",
          first is not None and first <= limit, f"{first} ms")
    check("while the worker still waits, the next press gives up at once",
          second is not None and second < PLAYER_TIMEOUT_MS, f"{second} ms")
    check("finalise with the operation in flight, then unload: no crash",
          find(s.segment(4), "result", "finalise") and find(s.segment(5), "unload"),
          str([line.text for line in s.lines][-4:]))
    check("and the player was told nothing, nor started", commands(s) == [], str(commands(s)))


def no_session_manager_session(lab):
    """The prefix without the stand-in: everything as before, the configured player started by
    next and its line answered."""
    lab.register_session_manager(False)
    steps = [["init"], ["press", NEXT], ["wait-player", "10000"],
             ["message", "77", "np"], ["fini"]]
    s = lab.session("sessions-absent", steps, settings(winlab_player(lab)))
    sane(s)
    starts = [line for line in s.player if line.is_("start")]
    check("without a session manager next starts the configured player, as before",
          len(starts) == 1 and "next" in commands(s), str(commands(s)))
    lines = sent_lines(s.segment(3))
    check("and the keyword gets Winamp's line", len(lines) == 1
          and lines[0][1].startswith(b">Winamp: "), str(lines))


def timeline_sessions(lab):
    """A position stamped a minute ago (the player at 1:23) by a program known by a hash, then a
    press that blocks 15 s; a paused current session no player backs, then the player's."""
    lab.register_session_manager()
    steps = [["init"], ["wait-window", SESSION_CLASS, "10000"], ["message", "77", "np"],  # 2
             ["press", FWD], ["press", PLAY], ["press", REW],  # 3-5: to 1:28, paused, to 1:23
             ["message", "77", "np"], ["press", SEND], ["press", FWD], ["press", PREV],  # 6-9
             ["fini"], ["unload"], ["wait-gone", "QUIB_Ctl.dll", "30000"]]  # 10-12
    s = lab.session("sessions-stale", steps, settings(winlab_player(lab))
                    + [("nowplaying-format", ">%player%: %pos%")], player_args=SESSION_PLAYER
                    + ["--position", "83"], extra_env={"STANDIN_SESSIONS": "stale hash block"})
    sane(s)
    lines = [sent_lines(s.segment(i)) for i in (2, 6, 7)]
    asked = [line.int("wParam") // 1000 for line in s.player if line.get("lParam") == "106"]
    check("1:23 stamped 60 s ago, playing: the keyword shows 2:23, 5 s forward asks for 2:28; "
          "paused, the skips ask for 1:23 and 1:28; a hash is not shown as the program",
          lines[0] == [(77, b">Player: 2:23")] and asked == [148, 83, 88], f"{lines} {asked}")
    check("a paused session alone: the keyword gets no line but is answered as handled; the send "
          "button still sends it", lines[1:] == [[], [(321, b">Player: 1:23")]]
          and find(s.segment(6), "result", "message-received", "answerHandled"), str(lines))
    spans = [seg[-1].ms - seg[0].ms for seg in s.segments[9:11] if seg]  # the press, finalise
    gone = find(s.segment(12), "gone")
    check("a press that blocks 15 s: it and finalise return within 6 s; the unloaded library "
          "stays until the call returns, then goes within 20 s", len(spans) == 2
          and max(spans) <= 6000 and gone and gone[0].get("first-poll") == "loaded"
          and gone[0].int("after") <= 20000, str(s.segments[9:]))
    s = lab.session("sessions-second", steps[:3] + [["press", NEXT]], settings(winlab_player(lab)),
                    player_args=SESSION_PLAYER, extra_env={"STANDIN_SESSIONS": "second packaged"})
    lab.register_session_manager(False)
    sane(s)
    line = sent_lines(s.segment(2))
    check("a paused current session, the player's second and playing: the keyword gets its line, "
          "named by the package, not \"App\"; next reaches the player",
          line == [(77, b">AppleInc.AppleMusicWin: " + CYRILLIC_TRACK)]
          and commands(s) == ["next"], f"{line} {commands(s)}")
