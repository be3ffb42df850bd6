#!/usr/bin/env bash
# Another DHCP server on our segment. TAMRIXs.exe serves on a bridge in its namespace; a second
# TAMRIXs.exe, with a machine and a pool of its own and without CAP_NET_RAW, answers from a third
# namespace on the same bridge; a client asks a few times. Our server lists the other one exactly
# once, by its address and hardware address, and never itself; the other one, deaf to other
# servers, answers all the same (which is how ours hears it) and lists nobody.
#   rogue_server_test.sh OPERATOR_DRIVER
set -u
. "$(dirname "$0")/tamrix95_lib.sh"
DRIVER=${1:?usage: rogue_server_test.sh OPERATOR_DRIVER}

ROGUE_ADDR=192.0.2.2
ROGUE_MAC=02:00:00:00:0b:ad

[ "$(id -u)" = 0 ] || t95_skip "needs root"
for tool in ip unshare timeout setpriv busybox; do
  command -v "$tool" >/dev/null || t95_skip "needs $tool"
done
[ -x "$T95_BIN/TAMRIXs.exe" ] || t95_skip "no $T95_BIN/TAMRIXs.exe"
T95_ROOT=$(mktemp -d /tmp/tamrix-rogue-XXXXXX)
ROGUE_ROOT=$T95_ROOT/rogue-machine
export TAMRIX_SYSROOT=$T95_ROOT
mkdir -p "$T95_ROOT/var/lib/tamrix" "$T95_ROOT/clients" "$ROGUE_ROOT/var/lib/tamrix"
rogue_cleanup() {
  t95_cleanup
  rm -f "/dev/shm/tamrix-$(t95_root_digest "$ROGUE_ROOT")-"* 2>/dev/null
}
trap rogue_cleanup EXIT
trap 'exit 1' INT TERM

# The server's leg of the client's veth pair becomes a bridge port; the bridge takes the server's
# address, and the rogue's namespace joins it through a second pair.
PREFIX=tx-rog$$
netns_setup "$PREFIX" 2>/dev/null || t95_skip "cannot create network namespaces"
ROGUE_NS=$PREFIX-rog
ROGUE_IF=${PREFIX:0:10}-g
ip netns add "$ROGUE_NS" && NETNS_NAMES+=("$ROGUE_NS") || t95_skip "cannot create a namespace"
ip -n "$NETNS_SRV" link add br0 type bridge
ip -n "$NETNS_SRV" addr flush dev "$NETNS_SRV_IF"
ip -n "$NETNS_SRV" link set "$NETNS_SRV_IF" master br0
ip link add "${PREFIX:0:10}-r" netns "$NETNS_SRV" type veth peer name "$ROGUE_IF" netns "$ROGUE_NS"
ip -n "$NETNS_SRV" link set "${PREFIX:0:10}-r" master br0 up
ip -n "$NETNS_SRV" addr add "$NETNS_SERVER_ADDR/24" dev br0
ip -n "$NETNS_SRV" link set br0 up
ip -n "$ROGUE_NS" link set lo up
ip -n "$ROGUE_NS" link set "$ROGUE_IF" address "$ROGUE_MAC" up
ip -n "$ROGUE_NS" addr add "$ROGUE_ADDR/24" dev "$ROGUE_IF"
mkdir -p "/etc/netns/$ROGUE_NS"
printf '127.0.0.1\tlocalhost\n%s\ttamrix-rog\n' "$ROGUE_ADDR" >"/etc/netns/$ROGUE_NS/hosts"

t95_settings
check "our server starts" t95_start || t95_finish

# A pool of its own on the same segment; bounding set without CAP_NET_RAW, so its start cannot
# open a packet socket.
printf '[TAMRIX]\r\nStartIPAddr=192.0.2.200\r\nEndIPAddr=192.0.2.210\r\n%s\r\n' \
  'SubnetMask=255.255.255.0' >"$ROGUE_ROOT/var/lib/tamrix/TAMRIX.ini"
{
  exec ip netns exec "$ROGUE_NS" unshare --uts sh -c 'hostname "$0"; exec "$@"' tamrix-rog \
    env TAMRIX_SYSROOT="$ROGUE_ROOT" setpriv --bounding-set -net_raw "$T95_BIN/TAMRIXs.exe"
} >>"$T95_ROOT/rogue.log" 2>&1 &
T95_PIDS+=("$!")
check "the other server starts without CAP_NET_RAW" wait_until 100 t95_port_bound "$ROGUE_NS" ||
  t95_finish

# The report's rogue lines: address, hardware address and whether acknowledged.
rogues() { timeout 20 "$DRIVER" report | awk '$1 == "rogue" {print $2, $3, $5}'; }
listed_once() { [ "$(rogues)" = "$ROGUE_ADDR $ROGUE_MAC $1" ]; }
for round in 1 2 3; do
  check "the client is served ($round)" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" "round$round"
  check "the other server is listed once ($round)" wait_until 50 listed_once new
done
check "the operator acknowledges it" timeout 20 "$DRIVER" acknowledge "$ROGUE_ADDR"
check "it stays listed, acknowledged" listed_once acknowledged
echo "     listed: $(rogues | tr '\n' ';')"
# Its answers were heard above; whether it still holds an offer is a race the client decides (a
# REQUEST for our server's address cancels it), so its table is not asked.
check "the other server, deaf, lists nobody" t95_eq "$(TAMRIX_SYSROOT=$ROGUE_ROOT rogues)" ""
check "our server still runs" t95_window_up
check "our server stops on close, its listener with it" t95_close
[ "$T95_FAILURES" = 0 ] || { echo "--- other server's output"; cat "$T95_ROOT/rogue.log"; }
t95_finish
