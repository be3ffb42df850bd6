#!/usr/bin/env bash
# The operator's view of TAMRIXs.exe through its operator endpoint, read by the driver program:
# the pool's use follows the lease table as udhcpc clients bind and release; a DUID client and a
# client the client list leaves out are reported with their reasons; a lease reserved while the
# server runs comes back to its client after a release, and is in TAMRIX.db after the stop.
set -u
DRIVER=${1:?usage: t95_operator_test.sh OPERATOR-DRIVER}
. "$(dirname "$0")/tamrix95_lib.sh"

# t95_init's steps, with this test's own namespace prefix.
[ "$(id -u)" = 0 ] || t95_skip "needs root"
for tool in ip unshare timeout busybox; do
  command -v "$tool" >/dev/null || t95_skip "needs $tool"
done
[ -x "$T95_BIN/TAMRIXs.exe" ] || t95_skip "no $T95_BIN/TAMRIXs.exe"
T95_ROOT=$(mktemp -d /tmp/tamrix-ops-XXXXXX)
export TAMRIX_SYSROOT=$T95_ROOT
mkdir -p "$T95_ROOT/var/lib/tamrix" "$T95_ROOT/clients"
trap 't95_cleanup' EXIT
trap 'exit 1' INT TERM
netns_setup "tx-ops$$" 2>/dev/null || t95_skip "cannot create network namespaces"

ops() { timeout 20 "$DRIVER" "$@"; }
set_mac() { ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address "$1"; }
hex_of() { printf '%02X%02X%02X%02X' ${1//./ }; }

# The report's pool line against the lease table read through the shared block; an entry the
# administrator disabled or a conflict marked is held as reserved under its special name.
usage_is() {
  local pool table
  pool=$(ops report | awk '$1 == "pool" {print $2, $3, $4, $5, $6}')
  table=$(t95_leases --all | awk 'NR > 1 {
      disabled = $2 == "reserved" && ($4 == "<無効>" || $4 == "<競合検出>")
      n[disabled ? "disabled" : $2]++
    } END {
      printf "%d %d %d %d %d", n["bound"] + n["grace"], n["offered"], n["reserved"], n["disabled"],
        n["free"]
    }')
  [ "$pool" = "$table" ] && [ "$pool" = "$1" ]
}
# udhcpc that asks twice and gives up, leaving the interface alone (another client's address
# stays on it for that client's release).
asks_unserved() {
  local tag=$1
  shift
  timeout 20 ip netns exec "$NETNS_CLI" busybox udhcpc -f -q -n -t 2 -T 1 -i "$NETNS_CLI_IF" \
    -s /bin/true -p "$T95_ROOT/clients/$tag.pid" "$@" >>"$T95_ROOT/clients/$tag.out" 2>&1
}
refused() { ops report | grep -q "^refusal $1 $2 "; }

t95_settings
check "server starts" t95_start || t95_finish
check "an empty pool in the report and the table" usage_is "0 0 0 0 51"

# --- an identifier of 19 bytes (a DUID) is not served, and is reported as too long
duid=FF0000000100010002030405060708090A0B0C
set_mac 02:00:00:00:0a:0d
asks_unserved duid -x "0x3d:$duid"
check "the DUID client is reported too long" wait_until 30 refused 3 "FF:${duid:2:32}"
check "and counted" bash -c "'$DRIVER' report | grep -qx 'count 3 [1-9][0-9]*'"

# --- usage follows binding and release
set_mac 02:00:00:00:0a:0b
check "udhcpc B is bound" t95_udhcpc_start "$NETNS_CLI" "$NETNS_CLI_IF" b
udhcpc_b=$T95_UDHCPC
check "B's lease in the report and the table" wait_until 30 usage_is "1 0 0 0 50"
kill -USR2 "$udhcpc_b"
check "B's release in the report and the table" wait_until 50 usage_is "0 0 0 0 51"
kill -TERM "$udhcpc_b"
wait "$udhcpc_b" 2>/dev/null

set_mac 02:00:00:00:0a:0a
check "udhcpc A is bound" t95_udhcpc_start "$NETNS_CLI" "$NETNS_CLI_IF" a -R
udhcpc_a=$T95_UDHCPC
ip_a=$(t95_client_value a ip)
check "A's lease in the report and the table" wait_until 30 usage_is "1 0 0 0 50"

# --- A's lease reserved with one click while the server runs; A releases and asks again
check "A's lease is reserved" ops reserve "$ip_a" 01:020000000A0A ops-a
check "the reservation in the report and the table" wait_until 30 usage_is "0 0 1 0 50"
kill -TERM "$udhcpc_a"  # -R: it releases on the way out
check "A has ended" wait_until 50 t95_gone "$udhcpc_a"
wait "$udhcpc_a" 2>/dev/null
check "with a release" grep -q "unicasting a release" "$T95_ROOT/clients/a.out"
check "A asking again is bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" again
check "to its reserved address" t95_eq "$(t95_client_value again ip)" "$ip_a"
# The server handles the release before the new request: a release that had freed the entry
# would leave it bound now.
check "the reservation outlived the release" t95_eq "$(t95_lease_state "$ip_a")" reserved

check "server stops on close" t95_close
check "no report once stopped" bash -c "! '$DRIVER' report"
reservation="^$(hex_of "$ip_a"),07,01,02,00,00,00,0A,0A,20000000,[0-9A-F]*,ops-a"
check "TAMRIX.db holds the reservation" grep -q "$reservation" "$T95_ROOT/var/lib/tamrix/TAMRIX.db"

# --- with the client list on, a client not on it is reported so
t95_settings CheckClient=1
printf '07,01,02,00,00,00,0A,0A,ops-a\r\n' >"$T95_ROOT/var/lib/tamrix/TAMRIX.db2"
check "server starts with the client list" t95_start || t95_finish
set_mac 02:00:00:00:0a:0c
asks_unserved listed-out
check "the unlisted client is reported" wait_until 30 refused 1 01:020000000A0C
check "server stops again" t95_close
t95_finish
