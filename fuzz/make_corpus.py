#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the documented examples of the plug-in's inputs, laid out in the input formats
described at the top of each target's source. Run it again after changing a format.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent


def u8(v):
    return struct.pack("<B", v)


def i32(v):
    return struct.pack("<i", v)


def text(b):
    return struct.pack("<H", len(b)) + b


def packed(b):
    return i32(len(b)) + b


ALL_BUTTONS = (
    b"button-send=yes\r\nbutton-prev=yes\r\nbutton-rew=yes\r\nbutton-play=yes\r\n"
    b"button-fwd=yes\r\nbutton-next=yes\r\nbutton-open=yes\r\nbutton-mute=yes\r\n"
    b"button-v_dn=yes\r\nbutton-v_up=yes\r\nautoanswer-key=np\r\n"
    b"custom-player=C:\\Program Files\\Winamp\\Winamp.exe\r\n"
)
EXAMPLE_CAPTION = b"12. Some Artist - Some Song - Winamp"
# The caption while Winamp scrolls the title in the taskbar.
SCROLLED = b"Some Song - Winamp *** 12. Some Artist - "
OPEN_COMMAND_KEY_VALUE = b'"C:\\Program Files\\Winamp\\Winamp.exe" "%1"\x00'

# fuzz_events ---------------------------------------------------------------------------------
SETTINGS, RUNS, HUNG, LAUNCHES, REGISTRY, NO_MIXER = 1, 2, 4, 8, 16, 32


# Core Audio: none (Windows XP), or there with the failures and apartments named.
CORE_AUDIO, NO_ENDPOINT, ACTIVATE_FAILS, SET_MUTE_FAILS, ENDPOINT_MUTED, STA, MTA = (
    1, 2, 4, 8, 16, 32, 64)


def machine(flags, settings=b"", caption=EXAMPLE_CAPTION, answers=(1, 44, 128, 2), lookups=0,
            command=b"", messenger=b"", core_audio=0):
    return (u8(flags) + text(settings) + text(caption) + b"".join(i32(a) for a in answers)
            + u8(lookups) + text(command) + text(messenger) + u8(core_audio))


def event(body):
    return u8(0) + text(body)


def press(n):
    return u8(1) + u8(n)


NULL_EVENT = u8(2)
INITIALISE = event(b"\x03\x01\x01\x00\x00\x00")
FINALISE = event(b"\x03\x02")
PREFERENCES = event(b"\x03\x03")


def message(sender, t):
    return event(b"\x03\x06" + i32(sender) + b"\x55" * 12 + packed(t))


def answer(mode, body=b""):
    return u8(mode) + (u8(len(body)) + body if mode == 2 else b"")


