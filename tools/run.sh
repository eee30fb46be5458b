#!/usr/bin/env bash
# The main job, from a fresh machine: installs what is missing, builds the product DLL and its
# 64-bit twin, and runs a demo session under Wine: the reference messenger with the plug-in and
# the stand-in player. Prints the transcript and saves a screenshot (tools/run.sh [PNG]).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
cmake --preset win64 >/dev/null
cmake --build --preset win64
bash tools/demo.sh "${1:-$(pwd)/build/demo/screenshot.png}" build/win64
echo "The plug-in: $(pwd)/build/win32/QUIB_Ctl.dll"
echo "Its 64-bit twin, run above under Wine: $(pwd)/build/win64/QUIB_Ctl.dll"
