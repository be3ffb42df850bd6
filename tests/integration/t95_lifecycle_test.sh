#!/usr/bin/env bash
# The life of TAMRIXs.exe: refused settings or a taken port end it at once; a second launch says so and leaves
# the first serving; another process snapshots and releases through the shared block, also while
# a client is being served; WM_CLOSE and SIGTERM each write TAMRIX.db, a hang-up (log-off) does
# not stop it, and after a restart the same client gets the same address.
set -u
. "$(dirname "$0")/tamrix95_lib.sh"
t95_init life

set_mac() { ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address "$1"; }
db_file=$T95_ROOT/var/lib/tamrix/TAMRIX.db
hex_of() { printf '%02X%02X%02X%02X' ${1//./ }; }
db_has() { grep -q "^$(hex_of "$1"),.*,80000000," "$db_file"; }

# --- a pool of more than 256 addresses is refused: exit 1 at once, saying why, no window, no
# database
t95_settings EndIPAddr=192.0.3.100
start=$SECONDS
timeout 20 ip netns exec "$NETNS_SRV" "$T95_BIN/TAMRIXs.exe" >"$T95_ROOT/refused.log" 2>&1
rc=$?
check "refused settings: exit code 1" t95_eq "$rc" 1
check "refused settings: ends at once" test $((SECONDS - start)) -le 3
check "refused settings: no window left" bash -c "! '$T95_TOOLS/tamrix-window' find"
check "refused settings: says which" grep -q \
  "cannot start: settings refused: the pool StartIPAddr .* to EndIPAddr \"192.0.3.100\" must hold 1 to 256" \
  "$T95_ROOT/refused.log"
check "refused settings: no database written" test ! -e "$db_file"
check "refused settings: no block left" bash -c "! '$T95_TOOLS/tamrix-leases' 2>/dev/null"

# --- port 67 held by another program: exit 1 at once, saying why, with no window
t95_settings
# The holder lives until it is killed below (or the bound runs out), however slow the launch.
ip netns exec "$NETNS_SRV" python3 -c '
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 67))
time.sleep(60)' &
holder=$!
T95_PIDS+=("$holder")
if check "port taken: the other program has bound it" wait_until 100 t95_port_bound; then
  busy=$(in_server timeout 20 "$T95_BIN/TAMRIXs.exe" 2>&1)
  rc=$?
  check "port taken: exit code 1" t95_eq "$rc" 1
  check "port taken: says why" grep -q "UDP port 67" <<<"$busy"
  check "port taken: no window left" bash -c "! '$T95_TOOLS/tamrix-window' find"
fi
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

# --- serving, single instance
t95_settings
check "server starts" t95_start || t95_finish
# Had the hang-up been fatal, every thread would have been condemned before kill returned: a
# snapshot answered afterwards shows it was ignored, without giving it time to act.
serves_after_hangup() { t95_leases >/dev/null && t95_alive "$T95_SERVER"; }
kill -HUP "$T95_SERVER"
check "a hang-up (log-off) leaves it running" serves_after_hangup
set_mac 02:00:00:00:95:41
check "first client bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" one
ip_one=$(t95_client_value one ip)

second=$(in_server timeout 20 "$T95_BIN/TAMRIXs.exe" 2>&1)
rc=$?
check "second launch exits 0" t95_eq "$rc" 0
check "second launch says so" t95_eq "$second" "TAMRIXsは既に起動されています"
check "the first still runs" t95_alive "$T95_SERVER"
set_mac 02:00:00:00:95:42
check "the first keeps serving" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" two
ip_two=$(t95_client_value two ip)

# --- snapshots through the block while a client is served, then a release
set_mac 02:00:00:00:95:43
(
  ok=0
  for _ in $(seq 40); do
    "$T95_TOOLS/tamrix-leases" >/dev/null 2>&1 && ok=$((ok + 1))
    sleep 0.05
  done
  echo "$ok" >"$T95_ROOT/snapshots"
) &
snapper=$!
check "client bound during snapshots" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" three
wait "$snapper"
check "every snapshot answered" t95_eq "$(cat "$T95_ROOT/snapshots")" 40
ip_three=$(t95_client_value three ip)
check "snapshot lists the three clients bound" t95_eq \
  "$(t95_lease_state "$ip_one") $(t95_lease_state "$ip_two") $(t95_lease_state "$ip_three")" \
  "bound bound bound"
check "release by another client is refused" bash -c \
  "! '$T95_TOOLS/tamrix-leases' release $ip_one 01:020000009599 2>/dev/null"
check "release through the block" "$T95_TOOLS/tamrix-leases" release "$ip_one" 01:020000009541
check "the released entry is free" t95_eq "$(t95_lease_state "$ip_one")" free

# --- WM_CLOSE writes the database; a restart gives the same client its address again
check "stop by WM_CLOSE exits 0" t95_close
check "window gone after close" bash -c "! '$T95_TOOLS/tamrix-window' find"
check "WM_CLOSE wrote TAMRIX.db" db_has "$ip_two"
check "the released entry is not kept" bash -c "! grep -q '^$(hex_of "$ip_one"),.*,80000000,' '$db_file'"
check "server restarts" t95_start || t95_finish
set_mac 02:00:00:00:95:42
check "same client served again" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" two-again
check "same client gets the same address" t95_eq "$(t95_client_value two-again ip)" "$ip_two"

# --- SIGTERM (shutdown) writes the database too
rm -f "$db_file"
check "stop by SIGTERM exits 0" t95_term
check "SIGTERM wrote TAMRIX.db" db_has "$ip_three"
check "window gone after SIGTERM" bash -c "! '$T95_TOOLS/tamrix-window' find"
t95_finish
