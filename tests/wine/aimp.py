"""Players beyond Winamp: the stand-in AIMP, 32-bit and 64-bit, driven through its own
remote-control window and read from its shared block; AIMP's imitation of Winamp; and a
stand-in Winamp that imitates it as foobar2000 does (the rate in Hz, no state in the caption,
a UTF-8 title)."""

from checks import (FWD, NEXT, OPEN, PAUSE_LOOK, PLAY, PLAY_LOOK, PREV, REW, SEND, V_DN, V_UP,
    check, find, sane, sent_lines, settings, update_looks, winlab_player)

AIMP_CLASS = "AIMP2_RemoteInfo"
# «Исполнитель - Песня» in Windows-1251, the stand-in AIMP's artist and title.
CYRILLIC_TRACK = (b"\xc8\xf1\xef\xee\xeb\xed\xe8\xf2\xe5\xeb\xfc - "
                  b"\xcf\xe5\xf1\xed\xff")
AIMP_LINE = b">AIMP: " + CYRILLIC_TRACK + b" (44KHz/320kbps/stereo)"
# «Песня»: in UTF-8, as foobar2000 holds its titles, and in Windows-1251.
SONG_UTF8 = "Песня".encode("utf-8")
SONG_1251 = b"\xcf\xe5\xf1\xed\xff"


def aimp_actions(session):
    """What the stand-in AIMP was told to do, in order: its commands and the properties set."""
    actions = []
    for line in session.player:
        if line.is_("AIMP_COMMAND"):
            actions.append(line.get("command"))
        elif line.is_("AIMP_PROPERTY") and line.get("value") is not None:
            actions.append(f"{line.get('property')} {line.get('value')}")
    return actions


def aimp_session(lab, bits):
    steps = [["init"], ["wait-window", AIMP_CLASS, "10000"],
             ["message", "77", "np"],                      # 2
             ["press", PLAY], ["press", PLAY],             # 3 pause, 4 play
             ["press", NEXT], ["press", PREV],             # 5-6
             ["press", FWD], ["press", REW],               # 7-8
             ["press", V_UP], ["press", V_DN],             # 9-10
             ["press", OPEN],                              # 11
             ["press", SEND],                              # 12
             ["close-window", AIMP_CLASS], ["fini"]]
    s = lab.session(f"aimp-{bits}", steps, settings(winlab_player(lab)),
                    player_args=["--state", "playing"], player_bits=bits, aimp=True)
    sane(s)
    check(f"{bits}-bit AIMP alone: the keyword gets the line from its shared block, in code "
          "page 1251", sent_lines(s.segment(2)) == [(77, AIMP_LINE)]
          and find(s.segment(2), "result", "message-received", "answerHandled"),
          str(sent_lines(s.segment(2))))
    check(f"{bits}-bit AIMP: the send button sends the same line to the open chat",
          sent_lines(s.segment(12)) == [(321, AIMP_LINE)], str(sent_lines(s.segment(12))))
    play_id = [a.int("id") for a in find(s.segment(0), "answer", "addButton")][3:4]
    looks = [update_looks(s.segment(i)) for i in (3, 4)]
    check(f"{bits}-bit AIMP: play/pause reads its state, pauses a playing AIMP (play look) and "
          "plays a paused one (pause look)",
          play_id and looks == [[(play_id[0], PLAY_LOOK, "yes")], [(play_id[0], PAUSE_LOOK, "yes")]],
          str(looks))
    actions = aimp_actions(s)
    expected = ["pause", "play", "next", "previous", "position 5000", "position 0", "volume 60",
                "volume 50", "open-files"]
    check(f"{bits}-bit AIMP: every button reached it through its commands and properties, in "
          "order", actions == expected, str(actions))
    imitated = [line.text for line in s.player if line.is_("imitation")]
    check(f"{bits}-bit AIMP: nothing went to a window of Winamp's class", not imitated,
          str(imitated))


def aimp32_session(lab):
    aimp_session(lab, 32)


def aimp64_session(lab):
    aimp_session(lab, 64)


def aimp_imitation_session(lab):
    """AIMP with its window of Winamp's class, in the same process: the plug-in takes it for
    AIMP and uses AIMP's own interface, as it does with player=aimp; with player=winamp the
    Winamp-class window alone is used."""
    steps = [["init"], ["wait-window", AIMP_CLASS, "10000"],
             ["message", "77", "np"], ["press", NEXT],     # 2-3
             ["close-window", AIMP_CLASS], ["fini"]]
    s = lab.session("aimp-imitation", steps, settings(winlab_player(lab)),
                    player_args=["--state", "playing", "--imitation"], aimp=True)
    sane(s)
    check("AIMP's imitation of Winamp: the keyword gets AIMP's line",
          sent_lines(s.segment(2)) == [(77, AIMP_LINE)], str(sent_lines(s.segment(2))))
    imitated = [line.text for line in s.player if line.is_("imitation")]
    check("and next goes to AIMP's own window, none of Winamp's messages to the imitation",
          aimp_actions(s) == ["next"] and not imitated, f"{aimp_actions(s)} {imitated}")
    s = lab.session("aimp-imitation-winamp", steps,
                    settings(winlab_player(lab)) + [("player", "winamp")],
                    player_args=["--state", "playing", "--imitation"], aimp=True)
    sane(s)
    imitated = [line for line in s.player if line.is_("imitation")]
    check("with player=winamp only the window of Winamp's class is asked, AIMP's never",
          imitated and not aimp_actions(s)
          and not [line for line in s.player if line.is_("AIMP_PROPERTY")],
          str([line.text for line in s.player][-6:]))


def foobar_session(lab):
    """A stand-in Winamp that imitates it as foobar2000 does: 126/0 answers 44100, the
    caption counts from 0 and shows no state, and the playlist title is UTF-8."""
    title = b"Test Artist - " + SONG_UTF8
    steps = [["init"], ["wait-player", "10000"],
             ["message", "77", "np"],                      # 2: playing, the default line
             ["press", PLAY],                              # 3: paused
             ["message", "77", "np"],                      # 4: the caption taken whole
             ["close-player"], ["fini"]]
    s = lab.session("foobar", steps,
                    settings(winlab_player(lab))
                    + [("nowplaying-format", ">Winamp: %track% (%khz%KHz)|%title%")],
                    player_args=["--foobar", "--state", "playing", "--number", "1",
                                 "--rate", "44100", "--playlist-hex", title.hex()])
    sane(s)
    playing, paused = sent_lines(s.segment(2)), sent_lines(s.segment(4))
    check("an imitator that answers 44100 Hz: the line shows 44KHz, and its UTF-8 title "
          "reaches the chat in code page 1251",
          playing == [(77, b">Winamp: 0. " + title + b" (44KHz)|Test Artist - " + SONG_1251)],
          str(playing))
    check("paused, its caption without a state suffix is taken whole",
          paused == [(77, b">Winamp: 0. " + title + b" - Winamp (44KHz)|Test Artist - "
                      + SONG_1251)], str(paused))
