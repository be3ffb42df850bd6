#!/usr/bin/env bash
# With OptUsePing the server probes an address before offering it: the lowest pool address,
# held by a third namespace that answers echoes, is set aside as a conflict and the client gets
# the next one.
set -u
. "$(dirname "$0")/tamrix95_lib.sh"
t95_init ping
t95_settings OptUsePing=1 OptPingWait=500
hold_ns=${NETNS_SRV%-srv}-hold
hold_if=${NETNS_SRV_IF%-s}-h
peer_if=${NETNS_SRV_IF%-s}-p
ip netns add "$hold_ns"
NETNS_NAMES+=("$hold_ns")
ip link add "$peer_if" netns "$NETNS_SRV" type veth peer name "$hold_if" netns "$hold_ns"
ip -n "$hold_ns" addr add 192.0.2.100/24 dev "$hold_if"
ip -n "$hold_ns" link set lo up
ip -n "$hold_ns" link set "$hold_if" up
ip -n "$NETNS_SRV" link set "$peer_if" up
ip -n "$NETNS_SRV" route add 192.0.2.100/32 dev "$peer_if"
check "server starts" t95_start || t95_finish

ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address 02:00:00:00:95:31
check "client is bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" probe
check "client gets the next address" t95_eq "$(t95_client_value probe ip)" 192.0.2.101
row=$(t95_lease_row 192.0.2.100)
echo "     $row"
check "the held address is marked as a conflict" grep -q '<競合検出>' <<<"$row"
check "server stops on close" t95_close
check "the conflict is kept in TAMRIX.db" grep -q '^C0000264,' <(t95_db)
t95_finish
