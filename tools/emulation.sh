#!/usr/bin/env bash
# The shipped DLL itself under x86-32 emulation (tests/emulator/): builds the product DLL
# (preset win32) and the unit tests (preset native), then runs every black-box unit test on the
# emulated DLL, the emulator-only tests and the replay of the event corpus. QUIB_DLL names
# another DLL to run instead of build/win32/QUIB_Ctl.dll.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
cmake --build --preset win32
cmake --preset native >/dev/null
cmake --build --preset native --target quib_tests
build/native/tests/quib_tests --gtest_filter='*/emulated:EmulatedDll*' --gtest_brief=1
