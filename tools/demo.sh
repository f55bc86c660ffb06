#!/usr/bin/env bash
# The main job, from a clean checkout on Debian 12 as root: installs what is
# missing, builds the sample service pack and applies it under Wine to the
# sample products, then shows the boxes, the versions and the logs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh
cmake --preset windows-tests
cmake --build --preset windows-tests
python3 tools/demo.py build/windows-tests
