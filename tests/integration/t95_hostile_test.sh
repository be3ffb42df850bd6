#!/usr/bin/env bash
# Forged requests from a machine on the client segment. DHCPDECLINEs from made-up clients, for a
# bound client's address and for a free one, set nothing aside (not in the table, not in
# TAMRIX.db), are named in the server's output, and the holder still renews. DISCOVERs whose
# giaddr no relay agent can have, or that names the server itself, get no answer and hold no
# address, while an ordinary relay address is still answered.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/tamrix95_lib.sh"
t95_init hostile
command -v python3 >/dev/null || t95_skip "needs python3"
command -v busybox >/dev/null || t95_skip "needs busybox"
t95_settings
check "server starts" t95_start || t95_finish

send() { timeout 20 ip netns exec "$NETNS_CLI" python3 "$here/t95_hostile_sender.py" "$@"; }
said() {
  grep -q "ignored DHCPDECLINE of $1 from $2, which does not hold it" "$T95_ROOT/server.log"
}
# TABLE gets the whole lease table; a table that cannot be read fails the checks that use it.
read_table() { table=$(t95_leases --all) && grep -q '^address' <<<"$table"; }
no_marks() { read_table && test -z "$(awk '$2 == "reserved"' <<<"$table")"; }
renewals() { grep -c '^renew' "$T95_ROOT/clients/holder.log"; }
renewed_since() { [ "$(renewals)" -gt "$1" ]; }

ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address 02:00:00:00:95:51
check "holder is bound" t95_udhcpc_start "$NETNS_CLI" "$NETNS_CLI_IF" holder || t95_finish
held=$(t95_client_value holder ip)
free=192.0.2.150
check "holder's address from the pool" t95_in_pool "$held" || t95_finish
[ "$held" != "$free" ] || free=192.0.2.149

# --- DECLINEs from made-up clients, three for each address
n=0
for address in "$held" "$free"; do
  for _ in 1 2 3; do
    n=$((n + 1))
    check "forged DECLINE $n of $address sent" send decline 192.0.2.1 "02:00:00:00:95:7$n" \
      "$address"
    # The warning is also the sign that the server has dealt with it.
    check "  ignored and named" wait_until 50 said "$address" "01:02000000957$n"
  done
done
check "no address is set aside" no_marks
check "the holder's entry is still its own" \
  grep -q "bound.*01:020000009551" <<<"$(t95_lease_row "$held")"
check "the free address is still free" t95_eq "$(t95_lease_state "$free")" free
before=$(renewals)
kill -USR1 "$T95_UDHCPC"
check "the holder renews" wait_until 100 renewed_since "$before"
check "  and keeps its address" t95_eq "$(t95_client_value holder ip)" "$held"

# --- DISCOVERs with implausible relay addresses. A broadcast answer would reach the sender's
# port 67; the others' absence shows in the table, read once a later request has been answered
# (the server takes requests one after another).
k=0
for giaddr in 0.0.0.1 127.0.0.1 224.0.0.1 240.0.0.1 255.255.255.255 192.0.2.1; do
  k=$((k + 1))
  out=$(send discover 192.0.2.1 "02:00:00:00:95:6$k" "$giaddr" 1)
  check "giaddr $giaddr is not answered" t95_eq "$out" "no answer"
done
out=$(send discover 192.0.2.1 02:00:00:00:95:69 "$held" 5)
echo "     $out"
check "an ordinary relay address is answered there" grep -q "^from=192.0.2.1:67 .* giaddr=$held" \
  <<<"$out"
check "the table is read" read_table
check "nothing is held for the implausible relays" \
  test -z "$(grep '01:02000000956[1-6]' <<<"$table")"
check "the ordinary relay's client holds an offer" grep -q 'offered.*01:020000009569' <<<"$table"

kill -TERM "$T95_UDHCPC" 2>/dev/null
wait_until 50 t95_gone "$T95_UDHCPC"
check "server stops on close" t95_close
IFS=. read -r a b c d <<<"$held"
held_hex=$(printf '%02X%02X%02X%02X' "$a" "$b" "$c" "$d")
check "TAMRIX.db keeps the holder bound" grep -q "^$held_hex,07,01,02,00,00,00,95,51,80000000," \
  <(t95_db)
# The host name of a mark, <競合検出> as the database keeps it (code page 932).
check "TAMRIX.db holds no mark" test -z "$(t95_db | LC_ALL=C grep $'\x8b\xa3\x8d\x87\x8c\x9f')"
t95_finish
