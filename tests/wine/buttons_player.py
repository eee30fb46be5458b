"""The buttons and the player: initialise and finalise, every button against the stand-in
player, the keyword, a hung player, and the reference messenger's own checks."""

import struct

import project_version
from checks import (FWD, HINTS, HUNG_MARGIN_MS, MUTE, NEXT, OPEN, PAUSE_LOOK, PLAY,
    PLAYER_TIMEOUT_MS, PLAY_LOOK, PREV, REW, SEND, SOUND_OFF_LOOK, SOUND_ON_LOOK, V_DN, V_UP, check,
    find, observe, player_actions, press_ms, sane, sent_lines, settings, update_looks,
    winlab_player)


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
