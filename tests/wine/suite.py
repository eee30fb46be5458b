#!/usr/bin/env python3
"""The Wine suite: the shipped 32-bit plug-in in a real Win32, loaded by the 32-bit reference
messenger under WoW64 in a 64-bit prefix (and, once, on 32-bit Windows) and driven against the
32-bit stand-in player (and, once, a 64-bit one). One line per check, then "N passed, M failed"; the exit status is
nonzero when a check failed. The sessions live in rooms by what they show; this file runs them.

usage: suite.py [BUILD_DIR [PLAYER64_BUILD_DIR]]   (default build/win32 build/win64-player)"""

import os
import signal
import sys
import time

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import aimp  # noqa: E402
import audio  # noqa: E402
import buttons_player  # noqa: E402
import checks  # noqa: E402
import format_title  # noqa: E402
import launch  # noqa: E402
import programs32  # noqa: E402
import sessions  # noqa: E402
import settings_folder  # noqa: E402
import winelab  # noqa: E402
import windows32  # noqa: E402
from checks import check  # noqa: E402

# The exit status when this machine cannot run 32-bit programs at all.
NO_32BIT_PROGRAMS = 3

# The sessions of the 64-bit prefix, in the order they run.
SESSIONS = (buttons_player.buttons_session, buttons_player.player_session,
            format_title.format_session, format_title.scrolling_title_session,
            launch.launch_custom_session, launch.launch_registry_session,
            launch.not_found_session, launch.launch_error_session,
            settings_folder.preferences_session, settings_folder.cyrillic_session,
            buttons_player.hung_player_session, buttons_player.probe_session,
            audio.core_audio_session, audio.mixer_fallback_session,
            launch.program_files_session, settings_folder.regional_formats_session,
            format_title.other_bitness_title_session, settings_folder.settings_elsewhere_session,
            settings_folder.unicode_settings_session,
            settings_folder.outside_code_page_folder_session,
            aimp.aimp32_session, aimp.aimp64_session, aimp.aimp_imitation_session,
            aimp.foobar_session, sessions.session_buttons_session,
            sessions.session_never_ends_session, sessions.timeline_sessions,
            sessions.no_session_manager_session)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/win32"
    player64 = sys.argv[2] if len(sys.argv) > 2 else "build/win64-player"
    # A stopped suite still ends what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    way = programs32.path()
    problem = None if way else programs32.why_32bit_cannot_run()
    print(f"NOTE {way or '32-bit programs: none'}", flush=True)
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
        for run in SESSIONS:
            try:
                run(lab)
            except Exception as error:  # a broken session fails, the others still run
                check(f"{run.__name__} ran", False, repr(error))
                lab.reset()
    finally:
        lab.close()
    lab32 = winelab.Lab(build, arch="win32")
    try:
        boot = lab32.start()
        print(f"NOTE 32-bit prefix booted in {boot:.1f} s", flush=True)
        windows32.windows32_session(lab32)
    except Exception as error:
        check("windows32_session ran", False, repr(error))
    finally:
        lab32.close()
    passed = sum(checks.results)
    failed = len(checks.results) - passed
    print(f"NOTE the suite took {time.monotonic() - started:.0f} s", flush=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
