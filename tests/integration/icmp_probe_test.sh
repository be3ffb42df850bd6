#!/usr/bin/env bash
# The conflict probe against real echo replies. Everything happens in two namespaces this script
# creates and always removes: the probe's (client side) and one that holds 192.0.2.1.
set -u
helper=$1
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null; then
  echo "SKIP: needs root and iproute2"
  exit 77
fi
# shellcheck source=netns_lib.sh
. "$here/netns_lib.sh"

prefix=ticmp$$
trap 'netns_cleanup' EXIT
trap 'exit 1' INT TERM
if ! netns_setup "$prefix" 2>/dev/null; then
  echo "SKIP: cannot create network namespaces"
  exit 77
fi
ip -n "$NETNS_CLI" addr add 192.0.2.50/24 dev "$NETNS_CLI_IF"
# Lets the unprivileged ping socket be tried as well (a per-namespace setting).
ip netns exec "$NETNS_CLI" sysctl -qw net.ipv4.ping_group_range="0 2147483647"

failures=0
# expect NAME WANT_REPLIES MIN_MS MAX_MS ARGS...
expect() {
  local name=$1 want=$2 min=$3 max=$4
  shift 4
  local out replies elapsed
  out=$(timeout 20 ip netns exec "$NETNS_CLI" "$helper" "$@")
  replies=$(sed -n 's/.*replies=\([0-9]*\).*/\1/p' <<<"$out")
  elapsed=$(sed -n 's/.*elapsed_ms=\([0-9]*\).*/\1/p' <<<"$out")
  if [ "$replies" = "$want" ] && [ "${elapsed:-0}" -ge "$min" ] && [ "${elapsed:-0}" -le "$max" ]; then
    echo "ok   $name: $out"
  else
    echo "FAIL $name: want replies=$want in $min..$max ms, got: $out"
    failures=$((failures + 1))
  fi
}

expect "an address that answers (raw socket)" 1 0 1500 192.0.2.1 1500
expect "an address that answers (ping socket)" 1 0 1500 192.0.2.1 1500 1 ping-socket
expect "an address nobody holds waits out the wait" 0 300 1500 192.0.2.77 300
expect "three tries at a silent address wait three times" 0 600 2500 192.0.2.77 200 3
ip netns exec "$NETNS_SRV" sysctl -qw net.ipv4.icmp_echo_ignore_all=1
expect "an address whose host ignores echoes" 0 300 1500 192.0.2.1 300
expect "the same through the ping socket" 0 300 1500 192.0.2.1 300 1 ping-socket

[ "$failures" = 0 ]
