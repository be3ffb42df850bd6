#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 120; the request
# handler gets 300). Corpora stay in fuzz-corpus/ (not committed). Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAMRIX_FUZZ=ON -DTAMRIX_GUI=OFF >/dev/null
targets=(fuzz_server_settings fuzz_lease_database fuzz_allowed_client_list fuzz_request)
cmake --build build/fuzz -j 2 --target "${targets[@]}"
for t in "${targets[@]}"; do
  limit=$seconds
  [ "$t" = fuzz_request ] && [ -z "${1:-}" ] && limit=300
  mkdir -p "fuzz-corpus/$t"
  echo "== $t for ${limit}s"
  "build/fuzz/tests/fuzz/$t" -max_total_time="$limit" -print_final_stats=1 "fuzz-corpus/$t" 2>&1 |
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
done
