#!/usr/bin/env bash
# Every test of the project, from a fresh machine: installs what is missing, builds the product's
# build (the DLL and the Wine lab's 32-bit programs) and the native ones, and runs the
# include-cycle check, the check of the documents' version texts, the native tests (plain and under
# ASan/UBSan), the checks of the product DLL, the product DLL under x86-32 emulation (and DLLs
# with deliberate faults that the emulation must catch), the checks of the release archive, two
# more builds of the release that must give the same bytes, the Wine suite on the shipped DLL (run
# beside the stages after the product DLL's, as it mostly waits) and
# a short fuzzing run. Ends with one line: "stages: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh || { echo "setup failed"; exit 1; }

passed=0
failed=0
failed_names=()
failed_tails=()
summary_note=""
# Runs in this shell (the stages set variables for later ones) and keeps the stage's output, so
# that a failed stage's last lines can be given again at the end.
stage() {
  local name=$1 started=$SECONDS log status
  shift
  log=$(mktemp)
  echo "=== $name"
  "$@" > >(tee "$log") 2>&1
  status=$?
  wait $!
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "=== $name: ok ($((SECONDS - started)) s)"
  else
    failed=$((failed + 1))
    failed_names+=("$name")
    failed_tails+=("$(tail -n 20 "$log")")
    echo "=== $name: FAILED ($((SECONDS - started)) s)"
  fi
  rm -f "$log"
}

native() {
  local preset=$1
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" &&
    ctest --preset "$preset" -j2
}

# The product's modules include each other one way only; and the check still catches a cycle
# put back into a scratch copy (the button table included from a command it calls).
include_cycles() {
  python3 tools/check_includes.py || return 1
  local scratch
  scratch=$(mktemp -d)
  cp -r host settings player mixer "$scratch/"
  echo '#include "host/buttons.h"' >>"$scratch/player/winamp/commands.cpp"
  if python3 tools/check_includes.py "$scratch" >/dev/null; then
    echo "the include check missed a cycle put back into $scratch"
    return 1
  fi
  rm -rf "$scratch"
}

# The documents name the version the build gives; and the check still catches a README left at
# another version.
version_texts() {
  python3 tools/check_version.py || return 1
  local scratch
  scratch=$(mktemp -d)
  sed 's/QUIB_Ctl-[^ -]*-win32\.zip/QUIB_Ctl-0.0-win32.zip/' README.md >"$scratch/README.md"
  if python3 tools/check_version.py "$scratch/README.md" >/dev/null; then
    echo "the version check missed a README at another version ($scratch/README.md)"
    return 1
  fi
  rm -rf "$scratch"
}

# The checks read the PE file with Debian's python3-pefile, which only Debian's own
# interpreter sees. The sum of the checked DLL is kept for the check of the release.
product_dll() {
  cmake --preset win32 >/dev/null && cmake --build --preset win32 &&
    /usr/bin/python3 tools/check_dll.py build/win32/QUIB_Ctl.dll &&
    checked_dll=$(sha256sum <build/win32/QUIB_Ctl.dll | cut -d' ' -f1)
}

# The archive of the build whose DLL was checked; the native build reads its settings file.
release_archive() {
  cmake --build --preset win32 --target package >/dev/null &&
    /usr/bin/python3 tools/check_release.py build/win32 build/native/tests/quib_settings_dump \
      "${checked_dll:-}"
}

