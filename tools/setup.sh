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

codename=$(. /etc/os-release && echo "$VERSION_CODENAME")

# A mirror in the middle of a sync serves an index that does not match its Release file; apt
# then fails the whole update though the lists it did fetch hold every package named here.
# So one more try, then on with those lists (status 1): a package truly missing fails the install.
apt_update() {
  $SUDO apt-get update -qq && return 0
  sleep 10
  $SUDO apt-get update -qq && return 0
  echo "setup: apt-get update failed for an index; going on with the lists it fetched" >&2
  return 1
}

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # When the index of one architecture in the security suite is stale, the i386 libraries
  # cannot match the amd64 ones the other suites offer; the release itself has both alike.
  target=()
  apt_update || target=(-t "$codename")
  $SUDO apt-get install -y -qq --no-install-recommends "${target[@]}" "${missing[@]}" >/dev/null
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

# Wine's 32-bit side needs 32-bit programs to run. Where the kernel runs none (some hypervisors
# give it no 32-bit mode), qemu-i386 runs them as the binfmt_misc handler of i386 ELF files; the
# kernel consults such handlers before its own loader, so QUIB_32BIT=qemu forces that path where
# the kernel runs them too, and QUIB_32BIT=native takes it away. A machine where neither works
# gets one line saying why, and the Wine suite and the demo then fail with the reason.
binfmt=/proc/sys/fs/binfmt_misc
handler=$binfmt/quib-i386
qemu=/usr/bin/qemu-i386
# Debian 12's own qemu (7.2) crashes the messenger at its exit; the backports' 10 runs it whole.
backports="$codename-backports"

probe32() { python3 tools/programs32.py probe; }
set_handler() { [ -e "$handler" ] && echo "$1" | $SUDO tee "$handler" >/dev/null; }

# These say what they do on standard error, and on standard output only why they failed.

# From the backports suite of the archive that this machine's own apt sources name.
install_qemu() {
  local archive release=${backports%-backports}
  find_archive() {
    apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 2>/dev/null |
      awk -v r="$release" '$1 == r { print $2; exit }'
  }
  archive=$(find_archive)
  [ -n "$archive" ] || { apt_update >&2 || :; archive=$(find_archive); }
  [ -n "$archive" ] || { echo "no apt source names the archive of Debian $release"; return 1; }
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$archive" "$backports" |
    $SUDO tee /etc/apt/sources.list.d/quib-backports.sources >/dev/null
  echo "setup: installing qemu-user from $backports" >&2
  { { apt_update || :; } &&
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      -t "$backports" qemu-user >/dev/null; } >&2 ||
    { echo "qemu-user cannot be had from $backports"; return 1; }
}

register_qemu() {
  case "$("$qemu" --version 2>/dev/null)" in
    "qemu-i386 version "[1-9][0-9].*) ;;
    *) install_qemu || return 1 ;;
  esac
  if [ ! -e "$binfmt/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" >&2 ||
      { echo "binfmt_misc cannot be mounted"; return 1; }
  fi
  if [ ! -e "$handler" ]; then
    echo "setup: registering $qemu for i386 programs" >&2
    printf '%s' ":quib-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu:F" |
      $SUDO tee "$binfmt/register" >/dev/null ||
      { echo "the i386 handler cannot be registered in binfmt_misc"; return 1; }
  fi
  set_handler 1
  probe32 >/dev/null || { echo "a 32-bit program does not run through $qemu either"; return 1; }
}

programs32() {
  case "${QUIB_32BIT:-auto}" in
    native) set_handler -1; probe32 ;;
    qemu) register_qemu ;;
    auto)
      if [ -e "$handler" ]; then
        # A handler left by a forced run goes where the kernel runs 32-bit programs itself.
        set_handler 0
        if probe32 >/dev/null; then set_handler -1; return 0; fi
        set_handler 1
      fi
      probe32 >/dev/null && return 0
      echo "setup: the kernel runs no 32-bit program; qemu-i386 is to run them" >&2
      register_qemu
      ;;
  esac
}

case "${QUIB_32BIT:-auto}" in
  auto | qemu | native) ;;
  *) echo "setup: QUIB_32BIT is auto, qemu or native, not '$QUIB_32BIT'"; exit 1 ;;
esac

if ! why=$(programs32); then
  echo "setup: 32-bit programs cannot run here: ${why:-for no reason given}"
fi
