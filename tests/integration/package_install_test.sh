#!/usr/bin/env bash
# The Debian package on a clean Debian 12 root of its own (debootstrap, minbase; the bare root is
# cached as a tar file and unpacked afresh for every run), never on this machine's own system:
# apt installs it with its dependencies; the service is registered and the boot unit enabled;
# without a pool the boot starts nothing that serves; with one, TAMXNTs.exe started by
# tamrix-boot inside the root and a server namespace serves a real client; apt remove stops it
# and keeps the data; installing again keeps settings and leases, and the client gets its address
# back; apt purge leaves nothing of TAMRIX behind.
#   TAMRIX_PACKAGE        the .deb to test (skipped when absent)
#   TAMRIX_CHROOT_CACHE   folder for the bare root's tar file and apt's downloads
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/netns_lib.sh"

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root"
DEB=${TAMRIX_PACKAGE:-}
[ -f "$DEB" ] || skip "no package ${DEB:-(TAMRIX_PACKAGE unset)}; scripts/package.sh builds it"
for tool in debootstrap chroot ip unshare timeout busybox; do
  command -v "$tool" >/dev/null || skip "needs $tool"
done
CACHE=${TAMRIX_CHROOT_CACHE:-/var/cache/tamrix-package-test}
MIRROR=${TAMRIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}

WORK=$(mktemp -d /tmp/tamrix-pkg-XXXXXX)
ROOT=$WORK/root
FAILURES=0
MOUNTS=()

