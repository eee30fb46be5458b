#!/usr/bin/env bash
# Installs what the builds and tests need from Debian's packages. Idempotent:
# returns at once when everything is already there. Needs no display and no input.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  # Wine's 32-bit side beside its 64-bit one: the shipped DLL, the messenger and the player are
  # 32-bit programs, run under WoW64 in a 64-bit prefix as on 64-bit Windows.
  wine wine64 wine32:i386 xvfb x11-apps imagemagick python3 locales
  python3-pefile libunicorn-dev
  # A sound server with a null sink, so that Wine has a playback device in the Wine suite.
  pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Wine suite runs in the Russian locale, from which Wine takes code page 1251.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
  echo "setup: generating the ru_RU.UTF-8 locale"
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi

# One Wine session runs with German regional formats under the Russian system locale: Wine
# takes the user locale from LC_MESSAGES.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