EVENTS = {
    "all_buttons_session": machine(SETTINGS | RUNS, ALL_BUTTONS) + INITIALISE
    + message(321, b"np") + message(5, b" hello there ") + b"".join(press(n) for n in range(10))
    + PREFERENCES + FINALISE,
    "keyword_hello": machine(SETTINGS | RUNS, b"autoanswer-key=HELLO") + INITIALISE
    + message(7, b"  hello  ") + message(7, b" hello there ") + message(7, b"   ")
    + message(7, b"hello\t"),
    "no_settings_file": machine(0) + INITIALISE + message(1, b"") + message(1, b"   ") + FINALISE,
    "odd_records": machine(SETTINGS, ALL_BUTTONS) + event(b"\x02\x01\x01\x00\x00\x00")
    + event(b"\x04\x01") + event(b"\x03\x00") + event(b"\x03\x04") + event(b"\x03\x05")
    + event(b"\x03\x07") + event(b"") + NULL_EVENT + event(b"\x03\x01\x00\x00\x00\x00")
    + event(b"\x03\x01\x11\x22") + INITIALISE + FINALISE,
    "launch_at_ninth_lookup": machine(
        SETTINGS | LAUNCHES,
        b"button-prev=yes\r\nbutton-play=yes\r\ncustom-player=C:\\Program Files\\Winamp\\Winamp.exe",
        lookups=9) + INITIALISE + press(1) + press(0) + press(1),
    "launch_never_comes_up": machine(SETTINGS, b"button-next=yes\r\nbutton-open=yes")
    + INITIALISE + press(0) + press(1),
    "no_player_found": machine(SETTINGS, b"custom-player=D:\\Apps\\player.exe\r\nbutton-next=yes")
    + INITIALISE + press(0),
    "registered_player": machine(
        SETTINGS | REGISTRY | LAUNCHES,
        b"custom-player=D:\\missing.exe\r\nbutton-open=yes\r\nbutton-v_up=yes",
        command=OPEN_COMMAND_KEY_VALUE, lookups=2) + INITIALISE + press(0) + press(1),
    "hung_player": machine(SETTINGS | RUNS | HUNG, ALL_BUTTONS) + INITIALISE
    + message(9, b"NP") + b"".join(press(n) for n in range(10)) + FINALISE,
    "mute_without_mixer": machine(SETTINGS | NO_MIXER, b"button-mute=yes") + INITIALISE
    + press(0) + press(0) + FINALISE,
    "messenger_odd_answers": machine(
        SETTINGS | RUNS, ALL_BUTTONS,
        messenger=answer(1) + answer(2, b"\x07") + answer(2, b"") + answer(0)
        + answer(2, b"\x01\x02\x03\x04\x05\x06\x07\x08") + answer(1) * 5 + answer(2, b"\x01")
        + answer(1)) + INITIALISE + press(0) + FINALISE,
    "mute_through_core_audio": machine(SETTINGS, b"button-mute=yes", core_audio=CORE_AUDIO)
    + INITIALISE + press(0) + press(0) + press(0) + FINALISE,
    "mute_core_audio_in_other_apartment": machine(
        SETTINGS, b"button-mute=yes", core_audio=CORE_AUDIO | MTA | ENDPOINT_MUTED)
    + INITIALISE + press(0) + press(0),
    "mute_core_audio_without_endpoint": machine(
        SETTINGS, b"button-mute=yes", core_audio=CORE_AUDIO | NO_ENDPOINT | STA)
    + INITIALISE + press(0) + press(0),
    "mute_core_audio_fails_and_no_mixer": machine(
        SETTINGS | NO_MIXER, b"button-mute=yes", core_audio=CORE_AUDIO | SET_MUTE_FAILS)
    + INITIALISE + press(0) + press(0),
    "mute_activate_fails": machine(SETTINGS, b"button-mute=yes",
                                   core_audio=CORE_AUDIO | ACTIVATE_FAILS)
    + INITIALISE + press(0),
    "volume_steps": machine(SETTINGS | RUNS, b"button-v_dn=yes\r\nbutton-v_up=yes")
    + INITIALISE + press(1) * 12 + press(0) * 12,
}

# fuzz_player ---------------------------------------------------------------------------------


FORMAT_FOLLOWS, PLAYLIST_FOLLOWS, PROCESS_DENIED, REFUSES, BITNESS_FOLLOWS = 4, 8, 16, 32, 64
AIMP_FOLLOWS = 128
# Whether a process runs under WOW64, two bits each for the plug-in's (bits 0-1) and the
# player's (bits 2-3); bit 4: no IsWow64Process.
NO, YES, UNKNOWN, WITHOUT_IS_WOW64 = 0, 1, 2, 16
# The player's memory: three pages from MEMORY on; bit k of the pages byte: the k-th is there,
# bit 3 + k: it cannot be read.
MEMORY, PAGE = 0x00A00000, 0x1000


def playlist(address=MEMORY + 0x10, pages=0b001, offset=0x10,
             memory=b"Some Artist - Some Song\x00", index=11):
    return i32(index) + struct.pack("<I", address) + u8(pages) + struct.pack("<H", offset) \
        + text(memory)


