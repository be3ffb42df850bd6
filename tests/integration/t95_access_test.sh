#!/usr/bin/env bash
# Only root and the operator group may touch a running TAMRIXs.exe. An account outside the group
# cannot stop it, read or release its leases, crash it through /dev/shm or keep it from starting
# by holding a lock: each try is refused at once, and the server keeps serving. An account in the
# group reads and releases leases without root. Makes throw-away accounts (and the group, when
# the machine lacks it) and removes them on every path; its own namespaces (tamrix95_lib.sh).
set -uo pipefail
here=$(dirname "$0")
. "$here/tamrix95_lib.sh"
. "$here/accounts_lib.sh"
t95_init access
trap 't95_cleanup; accounts_cleanup' EXIT
accounts_setup a
chmod 0755 "$T95_ROOT"  # the machine's root is open to all, as / is

outsider() { as_account "$ACCOUNT_OUTSIDER" timeout 20 "$@" >>"$T95_ROOT/outsider.log" 2>&1; }
member() { as_account "$ACCOUNT_MEMBER" timeout 20 "$@"; }
refused() { ! outsider "$@"; }
serving() { t95_alive "$T95_SERVER" && t95_leases >/dev/null; }
objects=(/dev/shm/tamrix-"$(t95_root_digest "$T95_ROOT")"-*)

t95_settings
check "server starts" t95_start || t95_finish
check "a client is bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" one
ip_one=$(t95_client_value one ip)
client_one=$(t95_lease_row "$ip_one" | awk '{print $NF}')
objects=(/dev/shm/tamrix-"$(t95_root_digest "$T95_ROOT")"-*)
check "the shared block's four objects exist" t95_eq "${#objects[@]}" 4

check "outsider: WM_CLOSE is refused" refused "$T95_TOOLS/tamrix-window" close
check "outsider: the lease table cannot be read" refused "$T95_TOOLS/tamrix-leases"
check "outsider: a lease cannot be released" refused "$T95_TOOLS/tamrix-leases" release \
  "$ip_one" "$client_one"
for object in "${objects[@]}"; do
  check "outsider: ${object##*-} cannot be cut short" refused truncate -s0 "$object"
done
check "outsider: the window's lock cannot be held" refused \
  flock -n "$T95_ROOT"/run/tamrix/window-*.lock true
check "outsider: the data folder cannot be read" refused cat "$T95_ROOT/var/lib/tamrix/TAMRIX.ini"
check "the server still serves" serving
check "the lease is still bound" t95_eq "$(t95_lease_state "$ip_one")" bound

check "member: the lease table is read without root" member "$T95_TOOLS/tamrix-leases"
check "member: the lease is released without root" member "$T95_TOOLS/tamrix-leases" release \
  "$ip_one" "$client_one"
check "the server freed it" t95_eq "$(t95_lease_state "$ip_one")" free

check "a stop by root still works" t95_close
check "and a new start" t95_start
check "a new client is served" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" two
t95_finish
