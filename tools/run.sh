#!/usr/bin/env bash
# The main job, from a fresh machine: installs what is missing, builds the product DLL.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo "The plug-in: $(pwd)/build/win32/QUIB_Ctl.dll"
