#!/usr/bin/env bash
# TAMRIX in two minutes: builds the background server TAMRIXs.exe, runs it in a network
# namespace of its own with a sample settings file, lets a real DHCP client (busybox udhcpc) in a
# second namespace take a lease, shows the lease from both sides, stops the server through its
# window and shows the lease database it wrote. Run as root on Debian 12:
#
#   sudo ./scripts/demo.sh
#
# Everything happens inside two namespaces and a temporary folder that the script creates and
# removes again, whatever happens; nothing is sent on this machine's own network.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [ "$(id -u)" != 0 ]; then
  echo "demo: run as root (it creates network namespaces)" >&2
  exit 1
fi

step() { printf '\n== %s\n' "$*"; }

# --- what the demo needs, installed only when missing
./scripts/install-deps.sh --demo

# --- build only what the demo runs
step "building TAMRIXs.exe and its tools (optimised)"
build=$repo/build/demo
./scripts/build-demo.sh "$build"
bin=$build/dist
tools=$build/tools

# --- the stage: a temporary machine root and two namespaces, removed on every path
. "$repo/tests/integration/netns_lib.sh"
root=$(mktemp -d /tmp/tamrix-demo-XXXXXX)
export TAMRIX_SYSROOT=$root
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -9 "$server_pid" 2>/dev/null
    # A killed server leaves its shared block behind: the root's objects in /dev/shm.
    digest=$(python3 -c '
import sys
h = 0xcbf29ce484222325
for c in sys.argv[1].encode():
    h = ((h ^ c) * 0x100000001b3) & (2**64 - 1)
print("%016x" % h)' "$root" 2>/dev/null) && rm -f "/dev/shm/tamrix-$digest-"*
  fi
  netns_cleanup
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
netns_setup "tdemo$$"

step "settings: $root/var/lib/tamrix/TAMRIX.ini"
mkdir -p "$root/var/lib/tamrix"
printf '[TAMRIX]\r\nStartIPAddr=192.0.2.100\r\nEndIPAddr=192.0.2.150\r\nSubnetMask=255.255.255.0\r\nGateway=192.0.2.1\r\nDNSAddr1=192.0.2.1\r\nDomainName=demo.example\r\nLeaseTime=3600\r\n' \
  >"$root/var/lib/tamrix/TAMRIX.ini"
tr -d '\r' <"$root/var/lib/tamrix/TAMRIX.ini"

step "starting TAMRIXs.exe in namespace $NETNS_SRV (host $NETNS_HOSTNAME = $NETNS_SERVER_ADDR)"
{
  exec ip netns exec "$NETNS_SRV" unshare --uts sh -c 'hostname "$0"; exec "$@"' \
    "$NETNS_HOSTNAME" "$bin/TAMRIXs.exe"
} >"$root/server.log" 2>&1 &
server_pid=$!
if ! wait_until 100 "$tools/tamrix-window" find; then
  echo "demo: the server did not come up:" >&2
  cat "$root/server.log" >&2
  exit 1
fi
echo "running, pid $server_pid; its window TAMRIXs_Class / TAMRIXs answers"

step "udhcpc in namespace $NETNS_CLI asks for a lease"
cat >"$root/udhcpc.sh" <<SCRIPT
#!/bin/sh
case "\$1" in
  bound|renew)
    ip addr flush dev "\$interface"
    ip addr add "\$ip/\$mask" dev "\$interface"
    [ -n "\$router" ] && ip route replace default via "\${router%% *}" dev "\$interface"
    echo "address \$ip  mask \$subnet  router \$router  DNS \$dns  domain \$domain  server \$serverid  lease \${lease}s" >"$root/lease.txt" ;;
esac
exit 0
SCRIPT
chmod +x "$root/udhcpc.sh"
timeout 30 ip netns exec "$NETNS_CLI" busybox udhcpc -f -q -n -t 5 -T 1 -x hostname:demo-pc \
  -i "$NETNS_CLI_IF" -s "$root/udhcpc.sh" -p "$root/udhcpc.pid"
echo "the client got: $(cat "$root/lease.txt")"
ip -n "$NETNS_CLI" -4 addr show dev "$NETNS_CLI_IF" | sed -n 's/^ *inet /on its interface: /p'

step "the server's lease table, read by another process through the shared block"
"$tools/tamrix-leases"

step "stopping the server: WM_CLOSE through its window (returns once TAMRIX.db is written)"
"$tools/tamrix-window" close
wait_until 100 sh -c "! kill -0 $server_pid 2>/dev/null || grep -q '^[^ ]* [^ ]* Z' /proc/$server_pid/stat"
wait "$server_pid" && echo "TAMRIXs.exe ended with exit code 0"
server_pid=

step "the lease database it wrote: $root/var/lib/tamrix/TAMRIX.db"
cat "$root/var/lib/tamrix/TAMRIX.db"
echo
echo "(first lines: pool start and end; then per entry: address, client id length and bytes, state, expiry, host name)"
