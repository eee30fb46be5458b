"""The now-playing line's shape and the track's title: a format with every placeholder, a
caption that scrolls, and the title of a player of another bitness."""

from checks import (FWD, LISTENING, SEND, check, find, observe, sane, sent_lines, settings,
    winlab_player)


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
