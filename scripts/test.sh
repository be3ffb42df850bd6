#!/usr/bin/env bash
# Builds the normal and the sanitizer configuration and runs every test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMRIX_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"

export QT_QPA_PLATFORM=offscreen
(cd build/asan && ctest --output-on-failure -j "$jobs" -L unit)
cd build/release && ctest --output-on-failure -j "$jobs"
