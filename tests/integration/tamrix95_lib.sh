# Shared pieces of the background-server tests: a machine root, namespaces, the server and real
# DHCP clients, each with its own lease, pid and script files inside the test's root. Source it.
# Nothing here sends in the machine's own network namespace.
#
#   t95_init NAME                 root check (exit 77), namespaces, temporary machine root, traps
#   t95_settings [KEY=VALUE...]   writes TAMRIX.ini: the test pool and any extra keys
#   t95_start / t95_close / t95_term    run and stop TAMRIXs.exe in the server namespace
#   t95_leases [ARGS]             the lease table as another process reads it through the block
#   t95_udhcpc TAG [ARGS]         busybox udhcpc in the client namespace (see below)
#   check NAME CMD...             records ok/FAIL; t95_finish exits with the verdict

T95_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
T95_BIN=${TAMRIX_BIN:?TAMRIX_BIN names the folder with TAMRIXs.exe}
T95_TOOLS=${TAMRIX_TOOLS:?TAMRIX_TOOLS names the folder with tamrix-leases and tamrix-window}
T95_FAILURES=0
T95_PIDS=()

# shellcheck source=netns_lib.sh
. "$T95_HERE/netns_lib.sh"

t95_skip() {
  echo "SKIP: $*"
  exit 77
}

t95_init() {
  local name=$1
  [ "$(id -u)" = 0 ] || t95_skip "needs root"
  local tool
  for tool in ip unshare timeout; do command -v "$tool" >/dev/null || t95_skip "needs $tool"; done
  [ -x "$T95_BIN/TAMRIXs.exe" ] || t95_skip "no $T95_BIN/TAMRIXs.exe"
  T95_ROOT=$(mktemp -d "/tmp/tamrix-$name-XXXXXX")
  export TAMRIX_SYSROOT=$T95_ROOT
  mkdir -p "$T95_ROOT/var/lib/tamrix" "$T95_ROOT/clients"
  trap 't95_cleanup' EXIT
  trap 'exit 1' INT TERM
  # Interface names are cut to 10 characters: keep the unique part short.
  netns_setup "${name:0:4}$$" 2>/dev/null || t95_skip "cannot create network namespaces"
}

t95_cleanup() {
  local pid
  for pid in "${T95_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null; done
  netns_cleanup
  if [ -n "${T95_ROOT:-}" ]; then
    # The shared block of this root, should the server have been killed before removing it.
    rm -f "/dev/shm/tamrix-$(t95_root_digest "$T95_ROOT")-"* 2>/dev/null
    rm -rf "$T95_ROOT"
  fi
  return 0
}

# The digest that names a root's shared objects (64-bit FNV-1a of the root path, in hex).
t95_root_digest() {
  python3 -c '
import sys
h = 0xcbf29ce484222325
for c in sys.argv[1].encode():
    h = ((h ^ c) * 0x100000001b3) & (2**64 - 1)
print("%016x" % h)' "$1" 2>/dev/null
}

# Gives the check's own status, so that "check ... || t95_finish" stops at a failed step.
check() {
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    T95_FAILURES=$((T95_FAILURES + 1))
    return 1
  fi
}

t95_finish() {
  if [ "$T95_FAILURES" != 0 ]; then
    echo "--- server output"
    cat "$T95_ROOT/server.log" 2>/dev/null
    echo "--- $T95_FAILURES failed"
    exit 1
  fi
  exit 0
}

# A pool of 51 addresses on the test segment, mask, router, DNS and domain, then extra keys.
t95_settings() {
  {
    printf '[TAMRIX]\r\n'
    printf 'StartIPAddr=192.0.2.100\r\nEndIPAddr=192.0.2.150\r\nSubnetMask=255.255.255.0\r\n'
    printf 'Gateway=192.0.2.1\r\nDNSAddr1=192.0.2.1\r\nDomainName=test.example\r\n'
    printf 'LeaseTime=3600\r\n'
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } >"$T95_ROOT/var/lib/tamrix/TAMRIX.ini"
}

t95_window_up() { "$T95_TOOLS/tamrix-window" find; }