# Every process whose root is the test's root, then the mounts, the namespaces and the folder.
cleanup() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$ROOT" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  netns_cleanup
  local i
  for ((i = ${#MOUNTS[@]} - 1; i >= 0; i--)); do umount -l "${MOUNTS[i]}" 2>/dev/null; done
  rm -rf --one-file-system "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

check() {
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; FAILURES=$((FAILURES + 1)); return 1; fi
}
finish() {
  if [ "$FAILURES" != 0 ]; then
    echo "--- apt and boot output"
    tail -n 60 "$WORK/log"
    echo "--- $FAILURES failed"
    exit 1
  fi
  exit 0
}
eq() { [ "$1" = "$2" ] || { echo "     got '$1', want '$2'"; return 1; }; }

# --- a clean Debian 12 root
mkdir -p "$CACHE/archives/partial"
bare=$CACHE/bookworm-minbase.tar
started=$SECONDS
if [ ! -s "$bare" ]; then
  echo "making the bare Debian 12 root with debootstrap (once; cached in $bare)"
  timeout 900 debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 || {
    tail -n 20 "$WORK/debootstrap.log"
    echo "FAIL debootstrap"
    exit 1
  }
  chroot "$ROOT" apt-get clean
  tar -C "$ROOT" -cf "$bare.partial" . && mv "$bare.partial" "$bare"
else
  mkdir -p "$ROOT" && tar -C "$ROOT" -xf "$bare"
fi
echo "root ready in $((SECONDS - started)) s"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
# The server names itself in its answers: its host name must resolve inside the root.
printf '127.0.0.1\tlocalhost\n%s\t%s\n' "$NETNS_SERVER_ADDR" "$NETNS_HOSTNAME" >"$ROOT/etc/hosts"
mount_in() { mount "$@" && MOUNTS+=("${!#}"); }
mount_in -t proc proc "$ROOT/proc"
mount_in -t tmpfs -o mode=1777 shm "$ROOT/dev/shm"
mount_in --bind "$CACHE/archives" "$ROOT/var/cache/apt/archives"
cp "$DEB" "$ROOT/tmp/"
PKG=/tmp/$(basename "$DEB")

in_root() { chroot "$ROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
apt_in_root() { in_root timeout 600 apt-get -y -q --no-install-recommends "$@" >>"$WORK/log" 2>&1; }
netns_setup "pkg$$" 2>/dev/null || skip "cannot create network namespaces"
boot() { in_server chroot "$ROOT" timeout 60 /usr/sbin/tamrix-boot >>"$WORK/log" 2>&1; }

HIVE=$ROOT/var/lib/tamrix-registry/hive
DATA=$ROOT/var/lib/tamrix
PROGRAMS=$ROOT/usr/lib/TAMRIX
hive_has() { grep -qiF -- "$1" "$HIVE" 2>/dev/null; }
hive_lacks() { ! hive_has "$1"; }
service_key='[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TAMXNTs]'
event_key='[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Application\TAMXNTs]'
server_pids() { pgrep -f '^/usr/lib/TAMRIX/(TAMXNTs|TAMRIXs)\.exe' || true; }
no_server() { [ -z "$(server_pids)" ]; }
serving() {
  [ "$(awk '{print $4}' "$ROOT/run/tamrix/services/tamxnts/status" 2>/dev/null)" = 4 ] &&
    ip netns exec "$NETNS_SRV" ss -Hlun 'sport = :67' | grep -q .
}
has_capabilities() {
  python3 -c 'import os,sys; os.getxattr(sys.argv[1], "security.capability")' "$1" 2>/dev/null
}

# busybox udhcpc from this machine, in the client namespace; records the address it was given.
client() {
  local tag=$1 script=$WORK/$1.sh
  printf '#!/bin/sh\n[ "$1" = bound ] && echo "$ip" >"%s"\nexit 0\n' "$WORK/$tag.ip" >"$script"
  chmod +x "$script"
  timeout 30 ip netns exec "$NETNS_CLI" busybox udhcpc -f -q -n -t 5 -T 1 -i "$NETNS_CLI_IF" \
    -s "$script" >>"$WORK/log" 2>&1
}
in_pool() { local last=${1##*.}; [ "${1%.*}" = 192.0.2 ] && [ "$last" -ge 100 ] && [ "$last" -le 150 ]; }

# --- apt install
started=$SECONDS
check "apt-get update in the root" apt_in_root update || finish
check "apt installs the package and its dependencies" apt_in_root install "$PKG" || finish
echo "installed in $((SECONDS - started)) s"
check "the operator group exists" in_root getent group tamrix
check "the data folder is the operators'" eq "$(in_root stat -c %a:%G /var/lib/tamrix)" 2770:tamrix
check "the service program may serve whoever starts it" has_capabilities "$PROGRAMS/TAMXNTs.exe"
check "service registered" hive_has "$service_key"
check "... for automatic start" hive_has '"Start"=dword:00000002'
check "... with the packaged program" hive_has '/usr/lib/TAMRIX/TAMXNTs.exe'
check "event source registered" hive_has "$event_key"
check "... with the packaged message file" hive_has '/usr/lib/TAMRIX/TAMXEVT.dll'
check "boot unit enabled" test -L "$ROOT/etc/systemd/system/multi-user.target.wants/tamrix-boot.service"
check "menu entry starts the panel" grep -qxF 'Exec=/usr/lib/TAMRIX/TAMRIX.exe' \
  "$ROOT/usr/share/applications/tamrix.desktop"
check "nothing was started" no_server

# --- no pool yet: the boot starts nothing that serves
boot
check "without a pool nothing serves" wait_until 50 no_server
check "... and nothing holds the DHCP port" bash -c "! ip netns exec '$NETNS_SRV' ss -Hlun 'sport = :67' | grep -q ."

# --- a pool: the boot starts the service and it serves a real client
printf '[TAMRIX]\r\nStartIPAddr=192.0.2.100\r\nEndIPAddr=192.0.2.150\r\nSubnetMask=255.255.255.0\r\nLeaseTime=3600\r\n' \
  >"$DATA/TAMRIX.ini"
printf 'C0A80264\r\n' >"$DATA/TAMRIX.db2"
settings=$(md5sum <"$DATA/TAMRIX.ini")
ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address 02:00:00:00:de:b1
check "boot starts the service" boot
check "the service serves from /usr/lib/TAMRIX" wait_until 100 serving
check "a real client is served" client first
first=$(cat "$WORK/first.ip" 2>/dev/null)
check "its address is from the pool" in_pool "$first"

# --- apt remove: stopped, unregistered, data kept
check "apt removes the package" apt_in_root remove tamrix
check "no server left running" no_server
check "programs gone" test ! -e "$PROGRAMS"
check "registration gone" hive_lacks "$service_key"
check "settings kept" eq "$(md5sum <"$DATA/TAMRIX.ini")" "$settings"
check "client list kept" test -s "$DATA/TAMRIX.db2"
# An entry line: the address in hex, then the client identifier's bytes with the MAC address.
lease_line() { printf '^%02X%02X%02X%02X,.*02,00,00,00,DE,B1,' ${1//./ }; }
check "the lease was written as the service stopped" grep -qiE "$(lease_line "$first")" "$DATA/TAMRIX.db"

# --- installed again: settings and leases kept, the client gets its address back
check "apt installs it again" apt_in_root install "$PKG"
check "registered again for automatic start" hive_has '"Start"=dword:00000002'
check "settings still kept" eq "$(md5sum <"$DATA/TAMRIX.ini")" "$settings"
check "boot starts the service again" boot
check "it serves again" wait_until 100 serving
check "the client is served again" client again
check "... with the address it held" eq "$(cat "$WORK/again.ip" 2>/dev/null)" "$first"
check "an upgrade over the running service succeeds" apt_in_root install --reinstall "$PKG"
check "... and stops the old server" wait_until 100 no_server
check "... and keeps the registration" hive_has "$service_key"

# --- apt purge: nothing left
check "apt purges the package" apt_in_root purge tamrix
check "no server left running" no_server
for path in /var/lib/tamrix /var/lib/tamrix-registry /etc/tamrix /run/tamrix /usr/lib/TAMRIX \
  /usr/sbin/tamrix-boot /usr/libexec/tamrix /etc/systemd/system/multi-user.target.wants/tamrix-boot.service; do
  check "purged: $path" test ! -e "$ROOT$path" -a ! -L "$ROOT$path"
done
check "purged: the operator group" bash -c "! chroot '$ROOT' getent group tamrix"
check "purged: the shared status objects" eq "$(ls -A "$ROOT/dev/shm")" ""
check "purged: dpkg knows nothing of it" bash -c "! chroot '$ROOT' dpkg -s tamrix >/dev/null 2>&1"
finish
