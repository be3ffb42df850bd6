#!/usr/bin/env bash
# A flake hunt, run by hand as root (never by CI): builds the normal and the sanitizer
# configuration as test.sh does (or brings existing ones up to date), runs the unit tests of both
# many times, then the integration tests a few rounds with both cores kept busy by stress-ng,
# and ends with each test that failed and how often. Every round's full log stays in the folder
# it names; the exit code is non-zero when anything failed.
#   scripts/stress-tests.sh [--unit-rounds N] [--integration-rounds N]
#                           [--release DIR] [--asan DIR] [--logs DIR]
# The same from the environment: UNIT_ROUNDS, INTEGRATION_ROUNDS, RELEASE_DIR, ASAN_DIR, LOG_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
unit_rounds=${UNIT_ROUNDS:-20}
integration_rounds=${INTEGRATION_ROUNDS:-3}
release=${RELEASE_DIR:-build/release}
asan=${ASAN_DIR:-build/asan}
logs=${LOG_DIR:-build/stress-logs/$(date +%Y%m%d-%H%M%S)}
while (($#)); do
  case $1 in
    --unit-rounds) unit_rounds=$2 ;;
    --integration-rounds) integration_rounds=$2 ;;
    --release) release=$2 ;;
    --asan) asan=$2 ;;
    --logs) logs=$2 ;;
    *) grep '^#  ' "$0" >&2; exit 2 ;;
  esac
  shift 2
done
[ "$(id -u)" = 0 ] || { echo "stress-tests: run as root" >&2; exit 1; }

guard='' stress=''
cleanup() {
  if [ -n "$stress" ]; then kill -TERM "$stress" 2>/dev/null; wait "$stress" 2>/dev/null; fi
  if [ -n "$guard" ]; then rm -f /usr/sbin/policy-rc.d; fi
  return 0
}
trap cleanup EXIT
trap 'exit 1' INT TERM

./scripts/install-deps.sh
if ! dpkg-query -W -f='${Status}' stress-ng 2>/dev/null | grep -q "install ok installed"; then
  echo "installing stress-ng"
  # As install-deps.sh: package scripts must not start daemons in the machine's own network.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    guard=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends stress-ng >/dev/null
  cleanup
  guard=
fi

mkdir -p "$logs"
echo "building $release and $asan (logs in $logs)"
build() {
  local dir=$1 log=$logs/$2
  shift 2
  if ! { cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs" >"$log"; }; then
    echo "stress-tests: the build of $dir failed, see $log" >&2
    exit 1
  fi
}
build "$release" build-release.log -DCMAKE_BUILD_TYPE=RelWithDebInfo
build "$asan" build-asan.log -DCMAKE_BUILD_TYPE=Debug -DTAMRIX_SANITIZE=ON

export QT_QPA_PLATFORM=offscreen
declare -A failed=() runs=()
total=0

# round KIND BUILD_DIR N OF CTEST_ARGS...: one ctest run, its log kept, its failures counted.
round() {
  local kind=$1 dir=$2 n=$3 of=$4 log name names=()
  shift 4
  log=$logs/$kind-$(printf '%02d' "$n").log
  if ! (cd "$dir" && ctest --timeout 600 --no-tests=error --output-on-failure -j "$jobs" "$@") \
    >"$log" 2>&1; then
    mapfile -t names < <(sed -n '/The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' "$log")
    ((${#names[@]})) || names=("(ctest-itself)")
  fi
  while read -r name; do runs[$kind $name]=$((${runs[$kind $name]:-0} + 1)); done \
    < <(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) .*/\1/p' "$log")
  for name in "${names[@]}"; do failed[$kind $name]=$((${failed[$kind $name]:-0} + 1)); done
  total=$((total + 1))
  local shown=ok
  if ((${#names[@]})); then
    shown="${#names[@]} failed: ${names[*]:0:3}"
    ((${#names[@]} <= 3)) || shown+=" ..."
  fi
  printf '%-12s %2d/%d  %s\n' "$kind" "$n" "$of" "$shown"
}

for ((i = 1; i <= unit_rounds; i++)); do
  round unit-release "$release" "$i" "$unit_rounds" -L unit
  round unit-asan "$asan" "$i" "$unit_rounds" -L unit
done
for ((i = 1; i <= integration_rounds; i++)); do
  # Bounded in time as well, should this script be killed past its trap.
  stress-ng --cpu 2 --timeout 30m --quiet &
  stress=$!
  round integration "$release" "$i" "$integration_rounds" -L integration
  kill -TERM "$stress" 2>/dev/null || true
  wait "$stress" 2>/dev/null || true
  stress=
done

echo "--- failed/runs ($total ctest runs, logs in $logs)"
for key in "${!failed[@]}"; do
  printf '%s: %d/%d\n' "$key" "${failed[$key]}" "${runs[$key]:-0}"
done | sort
if ((${#failed[@]})); then exit 1; fi
echo "no failures"
