#!/usr/bin/env bash
# Pictures of every message box in every language of the catalogue, for translators,
# release engineers and support: docs/messages/<LANGID>.png. Run it by hand (as root on
# Debian 12) after a change to resources/catalogue, look at the pictures, commit them.
# It installs what it needs, builds the windows-tests preset and runs servicepack.exe
# under Wine on a virtual display, in a Wine prefix of its own (build/windows-tests/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh

# The display and the pictures, and fonts: DejaVu for the boxes' Latin, Greek and
# Cyrillic text and the labels, Japanese, Chinese and Korean glyphs, and Wine's own
# (Marlett, for the caption's close button).
packages=(
  xvfb xdotool imagemagick
  fonts-wine fonts-ipafont-gothic fonts-wqy-microhei fonts-nanum fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake --preset windows-tests
cmake --build --preset windows-tests
# The interpreter the build found (cmake/Python.cmake): the texts of the boxes are read from
# servicepack.exe with pefile, which the first python3 on PATH may not see.
python=$(sed -n 's/^SP_PYTHON3:FILEPATH=//p' build/windows-tests/CMakeCache.txt)
"$python" tools/screenshots.py --build build/windows-tests --out docs/messages
