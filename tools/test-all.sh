#!/usr/bin/env bash
# Runs every test from a clean checkout on Debian 12, as root: installs what is
# missing, builds the three trees and runs the unit, fuzz and end-to-end labels.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh

cmake --preset host
cmake --build --preset host
ctest --preset host -L unit -j 2

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz -L fuzz -j 2

cmake --preset windows
cmake --build --preset windows
ctest --preset windows -j 2
