"""The settings file and the working folder: preferences, the settings beside the DLL when the
messenger runs from another folder or from one whose name code page 1251 cannot spell, settings
saved in UTF-8 and UTF-16, and keywords in code page 1251 under two locales."""

import os
import shutil

from transcript import settings_text
from checks import (HINTS, check, check_keyword_answers, find, observe, sane, sent_lines, settings,
    winlab_player)


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


PLAYING_SONG = ["--state", "playing", "--number", "3", "--track", "Song"]


def unicode_settings_session(lab):
    """Settings as today's Notepad saves them: UTF-8 with and without its byte-order mark, and
    UTF-16 with its mark ("Unicode"), each with the Cyrillic keyword "np" (\u043d\u043f). The
    messenger runs in code page 1251, where a contact's "np" is the bytes ED EF."""
    pairs = settings(winlab_player(lab), "\u043d\u043f".encode("cp1251"))
    text = settings_text(pairs).decode("cp1251")
    files = (("UTF-8 with its mark", b"\xef\xbb\xbf" + text.encode("utf-8")),
             ("UTF-8 without a mark", text.encode("utf-8")),
             ("UTF-16 with its mark", b"\xff\xfe" + text.encode("utf-16-le")))
    steps = [["init"], ["wait-player", "10000"], ["message", "77", "hex:EDEF"], ["fini"]]
    for what, data in files:
        with open(os.path.join(lab.plugins_dir, "QUIB_Ctl.ini"), "wb") as f:
            f.write(data)
        name = "settings-" + what.lower().replace(" ", "-")
        s = lab.session(name, steps, player_args=PLAYING_SONG)
        sane(s)
        adds = [a.bytes("hint") for a in find(s.segment(0), "request", "addButton")]
        check(f"settings in {what}: every button is registered, the first line's too",
              adds == HINTS, str(adds))
        check_keyword_answers(s, "and the Cyrillic keyword is answered with the now-playing "
                              "line ({})", ((2, 77, what),))


def outside_code_page_folder_session(lab):
    """The plug-in installed under a folder whose name code page 1251 cannot spell (a user
    folder such as Jürgen, or Greek letters), the messenger's current folder another one: the
    ANSI name of the DLL would lead to a folder that is not there, the wide one reaches the
    settings beside the DLL, and preferences opens them."""
    top = os.path.join(lab.root, "J\u00fcrgen \u03a9\u03b4\u03ae")
    folder = os.path.join(top, "plugins")
    elsewhere = os.path.join(folder, "elsewhere")
    os.makedirs(elsewhere)
    shutil.copy(os.path.join(lab.plugins_dir, "QUIB_Ctl.dll"), folder)
    beside = settings_text([("button-play", "yes"), ("button-mute", "yes"),
                            ("autoanswer-key", "np"), ("custom-player", winlab_player(lab))])
    with open(os.path.join(folder, "QUIB_Ctl.ini"), "wb") as f:
        f.write(beside)
    steps = [["init"], ["wait-player", "10000"], ["message", "77", "np"], ["prefs"],
             ["wait-title", "Notepad", "QUIB_Ctl.ini", "20000"], ["close-window", "Notepad"],
             ["fini"]]
    try:
        # Named relative to the current folder: the messenger's ANSI arguments cannot spell
        # the folder either.
        s = lab.session("settings-outside-code-page", steps, player_args=PLAYING_SONG,
                        cwd=elsewhere, plugin_path="..\\QUIB_Ctl.dll")
    finally:
        shutil.rmtree(top, ignore_errors=True)
    sane(s)
    adds = [a.bytes("hint") for a in find(s.segment(0), "request", "addButton")]
    check("installed under a folder outside code page 1251: initialise reads the settings "
          "beside the DLL", adds == [HINTS[3], HINTS[7]], str(adds))
    check_keyword_answers(s, "and their keyword is answered with the now-playing line ({})",
                          ((2, 77, "outside code page 1251"),))
    opened = find(s.segment(4), "window")
    check("and preferences opens that same file in the text editor",
          opened and opened[0].bytes("content") == beside,
          opened[0].text if opened else "no editor")