# True once some socket is bound to UDP port 67 in namespace NS (the server's by default).
t95_port_bound() { ip netns exec "${1:-$NETNS_SRV}" ss -Hlun 'sport = :67' | grep -q .; }

# True while PID runs (a zombie counts as ended).
t95_alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

t95_gone() { ! t95_alive "$1"; }

# Starts the server in the background and waits until it serves; T95_SERVER is its pid. The
# window comes first and the engine binds port 67 only from its creation, so wait for both.
# The server namespace's own host name as in_server gives it; exec so that $! is the server.
t95_start() {
  {
    exec ip netns exec "$NETNS_SRV" unshare --uts sh -c 'hostname "$0"; exec "$@"' \
      "$NETNS_HOSTNAME" "$T95_BIN/TAMRIXs.exe"
  } >>"$T95_ROOT/server.log" 2>&1 &
  T95_SERVER=$!
  T95_PIDS+=("$T95_SERVER")
  wait_until 100 t95_window_up && wait_until 100 t95_port_bound
}

# Waits (bounded) for the server to end and gives its exit code.
t95_reap() {
  local pid=${1:-$T95_SERVER}
  wait_until 150 t95_gone "$pid" || return 1
  wait "$pid"
}

t95_close() { timeout 60 "$T95_TOOLS/tamrix-window" close && t95_reap; }
t95_term() { kill -TERM "$T95_SERVER" && t95_reap; }

t95_leases() { timeout 20 "$T95_TOOLS/tamrix-leases" "$@"; }

# The row of ADDRESS in the lease table, if any.
t95_lease_row() { t95_leases --all | awk -v a="$1" '$1 == a'; }
t95_lease_state() { t95_lease_row "$1" | awk '{print $2}'; }
t95_db() { cat "$T95_ROOT/var/lib/tamrix/TAMRIX.db" 2>/dev/null; }

# busybox udhcpc with a script of its own that records each event and applies the lease:
#   $T95_ROOT/clients/TAG.log   one line per event: EVENT ip= subnet= router= dns= domain= serverid=
t95_udhcpc_script() {
  local tag=$1 script=$T95_ROOT/clients/$1.sh
  cat >"$script" <<SCRIPT
#!/bin/sh
echo "\$1 ip=\$ip subnet=\$subnet router=\$router dns=\$dns domain=\$domain serverid=\$serverid" >>"$T95_ROOT/clients/$tag.log"
case "\$1" in
  bound|renew) ip addr flush dev "\$interface"; ip addr add "\$ip/\$mask" dev "\$interface" ;;
  deconfig) ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
  chmod +x "$script"
  echo "$script"
}

# Runs udhcpc on INTERFACE in namespace NS in the foreground (bounded), extra ARGS passed on.
t95_udhcpc_once() {
  local ns=$1 ifname=$2 tag=$3
  shift 3
  local script
  script=$(t95_udhcpc_script "$tag")
  timeout 30 ip netns exec "$ns" busybox udhcpc -f -q -n -t 5 -T 1 -i "$ifname" -s "$script" \
    -p "$T95_ROOT/clients/$tag.pid" "$@" >>"$T95_ROOT/clients/$tag.out" 2>&1
}

# Starts udhcpc in the background (it keeps its lease and renews); T95_UDHCPC is its pid.
t95_udhcpc_start() {
  local ns=$1 ifname=$2 tag=$3
  shift 3
  local script
  script=$(t95_udhcpc_script "$tag")
  ip netns exec "$ns" busybox udhcpc -f -t 5 -T 1 -i "$ifname" -s "$script" \
    -p "$T95_ROOT/clients/$tag.pid" "$@" >>"$T95_ROOT/clients/$tag.out" 2>&1 &
  T95_UDHCPC=$!
  T95_PIDS+=("$T95_UDHCPC")
  wait_until 150 grep -q '^bound' "$T95_ROOT/clients/$tag.log" 2>/dev/null
}

# The last recorded value KEY of client TAG's events.
t95_client_value() {
  grep -o "$2=[^ ]*" "$T95_ROOT/clients/$1.log" 2>/dev/null | tail -1 | cut -d= -f2-
}

