#!/usr/bin/env bash
# TAMRIXs.exe killed with SIGKILL at random moments while clients are served: after every
# restart each client that was acknowledged still holds its address in the server's table, and a
# new client is never given one of them. Then a lease database with a byte-order mark, and one
# that is not a lease database at all, survive a start and a stop. Needs root; makes its own
# namespaces (tamrix95_lib.sh).
set -uo pipefail
. "$(dirname "$0")/tamrix95_lib.sh"
t95_init crash

rounds=${TAMRIX_CRASH_ROUNDS:-100}
db=$T95_ROOT/var/lib/tamrix/TAMRIX.db
set_mac() { ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address "$1"; }
mac_of() { printf '02:00:00:00:%02x:%02x' $(($1 / 256)) $(($1 % 256)); }
client_id_of() { printf '01:%s' "$(tr -d : <<<"$1" | tr a-f A-F)"; }

# Every acknowledged client as "ADDRESS CLIENT-ID", one a line.
acked=$T95_ROOT/acknowledged
: >"$acked"

# Each acknowledged address is held, in the table another process reads, by its own client.
all_held() {
  local table address client
  table=$(t95_leases) || return 1
  while read -r address client; do
    awk -v a="$address" -v c="$client" '$1 == a && $NF == c && $2 != "free" {found=1} END {exit !found}' \
      <<<"$table" || { echo "     $address of $client is lost"; return 1; }
  done <"$acked"
}

t95_settings StartIPAddr=192.0.2.20 EndIPAddr=192.0.2.250
check "server starts" t95_start || t95_finish
for ((round = 1; round <= rounds; round++)); do
  mac=$(mac_of "$round")
  set_mac "$mac"
  tag=c$round
  script=$(t95_udhcpc_script "$tag")
  ip netns exec "$NETNS_CLI" busybox udhcpc -f -q -n -t 3 -T 1 -i "$NETNS_CLI_IF" -s "$script" \
    -p "$T95_ROOT/clients/$tag.pid" >>"$T95_ROOT/clients/$tag.out" 2>&1 &
  client=$!
  T95_PIDS+=("$client")
  # The kill lands anywhere from before the DISCOVER to after the ACK.
  sleep "0.$(printf "%03d" $((RANDOM % 60)))"
  kill -9 "$T95_SERVER"
  t95_reap >/dev/null
  kill -9 "$client" 2>/dev/null
  wait "$client" 2>/dev/null
  if grep -q '^bound' "$T95_ROOT/clients/$tag.log" 2>/dev/null; then
    echo "$(t95_client_value "$tag" ip) $(client_id_of "$mac")" >>"$acked"
  fi
  t95_start || { check "round $round: restart after the kill" false; t95_finish; }
  all_held >"$T95_ROOT/held.out" || {
    check "round $round: every acknowledged lease survives" false
    cat "$T95_ROOT/held.out"
    t95_finish
  }
done
check "$rounds kills, $(wc -l <"$acked") acknowledged leases, none lost" true
check "a fifth of the rounds or more acknowledged a lease" test "$(wc -l <"$acked")" -ge $((rounds / 5))

set_mac "$(mac_of 4000)"
check "a new client is bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" newcomer
new_ip=$(t95_client_value newcomer ip)
check "and given no address a PC still holds" bash -c "! grep -q '^$new_ip ' '$acked'"
check "clean stop" t95_close
check "the stop folds the journal into TAMRIX.db" test ! -e "${db%.db}.jnl"

# A lease database saved by an editor with a byte-order mark is read, and written back whole.
{ printf '\xef\xbb\xbf'; cat "$db"; } >"$db.new" && mv "$db.new" "$db"
check "start on a database with a byte-order mark" t95_start
check "its leases are there" all_held
check "stop" t95_close
check "they are written back" grep -q ',80000000,' "$db"

# A file that is not a lease database is moved aside, never overwritten.
printf 'this is not a lease database\r\n' >"$db"
check "start on an unreadable database" t95_start
check "stop" t95_close
check "its bytes are kept in TAMRIX.db.bad" t95_eq "$(cat "$db.bad")" "this is not a lease database"$'\r'
check "the move is said" grep -q "TAMRIX.db cannot be read; moved to $db.bad" "$T95_ROOT/server.log"
t95_finish
