#!/usr/bin/env bash
# Real DHCP clients against TAMRIXs.exe: busybox udhcpc, ISC dhclient and dhcpcd each get an
# address from the pool with mask, router and DNS server; udhcpc's renewal is answered to its own
# address; releases free the entries; a dhcpcd that identifies itself by DUID is not served while
# the others still are.
set -u
. "$(dirname "$0")/tamrix95_lib.sh"
t95_init clients
t95_settings
check "server starts" t95_start || t95_finish

set_mac() { ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address "$1"; }
on_interface() { ip -n "$NETNS_CLI" -4 addr show dev "$NETNS_CLI_IF" | grep -q "inet $1/24"; }
freed() { t95_eq "$(t95_lease_state "$1")" free; }

# --- busybox udhcpc: lease, options, renewal to its own address, release
set_mac 02:00:00:00:95:01
check "udhcpc is bound" t95_udhcpc_start "$NETNS_CLI" "$NETNS_CLI_IF" udhcpc
ip_u=$(t95_client_value udhcpc ip)
check "udhcpc address from the pool" t95_in_pool "$ip_u"
check "udhcpc mask" t95_eq "$(t95_client_value udhcpc subnet)" 255.255.255.0
check "udhcpc router" t95_eq "$(t95_client_value udhcpc router)" 192.0.2.1
check "udhcpc DNS" t95_eq "$(t95_client_value udhcpc dns)" 192.0.2.1
check "udhcpc server identifier" t95_eq "$(t95_client_value udhcpc serverid)" 192.0.2.1
check "udhcpc address applied" on_interface "$ip_u"
check "table shows it bound" t95_eq "$(t95_lease_state "$ip_u")" bound

capture=$T95_ROOT/clients/renew.pcap
ip netns exec "$NETNS_CLI" tcpdump -n -U --immediate-mode -i "$NETNS_CLI_IF" -w "$capture" \
  udp port 68 2>"$T95_ROOT/clients/tcpdump.err" &
dump=$!
T95_PIDS+=("$dump")
check "capture is listening" wait_until 100 grep -q listening "$T95_ROOT/clients/tcpdump.err"
kill -USR1 "$T95_UDHCPC"
check "udhcpc renewed" wait_until 100 grep -q '^renew' "$T95_ROOT/clients/udhcpc.log"
# The capture is written packet by packet, but tcpdump may take the answer from the kernel after
# udhcpc has: read the file until it holds it, then stop the capture.
answer_captured() { tcpdump -n -r "$capture" 2>/dev/null | grep -q "192.0.2.1.67 > $ip_u.68"; }
check "renewal answered to the client's address" wait_until 50 answer_captured
kill -INT "$dump"
wait "$dump" 2>/dev/null

kill -USR2 "$T95_UDHCPC"  # release
check "udhcpc release frees the entry" wait_until 50 freed "$ip_u"
kill -TERM "$T95_UDHCPC"
wait "$T95_UDHCPC" 2>/dev/null

# --- ISC dhclient
set_mac 02:00:00:00:95:02
ip -n "$NETNS_CLI" addr flush dev "$NETNS_CLI_IF"
check "dhclient is bound" t95_dhclient "$NETNS_CLI" "$NETNS_CLI_IF" dhclient
ip_d=$(t95_client_value dhclient ip)
check "dhclient address from the pool" t95_in_pool "$ip_d"
check "dhclient mask" t95_eq "$(t95_client_value dhclient mask)" 255.255.255.0
check "dhclient router" t95_eq "$(t95_client_value dhclient routers)" 192.0.2.1
check "dhclient DNS" t95_eq "$(t95_client_value dhclient dns)" 192.0.2.1
check "dhclient address applied" on_interface "$ip_d"
check "dhclient release" t95_dhclient_release "$NETNS_CLI" "$NETNS_CLI_IF" dhclient
check "dhclient release frees the entry" wait_until 50 freed "$ip_d"

# --- dhcpcd identified by its hardware address
set_mac 02:00:00:00:95:03
ip -n "$NETNS_CLI" addr flush dev "$NETNS_CLI_IF"
check "dhcpcd --clientid is bound" t95_dhcpcd "$NETNS_CLI" "$NETNS_CLI_IF" dhcpcd 15 clientid --clientid
ip_c=$(t95_client_value dhcpcd ip)
check "dhcpcd address from the pool" t95_in_pool "$ip_c"
check "dhcpcd mask" t95_eq "$(t95_client_value dhcpcd mask)" 255.255.255.0
check "dhcpcd router" t95_eq "$(t95_client_value dhcpcd routers)" 192.0.2.1
check "dhcpcd DNS" t95_eq "$(t95_client_value dhcpcd dns)" 192.0.2.1
check "dhcpcd address applied" on_interface "$ip_c"

# --- dhcpcd with a DUID is refused; the server goes on serving others
set_mac 02:00:00:00:95:04
ip -n "$NETNS_CLI" addr flush dev "$NETNS_CLI_IF"
t95_dhcpcd "$NETNS_CLI" "$NETNS_CLI_IF" duid 5 duid
check "dhcpcd did ask, with a DUID" bash -c "grep -q soliciting '$T95_ROOT/clients/duid.out' && test -s '$T95_ROOT/clients/duid.db/duid'"
check "dhcpcd with a DUID gets no lease" bash -c "! grep -q '^BOUND' '$T95_ROOT/clients/duid.log'"
check "no entry for the DUID client" bash -c "! '$T95_TOOLS/tamrix-leases' | grep -q 020000009504"
set_mac 02:00:00:00:95:05
check "the next client is served" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" after
check "its address is from the pool" t95_in_pool "$(t95_client_value after ip)"

check "server still runs" t95_window_up
check "server stops on close" t95_close
t95_finish
