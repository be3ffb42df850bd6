#!/usr/bin/env bash
# Compiles every product source outside platform/posix/, platform/qt/ and the Qt views for Windows
# (syntax only, with the mingw-w64 compiler): a file that fails there reaches the operating system
# past platform/'s interfaces. Lists the files that fail; exits 1 when any does.
#   scripts/check-layering.sh GENERATED_DIR     (a build's common/generated, for version.h)
set -euo pipefail
cd "$(dirname "$0")/.."
generated=$(realpath "${1:?usage: check-layering.sh GENERATED_DIR}")
compiler=${LAYERING_CXX:-x86_64-w64-mingw32-g++-posix}
if ! command -v "$compiler" >/dev/null; then
  echo "check-layering: $compiler not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

# Tracked and new files alike, so a source is checked before it is committed.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  sources=$(git ls-files --cached --others --exclude-standard -- '*.cpp')
else
  sources=$(find . -name '*.cpp' -not -path './build*' | sed 's|^\./||')
fi
sources=$(grep -Ev '^(tests|bench|platform/posix|platform/qt)/|/views/' <<<"$sources" | sort -u)

failures=$(mktemp -d)
trap 'rm -rf "$failures"' EXIT
export compiler generated failures
check() {
  [ -f "$1" ] || return 0  # removed from the work tree, not yet from the index
  local errors
  if ! errors=$("$compiler" -std=c++20 -fsyntax-only -I. -I"$generated" "$1" 2>&1); then
    { echo "$1"; grep -m3 'error' <<<"$errors" | sed 's/^/    /'; } >"$failures/${1//\//_}"
  fi
}
export -f check
tr '\n' '\0' <<<"$sources" | xargs -0 -r -n1 -P "${JOBS:-2}" bash -c 'check "$1"' check

total=$(wc -l <<<"$sources")
failed=$(find "$failures" -type f | wc -l)
if ((failed)); then
  echo "check-layering: $failed of $total files do not compile for Windows:"
  cat "$failures"/*
  exit 1
fi
echo "check-layering: all $total files compile for Windows"
