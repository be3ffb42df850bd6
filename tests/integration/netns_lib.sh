# Network-namespace helpers for tests and the demo. Source it; never run it alone.
# Everything lives in namespaces this script creates; nothing is sent in the machine's own one.
#
#   netns_setup PREFIX         two namespaces PREFIX-srv and PREFIX-cli joined by a veth pair;
#                              server 192.0.2.1/24 on PREFIX-s, client side PREFIX-c unaddressed
#   netns_cleanup              kills what runs in them and deletes them (call from a trap)
#   in_server CMD...           runs CMD in the server namespace (own UTS namespace, host name
#                              "tamrix-srv" resolving to 192.0.2.1 through /etc/netns/<ns>/hosts)
#   in_client CMD...           runs CMD in the client namespace

NETNS_SERVER_ADDR=192.0.2.1
NETNS_HOSTNAME=tamrix-srv
NETNS_NAMES=()

netns_setup() {
  local prefix=$1
  NETNS_SRV=$prefix-srv
  NETNS_CLI=$prefix-cli
  NETNS_SRV_IF=${prefix:0:10}-s
  NETNS_CLI_IF=${prefix:0:10}-c
  netns_cleanup_one "$NETNS_SRV"
  netns_cleanup_one "$NETNS_CLI"
  ip netns add "$NETNS_SRV"
  NETNS_NAMES+=("$NETNS_SRV")
  ip netns add "$NETNS_CLI"
  NETNS_NAMES+=("$NETNS_CLI")
  ip link add "$NETNS_SRV_IF" netns "$NETNS_SRV" type veth peer name "$NETNS_CLI_IF" netns "$NETNS_CLI"
  ip -n "$NETNS_SRV" addr add "$NETNS_SERVER_ADDR/24" dev "$NETNS_SRV_IF"
  ip -n "$NETNS_SRV" link set lo up
  ip -n "$NETNS_SRV" link set "$NETNS_SRV_IF" up
  ip -n "$NETNS_CLI" link set lo up
  ip -n "$NETNS_CLI" link set "$NETNS_CLI_IF" up
  mkdir -p "/etc/netns/$NETNS_SRV"
  printf '127.0.0.1\tlocalhost\n%s\t%s\n' "$NETNS_SERVER_ADDR" "$NETNS_HOSTNAME" \
    >"/etc/netns/$NETNS_SRV/hosts"
}

netns_cleanup_one() {
  local ns=$1
  if ip netns list 2>/dev/null | grep -qw "^$ns"; then
    local pids
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
    ip netns delete "$ns" 2>/dev/null || true
  fi
  rm -rf "/etc/netns/$ns"
}

netns_cleanup() {
  local ns
  for ns in "${NETNS_NAMES[@]}"; do netns_cleanup_one "$ns"; done
  NETNS_NAMES=()
}

in_server() {
  ip netns exec "$NETNS_SRV" unshare --uts sh -c 'hostname "$0"; exec "$@"' "$NETNS_HOSTNAME" "$@"
}

in_client() {
  ip netns exec "$NETNS_CLI" "$@"
}

# Waits up to $1 tenths of a second for a command to succeed.
wait_until() {
  local tenths=$1
  shift
  local i
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
