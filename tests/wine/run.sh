#!/usr/bin/env bash
# The Wine suite: tests/wine/run.sh [BUILD_DIR [PLAYER64_BUILD_DIR]], the win32 build and the
# win64-player build (default build/win32 build/win64-player). Starts its own Xvfb and Wine
# prefixes and ends them again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
exec python3 "$here/suite.py" "${1:-build/win32}" "${2:-build/win64-player}"
