#!/usr/bin/env bash
# The Wine suite: tests/wine/run.sh [BUILD_DIR], BUILD_DIR being the win32 build
# (default build/win32). Starts its own Xvfb and Wine prefixes and ends them again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
exec python3 "$here/suite.py" "${1:-build/win32}"