def title_at(offset, pages, memory=b"Some Artist - Some Song\x00"):
    """The title, its address given as it lies in the memory."""
    return player(SCROLLED, fmt=b"%title%", entry=playlist(MEMORY + offset, pages, offset, memory))


def aimp_block(artist="Исполнитель", title="Песня", file_name="C:\\Music\\song.mp3",
               header=88, active=1, rate=44100, lengths=None, size=2048):
    """AIMP's shared block: the header, the six strings in UTF-16, zeros to its size."""
    texts = ["", artist, "", file_name, "", title]
    units = [t.encode("utf-16-le") for t in texts]
    counts = lengths or [len(u) // 2 for u in units]
    head = struct.pack("<IIIII", header, active, 320, 2, 215000) + bytes(8) + struct.pack(
        "<III", 0, rate, 7) + struct.pack("<6I", *counts) + b"\xee" * 24
    return (head + b"".join(units)).ljust(size, b"\x00")[:size]


def player(caption, answers=(1, 44, 128, 2), contact=0, flags=1, messenger=b"", fmt=None,
           times=(83500, 215), entry=None, bitness=None, aimp=None):
    given = b""
    if fmt is not None:
        flags |= FORMAT_FOLLOWS
        given = text(fmt) + b"".join(i32(t) for t in times)
    if entry is not None:
        flags |= PLAYLIST_FOLLOWS
        given += entry
    if bitness is not None:
        flags |= BITNESS_FOLLOWS
        given += u8(bitness)
    if aimp is not None:
        flags |= AIMP_FOLLOWS
        given += text(aimp)
    return (u8(flags) + text(caption) + b"".join(i32(a) for a in answers) + i32(contact)
            + given + messenger)


# "Listening to: ", Windows-1251
LISTENING = b"\xd1\xeb\xf3\xf8\xe0\xfe: "


PLAYER = {
    "worked_example": player(EXAMPLE_CAPTION),
    "paused_mono": player(b"Some Song - Winamp [Paused]", (3, 44, 128, 1), 5),
    "stopped_without_suffix": player(b"Some Song - Winamp", (0, 44, 128, 2), 5),
    "suffix_inside_title": player(b"Band - Winamp Blues - Winamp"),
    "six_channels": player(EXAMPLE_CAPTION, (1, 48, 320, 6), 777),
    "zero_channels": player(EXAMPLE_CAPTION, (1, 0, 0, 0), 777),
    "caption_11": player(b"12345678901", contact=1),
    "caption_12": player(b"123456789012", contact=1),
    "caption_300": player(b"x" * 290 + b" - Winamp", contact=1),
    "caption_with_nul": player(b"Some\x00Song - Winamp"),
    "nonsense_answers": player(EXAMPLE_CAPTION, (-7, -1, -2147483648, 2147483647), -5),
    "hung": player(EXAMPLE_CAPTION, flags=3),
    "not_running": player(EXAMPLE_CAPTION, flags=0),
    "null_chat_contact": player(EXAMPLE_CAPTION, messenger=answer(1)),
    "short_chat_contact": player(EXAMPLE_CAPTION, messenger=answer(2, b"\x01\x41\x01")),
    "format_every_placeholder": player(
        EXAMPLE_CAPTION, fmt=LISTENING + b"%track% [%pos%/%len%] %khz%KHz/%kbps%kbps/%channels%"
        b" 100%% %title% %"),
    "format_empty": player(EXAMPLE_CAPTION, fmt=b""),
    "format_default": player(EXAMPLE_CAPTION,
                             fmt=b">Winamp: %track% (%khz%KHz/%kbps%kbps/%channels%)"),
    "format_hours": player(EXAMPLE_CAPTION, fmt=b"%pos% of %len%", times=(3725000, 7322)),
    "format_unknown_times": player(EXAMPLE_CAPTION, fmt=b"[%pos%/%len%]", times=(-1, -1)),
    "format_position_only": player(EXAMPLE_CAPTION, contact=5, fmt=b"at %pos%"),
    "format_length_only": player(EXAMPLE_CAPTION, contact=5, fmt=b"of %len%"),
    "format_escaped": player(EXAMPLE_CAPTION, fmt=b"%%pos%% %%%len% %%track%%"),
    "format_ends_inside_placeholder": player(EXAMPLE_CAPTION, fmt=b"%track% %trac"),
    "format_cut_at_1024": player(EXAMPLE_CAPTION, fmt=b"x" * 1020 + b"%track%"),
    "format_hung": player(EXAMPLE_CAPTION, flags=3, fmt=b"%track% %pos%/%len%"),
    "refusing": player(EXAMPLE_CAPTION, flags=1 | REFUSES),
    "format_refusing": player(EXAMPLE_CAPTION, flags=1 | REFUSES, fmt=b"%track% %pos%/%len%"),
    "playlist_refusing": player(SCROLLED, flags=1 | REFUSES, fmt=b"%number%|%title%",
                                entry=playlist()),
    "playlist_title": player(SCROLLED, fmt=b"%number%. %title% (%khz%KHz/%kbps%kbps/%channels%)",
                             entry=playlist()),
    "playlist_title_ends_at_unreadable_page": title_at(PAGE - 24, 0b010011),
    "playlist_title_across_pages": title_at(PAGE - 14, 0b011),
    "playlist_title_into_unreadable_page": title_at(PAGE - 14, 0b010011),
    "playlist_title_into_nowhere": title_at(PAGE - 14, 0b001),
    "playlist_title_300_bytes": title_at(2 * PAGE - 100, 0b111, b"x" * 300),
    "playlist_empty_title": player(SCROLLED, fmt=b"%title%", entry=playlist(memory=b"\x00")),
    "playlist_no_entry": player(SCROLLED, fmt=b"%number%|%title%", entry=playlist(index=-1)),
    "playlist_null_title": player(SCROLLED, fmt=b"%number%|%title%", entry=playlist(address=0)),
    "playlist_title_nowhere": player(SCROLLED, fmt=b"%number%|%title%",
                                     entry=playlist(address=0x00F00000)),
    "playlist_process_denied": player(SCROLLED, flags=1 | PROCESS_DENIED, fmt=b"%title%",
                                      entry=playlist()),
    "playlist_number_only": player(SCROLLED, fmt=b"%number%", entry=playlist()),
    "playlist_last_index": player(SCROLLED, fmt=b"%number%", entry=playlist(index=2147483647)),
    "playlist_hung": player(SCROLLED, flags=3, fmt=b"%number%|%title%", entry=playlist()),
    "playlist_default_format": player(SCROLLED, entry=playlist()),
    "bitness_both_under_wow64": player(SCROLLED, fmt=b"%title%", entry=playlist(),
                                       bitness=YES | YES << 2),
    "bitness_64_bit_player": player(SCROLLED, fmt=b"%title%", entry=playlist(),
                                    bitness=YES | NO << 2),
    "bitness_32_bit_player": player(SCROLLED, fmt=b"%title%", entry=playlist(),
                                    bitness=NO | YES << 2),
    "bitness_player_unknown": player(SCROLLED, fmt=b"%title%", entry=playlist(),
                                     bitness=YES | UNKNOWN << 2),
    "bitness_own_unknown": player(SCROLLED, fmt=b"%title%", entry=playlist(), bitness=UNKNOWN),
    "bitness_without_is_wow64": player(SCROLLED, fmt=b"%title%", entry=playlist(),
                                       bitness=WITHOUT_IS_WOW64 | YES | NO << 2),
    # Players that imitate Winamp: the rate in Hz, a UTF-8 title.
    "imitator_rate_in_hz": player(EXAMPLE_CAPTION, (1, 44100, 320, 2)),
    "imitator_utf8_title": player(SCROLLED, fmt=b"%title%",
                                  entry=playlist(memory="A - Песня\x00".encode("utf-8"))),
    # AIMP's shared block, as AIMP shares it and as a reader must not trust it.
    "aimp_cyrillic": player(EXAMPLE_CAPTION, flags=0, aimp=aimp_block()),
    "aimp_every_placeholder": player(EXAMPLE_CAPTION, flags=0, aimp=aimp_block(),
                                     fmt=b"%title%|%track%|%number%|%pos%|%len%|%khz%"),
    "aimp_file_name_only": player(EXAMPLE_CAPTION, flags=0,
                                  aimp=aimp_block(artist="", title="")),
    "aimp_inactive": player(EXAMPLE_CAPTION, flags=0, aimp=aimp_block(active=0)),
    "aimp_header_92": player(EXAMPLE_CAPTION, flags=0, aimp=aimp_block(header=92)),
    "aimp_block_too_small": player(EXAMPLE_CAPTION, flags=0, aimp=aimp_block(size=2047)),
    "aimp_lengths_past_block": player(EXAMPLE_CAPTION, flags=0,
                                      aimp=aimp_block(lengths=[0, 11, 0, 17, 0, 0xFFFFFFFF])),
    "aimp_to_the_last_byte": player(EXAMPLE_CAPTION, flags=0,
                                    aimp=aimp_block(lengths=[0, 0, 0, 0, 0, 980])),
    "aimp_hung": player(EXAMPLE_CAPTION, flags=2, fmt=b"%pos%/%len%", aimp=aimp_block()),
    "aimp_refusing": player(EXAMPLE_CAPTION, flags=REFUSES, fmt=b"%track% %len%",
                            aimp=aimp_block()),
}

# fuzz_settings -------------------------------------------------------------------------------
SETTINGS_SEEDS = {
    "all_buttons": ALL_BUTTONS,
    "empty": b"",
    "play_yes": b"button-play=yes",
    "play_YES": b"button-play=YES",
    "play_Yes": b"button-play=Yes",
    "play_1": b"button-play=1",
    "play_key_with_space": b"button-play = yes",
    "play_capitalised_key": b"Button-Play=yes",
    "play_without_value": b"button-play",
    "send_yes_then_no": b"button-send=yes\r\nbutton-prev=yes\r\nbutton-send=no",
    "custom_player": b"custom-player=D:\\Apps\\player.exe",
    "custom_player_with_equals": b"custom-player=C:\\a=b\\p.exe",
    "custom_player_empty": b"custom-player=",
    "keyword_with_spaces": b"autoanswer-key= np ",
    "lf_line_ends": b"button-play=yes\nbutton-mute=yes\n",
    "utf8_bom": b"\xef\xbb\xbfbutton-play=yes\r\nbutton-mute=yes",
    "section_and_comment": b"[Settings]\r\n; comment\r\nbutton-mute=yes\r\n",
    "split_examples": b"key=v=w\r\nkey\r\n=x\r\n",
    # "Listening to: ", Windows-1251
    "nowplaying_format": b"nowplaying-format=\xd1\xeb\xf3\xf8\xe0\xfe: %track% [%pos%/%len%]",
    # As today's Notepad saves them: the keyword "нп" and the line "Слушаю ♪: …", whose note
    # Windows-1251 lacks, in UTF-8 without a mark and in UTF-16 with its mark.
    "utf8_keyword": "button-play=yes\r\nautoanswer-key=нп\r\nnowplaying-format=Слушаю ♪: %track%"
    .encode("utf-8"),
    "utf16_keyword": b"\xff\xfe" + "button-play=yes\r\nautoanswer-key=нп\r\n"
    "nowplaying-format=Слушаю ♪: %track%".encode("utf-16-le"),
    "nowplaying_format_last_wins": b"nowplaying-format= a=%khz% \r\nnowplaying-format=\r\n"
    b"autoanswer-key=np",
    "player_aimp": b"player=aimp",
    "player_winamp_then_empty": b"player=winamp\r\nplayer=",
    "player_capitalised": b"player=AIMP\r\nPlayer=aimp",
}


def write(target, seeds):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


write("fuzz_events", EVENTS)
write("fuzz_player", PLAYER)
write("fuzz_settings", SETTINGS_SEEDS)
