#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 (run as root).
# Safe to run again: it only adds what is missing.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
release=$(. /etc/os-release && echo "$VERSION_CODENAME")

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

# The backports suite comes from the same mirror and key as the system's own
# release entry (not the security one), so no package host is named here.
add_backports() {
  grep -rqs -- "$release-backports" /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  local stanza
  stanza=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v release="$release" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " release " ") && uris != "")
        { print uris "\t" signed; found = 1; exit }
      types = uris = suites = signed = ""
    }
    /^[ \t]*$/ { flush(); next }
    /^#/ { next }
    /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
    /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
    /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
    /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); signed = $0 }
    END { if (!found) flush() }')
  if [ -n "$stanza" ]; then
    local uris=${stanza%%$'\t'*} signed=${stanza#*$'\t'}
    {
      echo "Types: deb"
      echo "URIs: $uris"
      echo "Suites: $release-backports"
      echo "Components: main"
      [ -n "$signed" ] && echo "Signed-By: $signed"
    } >"/etc/apt/sources.list.d/$release-backports.sources"
    return 0
  fi
  # One-line format: the first "deb" line whose suite is exactly the release.
  local line
  line=$(grep -hE "^[[:space:]]*deb[[:space:]]" /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v release="$release" '{ i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == release) { $(i + 1) = release "-backports"; NF = i + 1; print $0 " main"; exit } }')
  if [ -z "$line" ]; then
    echo "setup: no Debian source entry for $release to take the backports suite from" >&2
    return 1
  fi
  echo "$line" >"/etc/apt/sources.list.d/$release-backports.list"
}

# The first two lines build servicepack.exe (python3-olefile and python3-pefile read the
# patch package and the executable), the third signs it; the rest is for the tests: the
# host and fuzz builds, a throw-away certificate authority, Wine and wixl for the samples
# and the end-to-end tests, and msitools, whose msibuild makes the packages that the tests
# of the input checks feed them.
packages=(
  cmake ninja-build g++-mingw-w64-i686 binutils-mingw-w64-i686
  python3 python3-olefile python3-pefile
  osslsigncode
  g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev clang-format openssl
  wine wine32:i386 wine64 wixl msitools time xvfb xdotool
)
# A mirror in the middle of a sync (or a cache in front of it) can serve an index whose size does
# not match its Release file, and apt-get update fails on it. It is tried three times; after
# that apt goes on with the indexes it has. Where one architecture's security index is then
# missing, the security suite's newer native packages would not match the foreign ones of the
# release, so the install prefers the release's own packages (-t) instead.
indexes_complete=yes
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    apt-get update -q && return 0
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
  done
  echo "going on with the package indexes apt has; installing from $release itself" >&2
  indexes_complete=no
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
# node and npm run the workflow linter (tools/lint). Debian's own nodejs and npm, unless a node
# that brings its own npm is already installed (Debian's npm package would conflict with it).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  command -v node >/dev/null || missing+=(nodejs)
  missing+=(npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  if [ "$indexes_complete" = yes ]; then
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    apt-get install -y -q --no-install-recommends -t "$release" "${missing[@]}"
  fi
fi

# Wine's 32-bit loader is an i386 Linux program. Some kernels (ours among them) run
# no 32-bit user code; there it runs under qemu's user-mode emulation. qemu 7.2 from
# bookworm ignores MAP_FIXED_NOREPLACE, which makes every Wine start probe the whole
# address space (about a minute); the backported qemu handles it and starts in ~0.2 s.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if ! [ -x /usr/bin/qemu-i386 ] || ! /usr/bin/qemu-i386 --version | grep -q 'version \([89]\|1[0-9]\)\.'; then
    add_backports
    apt_update
    apt-get install -y -q --no-install-recommends -t "$release-backports" qemu-user-static
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FPC' >"$binfmt/register"
  /usr/lib/wine/wine --version >/dev/null
fi
echo "setup: $(wine --version), $(i686-w64-mingw32-g++ --version | head -n 1), $(cmake --version | head -n 1)"
