#!/usr/bin/env bash
# The main job, from a fresh machine: installs what is missing, builds the product DLL and the
# Wine lab's 32-bit programs, and runs a demo session under Wine: the 32-bit reference messenger
# loads the shipped DLL under WoW64 in a 64-bit prefix, with the stand-in player. Prints the
# transcript and saves a screenshot (tools/run.sh [PNG]).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
bash tools/demo.sh "${1:-$(pwd)/build/demo/screenshot.png}" build/win32
echo "The plug-in, run above under Wine: $(pwd)/build/win32/QUIB_Ctl.dll"
