#!/usr/bin/env python3
"""The demo: the 32-bit reference messenger with the shipped 32-bit plug-in and the 32-bit
stand-in player under Wine, in a 64-bit prefix as on 64-bit Windows (WoW64), a short scripted
session with its transcript on the terminal, and a PNG of the messenger's
window (toolbar and chat log) taken before the plug-in is finalised.

usage: demo.py BUILD_DIR PNG_PATH"""

import os
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import programs32  # noqa: E402
import transcript  # noqa: E402
import winelab  # noqa: E402

KEYS = ["button-send", "button-prev", "button-rew", "button-play", "button-fwd", "button-next",
        "button-open", "button-mute", "button-v_dn", "button-v_up"]
# Time the messenger holds still for the picture.
HOLD_MS = 4000


def follow(path, offset):
    """Prints what the transcript gained since offset; returns the new offset and lines."""
    with open(path, "rb") as f:
        f.seek(offset)
        data = f.read()
    complete = data[: data.rfind(b"\n") + 1]
    text = complete.decode("latin-1")
    if text:
        sys.stdout.write(text)
        sys.stdout.flush()
    return offset + len(complete), transcript.parse(text)


def screenshot(lab, rect, png):
    x, y, width, height = rect
    os.makedirs(os.path.dirname(os.path.abspath(png)), exist_ok=True)
    subprocess.run(["import", "-display", lab.env["DISPLAY"], "-window", "root", "-crop",
                    f"{width}x{height}+{x}+{y}", "+repage", png], check=True, timeout=60,
                   stdin=subprocess.DEVNULL)


def main():
    build, png = sys.argv[1], sys.argv[2]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    lab = winelab.Lab(build)
    missing = lab.missing()
    if missing:
        print("missing: " + ", ".join(missing) + " (build the win32 preset first)")
        return 1
    way = programs32.path()
    if not way:
        print("demo: 32-bit programs cannot run on this machine "
              f"({programs32.why_32bit_cannot_run()})")
        return 1
    print(f"demo: {way}", flush=True)
    try:
        print(f"demo: booting a scratch Wine prefix ({lab.start():.1f} s)", flush=True)
        print("demo: Wine's playback device: " + (
            f"none ({lab.audio_problem})" if lab.audio_problem
            else "the lab's PulseAudio server, a null sink"), flush=True)
        lab.write_settings([(k, "yes") for k in KEYS] + [
            ("autoanswer-key", "np"), ("custom-player", winelab.winpath(lab.player_exe))])
        steps = [["init"], ["wait-player", "10000"], ["press", "4"], ["press", "6"],
                 ["press", "10"], ["message", "77", "np"], ["press", "1"], ["press", "8"],
                 ["wait", "500"],
                 ["where"], ["wait", str(HOLD_MS)], ["fini"]]
        process, transcript, player_log = lab.start_messenger(
            "demo", steps, player_args=["--state", "stopped", "--number", "7", "--track",
                                        "The Stand-ins - Quiet Signal"])
        offset, shot, loaded, deadline = 0, False, None, time.monotonic() + 90
        while time.monotonic() < deadline:
            running = process.poll() is None
            offset, lines = follow(transcript, offset)
            for line in lines:
                if line.is_("load"):
                    loaded = line
                if line.is_("where") and not shot:
                    rect = tuple(line.int(k) for k in ("x", "y", "width", "height"))
                    screenshot(lab, rect, png)
                    shot = True
                    print(f"demo: screenshot of the messenger's window saved to {png}",
                          flush=True)
            if not running:
                break
            time.sleep(0.1)
        if process.poll() is None:
            process.kill()
            print("demo: the messenger did not finish in time")
            return 1
        with open(player_log, "rb") as f:
            print("demo: the stand-in player's log:\n" + f.read().decode("latin-1"), end="")
        if loaded:
            print(f"demo: the messenger loaded {lab.plugin_src}: machine={loaded.get('machine')}"
                  f", wow64={loaded.get('wow64')}")
        return 0 if shot and loaded and process.returncode == 0 else 1
    finally:
        lab.close()


if __name__ == "__main__":
    sys.exit(main())
