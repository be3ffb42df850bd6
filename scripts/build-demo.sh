#!/usr/bin/env bash
# Builds what the demo runs (TAMRIXs.exe and its two tools) into the folder given, with no Qt and
# no test framework: the finds are disabled, so a CMake file that still asks for either fails
# here instead of on a fresh machine. The demo and CI both build through this script.
#   scripts/build-demo.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: build-demo.sh BUILD_DIR}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMRIX_GUI=OFF -DBUILD_TESTING=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target tamrix_95 tamrix-leases tamrix-window
