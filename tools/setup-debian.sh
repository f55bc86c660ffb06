#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root).
# Safe to run again: it only adds what is missing.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
backports=/etc/apt/sources.list.d/bookworm-backports.list

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$backports"
fi

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev clang-format python3
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 wixl msitools time
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit loader is an i386 Linux program. Some kernels (ours among them) run
# no 32-bit user code; there it runs under qemu's user-mode emulation. qemu 7.2 from
# bookworm ignores MAP_FIXED_NOREPLACE, which makes every Wine start probe the whole
# address space (about a minute); the backported qemu handles it and starts in ~0.2 s.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if ! [ -x /usr/bin/qemu-i386 ] || ! /usr/bin/qemu-i386 --version | grep -q 'version \([89]\|1[0-9]\)\.'; then
    apt-get update -q
    apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FPC' >"$binfmt/register"
  /usr/lib/wine/wine --version >/dev/null
fi
echo "setup: $(wine --version), $(i686-w64-mingw32-g++ --version | head -n 1), $(cmake --version | head -n 1)"
