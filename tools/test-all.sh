#!/usr/bin/env bash
# Runs every test from a clean checkout on Debian 12, as root: installs what is
# missing, builds the host, fuzz and windows-tests trees and runs their tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh

cmake --preset host
cmake --build --preset host
ctest --preset host -L unit -j 2

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz -L fuzz -j 2

cmake --preset windows-tests
cmake --build --preset windows-tests
ctest --preset windows-tests -j 2