# The emulation catches a caller that takes a stdcall routine for cdecl. A scratch copy of the
# sources calls two methods through cdecl function pointers, each on a path of its own that only
# its stage's tests take, and is built once for both. Each fault: the source file, the call as
# written there, and its cdecl form.
cdecl_faults=(
  mixer/endpoint.cpp 'volume->SetMute('
  'reinterpret_cast<HRESULT (*)(IAudioEndpointVolume *, BOOL, LPCGUID)>((*reinterpret_cast<void ***>(volume.pointer))[14])(volume.pointer, '
  player/sessions/job.cpp 'session.TryChangePlaybackPositionAsync('
  'reinterpret_cast<HRESULT (*)(Session *, Ticks, Pressed **)>((*reinterpret_cast<void ***>(\&session))[24])(\&session, '
)
faulty_dll=""
build_faulty_dll() {
  [ -z "$faulty_dll" ] || return 0
  local scratch i
  scratch=$(mktemp -d)
  tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$scratch"
  for ((i = 0; i < ${#cdecl_faults[@]}; i += 3)); do
    sed -i "s|${cdecl_faults[i + 1]}|${cdecl_faults[i + 2]}|" "$scratch/${cdecl_faults[i]}"
    grep -q 'void \*\*\*' "$scratch/${cdecl_faults[i]}" ||
      { echo "the call in ${cdecl_faults[i]} was not found"; return 1; }
  done
  cmake -S "$scratch" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$scratch/cmake/toolchain-mingw-i686.cmake" >/dev/null &&
    cmake --build "$scratch/build" --target QUIB_Ctl -j2 >/dev/null || return 1
  faulty_dll="$scratch/build/QUIB_Ctl.dll"
}

# The tests on that DLL must fail on the ESP that the method's caller keeps too high, by the
# bytes of the method's arguments. Arguments: the method as the emulator names it, the tests to
# run, and the bytes.
cdecl_caught() {
  local method=$1 tests=$2 bytes=$3 log
  build_faulty_dll || return 1
  log=$(QUIB_DLL="$faulty_dll" build/native/tests/quib_tests \
    --gtest_filter="$tests" --gtest_brief=1 2>&1)
  if ! grep -q "keeps ESP $bytes bytes above where it had it before the call: it and $method disagree" <<<"$log"; then
    echo "$method called through a cdecl pointer in ${faulty_dll%/build/*} went unnoticed:"
    echo "$log" | tail -20
    return 1
  fi
  grep -m1 -o "the caller of $method[^\"]*" <<<"$log"
}

cdecl_setmute_caught() {
  cdecl_caught IAudioEndpointVolume::SetMute '*CoreAudioMute*/emulated' 12
}

# A media session's method whose 64-bit position makes 16 bytes of arguments.
cdecl_session_caught() {
  cdecl_caught Session::TryChangePlaybackPositionAsync '*Sessions.TheSkips*/emulated' 16
}

# The shipped DLL with the 32-bit messenger and player, and once a 64-bit player. The suite
# waits on Wine (and qemu) far more than it computes, so it starts as soon as the product DLL is
# built and runs beside the stages after it, which give way to it (their shell is reniced); its
# output stands in its place at the end. A kernel that runs no 32-bit program fails the stage,
# and the summary says why.
wine_log=$(mktemp)
wine_pid=""
start_wine_suite() {
  {
    cmake --preset win64-player >/dev/null && cmake --build --preset win64-player >/dev/null &&
      bash tests/wine/run.sh build/win32 build/win64-player
  } >"$wine_log" 2>&1 &
  wine_pid=$!
  renice -n 10 $$ >/dev/null
}

wine_suite() {
  [ -n "$wine_pid" ] || { echo "the product DLL failed to build or its checks: no suite"; return 1; }
  wait "$wine_pid"
  local status=$?
  cat "$wine_log"
  [ "$status" -eq 3 ] && summary_note=" (no Wine suite: this machine runs no 32-bit programs)"
  return "$status"
}

stage "include cycles among the product's modules" include_cycles
stage "version texts of the documents" version_texts
stage "product DLL" product_dll
[ -n "${checked_dll:-}" ] && start_wine_suite
stage "native unit tests" native native
stage "native unit tests under AddressSanitizer and UBSan" native native-asan
stage "the product DLL under x86-32 emulation" bash tools/emulation.sh
stage "the emulation catches SetMute called through a cdecl pointer" cdecl_setmute_caught
stage "the emulation catches a media session's method called through a cdecl pointer" \
  cdecl_session_caught
[ -n "$faulty_dll" ] && [ "$failed" -eq 0 ] && rm -rf "${faulty_dll%/build/*}"
stage "release archive" release_archive
stage "reproducible release: two builds, the same bytes" bash tools/reproducible.sh
stage "fuzzing, about a minute" bash tools/fuzz.sh 20
stage "Wine suite (run beside the stages above)" wine_suite
rm -f "$wine_log"

# How the Wine stage's 32-bit programs ran: the kernel's own way, or qemu-i386 (tools/setup.sh).
python3 tools/programs32.py path
# The failed stages again, with their last lines, where a log cut to its end still shows them.
for i in "${!failed_names[@]}"; do
  echo "--- the last lines of \"${failed_names[i]}\":"
  echo "${failed_tails[i]}"
done
for name in "${failed_names[@]}"; do echo "FAILED: $name"; done
echo "stages: $passed passed, $failed failed$summary_note"
[ "$failed" -eq 0 ]
