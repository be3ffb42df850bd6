#!/usr/bin/env bash
# Requests through relay agents: a crafted relayed DISCOVER (giaddr set) is answered to the
# relay's address on port 67 with giaddr kept, and a real dhcrelay in a middle namespace carries
# the server's answers to a client on a second segment.
#
#   server ns 192.0.2.1 --- relay ns (the client ns) 192.0.2.2 | 198.51.100.1 --- second segment
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/tamrix95_lib.sh"
t95_init relay
command -v python3 >/dev/null || t95_skip "needs python3"
command -v dhcrelay >/dev/null || t95_skip "needs dhcrelay"
t95_settings
relay_ns=$NETNS_CLI
seg2_ns=${NETNS_SRV%-srv}-seg2
down_if=${NETNS_SRV_IF%-s}-d
seg2_if=${NETNS_SRV_IF%-s}-e
ip netns add "$seg2_ns"
NETNS_NAMES+=("$seg2_ns")
ip link add "$down_if" netns "$relay_ns" type veth peer name "$seg2_if" netns "$seg2_ns"
ip -n "$relay_ns" addr add 192.0.2.2/24 dev "$NETNS_CLI_IF"
ip -n "$relay_ns" addr add 198.51.100.1/24 dev "$down_if"
ip -n "$relay_ns" link set "$down_if" up
ip -n "$seg2_ns" link set lo up
ip -n "$seg2_ns" link set "$seg2_if" up
# The server answers the relay at its giaddr on the second segment.
ip -n "$NETNS_SRV" route add 198.51.100.0/24 via 192.0.2.2
check "server starts" t95_start || t95_finish

out=$(timeout 20 ip netns exec "$relay_ns" python3 "$here/t95_relay_sender.py" \
  192.0.2.1 192.0.2.2 02:00:00:00:95:21)
rc=$?
echo "     $out"
check "relayed DISCOVER answered to the relay on port 67 with giaddr kept" t95_eq "$rc" 0
check "answer came from the server's port 67" grep -q "from=192.0.2.1:67 " <<<"$out"
offered=$(sed -n 's/.*yiaddr=\([0-9.]*\).*/\1/p' <<<"$out")
check "offered address from the pool" t95_in_pool "$offered"

ip netns exec "$relay_ns" dhcrelay -4 -d -q -pf "$T95_ROOT/clients/dhcrelay.pid" \
  -iu "$NETNS_CLI_IF" -id "$down_if" 192.0.2.1 >"$T95_ROOT/clients/dhcrelay.out" 2>&1 &
relay=$!
T95_PIDS+=("$relay")
# dhcrelay binds its port 67 socket last, after the packet sockets on both interfaces.
check "dhcrelay is up" wait_until 100 t95_port_bound "$relay_ns"
ip -n "$seg2_ns" link set dev "$seg2_if" address 02:00:00:00:95:22
check "client behind dhcrelay is bound" t95_udhcpc_once "$seg2_ns" "$seg2_if" seg2
ip_r=$(t95_client_value seg2 ip)
check "its address is from the pool" t95_in_pool "$ip_r"
check "its router and DNS" t95_eq "$(t95_client_value seg2 router) $(t95_client_value seg2 dns)" \
  "192.0.2.1 192.0.2.1"
check "the table holds it bound" t95_eq "$(t95_lease_state "$ip_r")" bound

kill -TERM "$relay" 2>/dev/null
wait "$relay" 2>/dev/null
check "server stops on close" t95_close
t95_finish
