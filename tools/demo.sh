#!/usr/bin/env bash
# The plug-in at work under Wine: tools/demo.sh [PNG_PATH] [BUILD_DIR]
# Runs the 32-bit reference messenger with the shipped DLL and the stand-in player in a 64-bit
# prefix (WoW64) through a short session (all buttons, play, next, louder, the keyword from a
# contact, the send button, mute, finalise), with the lab's own PulseAudio server as Wine's
# playback device, prints the transcript, and saves a PNG of the messenger's window
# (default build/demo/screenshot.png). Needs the win32 build (cmake --preset win32 &&
# cmake --build --preset win32).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
png="${1:-$root/build/demo/screenshot.png}"
build="${2:-$root/build/win32}"
exec python3 "$root/tests/wine/demo.py" "$build" "$png"