t95_in_pool() {
  local last=${1##*.}
  [ "${1%.*}" = 192.0.2 ] && [ "$last" -ge 100 ] && [ "$last" -le 150 ]
}

t95_eq() { [ "$1" = "$2" ] || { echo "     got '$1', want '$2'"; return 1; }; }

# A hook script for dhclient and dhcpcd, which call it with a cleared environment: the record
# path is written into the script itself. Records REASON ip= mask= routers= dns= domain=.
t95_hook_script() {
  local tag=$1 script=$T95_ROOT/clients/$1.sh
  cat >"$script" <<SCRIPT
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
echo "\$reason ip=\$new_ip_address mask=\$new_subnet_mask routers=\$new_routers dns=\$new_domain_name_servers domain=\$new_domain_name" >>"$T95_ROOT/clients/$tag.log"
case "\$reason" in
  BOUND|RENEW|REBIND|REBOOT)
    [ -n "\$T95_APPLY" ] || exit 0
    ip addr flush dev "\$interface"
    ip addr add "\$new_ip_address/\$new_subnet_mask" dev "\$interface" ;;
  EXPIRE|FAIL|RELEASE|STOP)
    [ -n "\$T95_APPLY" ] && ip addr flush dev "\$interface" ;;
esac
exit 0
SCRIPT
  chmod +x "$script"
  echo "$script"
}

# ISC dhclient on INTERFACE in namespace NS; it forks once bound and writes its pid file after
# the fork, so the pid is read only when the file has appeared.
t95_dhclient() {
  local ns=$1 ifname=$2 tag=$3 script dir=$T95_ROOT/clients
  script=$(t95_hook_script "$tag")
  sed -i 's/\[ -n "\$T95_APPLY" \]/true/' "$script"
  printf 'timeout 20;\nretry 1;\nrequest subnet-mask, routers, domain-name-servers, domain-name;\n' \
    >"$dir/$tag.conf"
  timeout 30 ip netns exec "$ns" dhclient -4 -1 -v -sf "$script" -lf "$dir/$tag.leases" \
    -pf "$dir/$tag.pid" -cf "$dir/$tag.conf" "$ifname" >>"$dir/$tag.out" 2>&1 || return 1
  wait_until 50 test -s "$dir/$tag.pid" || return 1
  T95_PIDS+=("$(cat "$dir/$tag.pid")")
}

t95_dhclient_release() {
  local ns=$1 ifname=$2 tag=$3 dir=$T95_ROOT/clients
  timeout 30 ip netns exec "$ns" dhclient -4 -r -v -sf "$dir/$tag.sh" -lf "$dir/$tag.leases" \
    -pf "$dir/$tag.pid" -cf "$dir/$tag.conf" "$ifname" >>"$dir/$tag.out" 2>&1
}

# dhcpcd once in the foreground; its database and run folders are the test's own (mounted over
# the machine's in the namespace's private mount table). IDENTITY is "clientid" (the hardware
# address) or "duid" (what the distribution's configuration asks for: 19 bytes or more).
t95_dhcpcd() {
  local ns=$1 ifname=$2 tag=$3 secs=$4 identity=$5 script dir=$T95_ROOT/clients
  shift 5
  script=$(t95_hook_script "$tag")
  mkdir -p "$dir/$tag.db" "$dir/$tag.run"
  printf '%s\noption domain_name_servers, domain_name, subnet_mask, routers\nnoipv4ll\nnoarp\n' \
    "$identity" >"$dir/$tag.conf"
  timeout $((secs + 10)) ip netns exec "$ns" sh -c '
    mount --bind "$1" /var/lib/dhcpcd && mount -t tmpfs tmpfs /run && mkdir -p /run/dhcpcd &&
    mount --bind "$2" /run/dhcpcd && shift 2 && exec dhcpcd "$@"' sh "$dir/$tag.db" "$dir/$tag.run" \
    -4 -B -1 -t "$secs" -f "$dir/$tag.conf" -c "$script" "$@" "$ifname" >>"$dir/$tag.out" 2>&1
}
