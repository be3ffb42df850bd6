#!/usr/bin/env bash
# Installs what is missing (Debian packages, as root), builds the normal and the sanitizer
# configuration and the Debian package, runs the unit tests under the sanitizers and every test
# in the normal build (the integration tests, in network namespaces of their own, need root and
# skip without it).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
./scripts/install-deps.sh

# The demo must build on a machine with neither Qt nor GoogleTest.
./scripts/build-demo.sh build/demo-check

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMRIX_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"

# The Debian package, checked by lintian here and installed on a clean Debian 12 root of its own
# by the integration test package_install.
JOBS=$jobs ./scripts/package.sh

export QT_QPA_PLATFORM=offscreen
(cd build/asan && ctest --output-on-failure -j "$jobs" -L unit)
cd build/release && ctest --output-on-failure -j "$jobs"
