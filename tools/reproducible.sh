#!/usr/bin/env bash
# Builds the product DLL and the release archive twice from this source tree, in two fresh
# folders under different paths, some seconds apart, with other umasks, time zones and locales,
# and compares their SHA-256 sums with each other and with build/win32's, when that exists.
# Usage: tools/reproducible.sh. Exits 1 when any of the sums differ.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tree as a fresh clone with the working tree's changes: tracked and untracked files, no
# ignored ones (no build folders).
copy_tree() {
  mkdir -p "$1"
  git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$1"
}

# What the release holds, the DLL and the texts, then CPack as the package target runs it; the
# Wine lab's programs are not in the release.
build_release() {
  copy_tree "$1"
  (cd "$1" && cmake --preset win32 >/dev/null &&
    cmake --build --preset win32 --target QUIB_Ctl quib_release_texts >/dev/null &&
    cd build/win32 && cpack --config ./CPackConfig.cmake >/dev/null)
}

first="$work/a"
second="$work/second build/in a longer path"
(umask 022 && TZ=UTC LC_ALL=C build_release "$first")
sleep 2
(umask 077 && TZ=Asia/Vladivostok LC_ALL=C.UTF-8 build_release "$second")

status=0
for name in QUIB_Ctl.dll "$(cd "$first/build/win32" && echo QUIB_Ctl-*-win32.zip)" SHA256SUMS; do
  sums=()
  for build in "$first/build/win32" "$second/build/win32" build/win32; do
    [ -f "$build/$name" ] && sums+=("$(sha256sum <"$build/$name" | cut -d' ' -f1)")
  done
  if [ "$(printf '%s\n' "${sums[@]}" | sort -u | wc -l)" -eq 1 ]; then
    echo "same: $name ${sums[0]} (${#sums[@]} builds)"
  else
    echo "DIFFERENT: $name ${sums[*]}"
    status=1
  fi
done
for build in "$first" "$second"; do
  if grep -qF "$build" "$build/build/win32/QUIB_Ctl.dll"; then
    echo "DIFFERENT: $build/build/win32/QUIB_Ctl.dll holds its build path"
    status=1
  fi
done
exit $status
