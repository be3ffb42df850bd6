#!/usr/bin/env bash
# TAMXNTs.exe under the service manager: installed from its own command line in a machine root,
# started, paused, continued and stopped through the control panel's service controller (the
# driver given as $1), serving a real DHCP client in between, then removed. On the 95 setting the
# same controller starts and stops TAMRIXs.exe. The controller runs in the server's namespace, so
# the programs it launches (detached) serve there; nothing is sent in the machine's own one.
set -u
CTL=${1:?the tamrix-service-ctl driver}
. "$(dirname "$0")/tamrix95_lib.sh"
[ -x "$T95_BIN/TAMXNTs.exe" ] || t95_skip "no $T95_BIN/TAMXNTs.exe"
command -v busybox >/dev/null || t95_skip "needs busybox"
t95_init ntsv

install_dir=$T95_ROOT/usr/local/lib/TAMRIX
mkdir -p "$install_dir" "$T95_ROOT/etc/tamrix"
cp "$T95_BIN/TAMXNTs.exe" "$T95_BIN/TAMRIXs.exe" "$install_dir/"
db_file=$T95_ROOT/var/lib/tamrix/TAMRIX.db
hex_of() { printf '%02X%02X%02X%02X' ${1//./ }; }
db_has() { grep -q "^$(hex_of "$1"),.*,80000000," "$db_file"; }
set_mac() { ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address "$1"; }
ctl() { timeout 90 "$CTL" "$@" 2>>"$T95_ROOT/ctl.err"; }
ctl_in_server() { in_server timeout 90 "$CTL" "$@" 2>>"$T95_ROOT/ctl.err"; }
# The status word the controller reads now.
status_is() { t95_eq "$(ctl status)" "$1"; }
nt() { "$install_dir/TAMXNTs.exe" "$@"; }

# --- the command line outside the service manager (nothing is started, nothing sent)
out=$(nt 2>&1)
check "no switch: exit code 1063 as its low byte" t95_eq "$?" 39
check "no switch: the dispatcher message" t95_eq "$out" "Error #1063 In StartServiceCtrlDispatcher"
out=$(nt install 2>&1)
check "install without hyphen: not a switch" t95_eq "$?:$out" "39:Error #1063 In StartServiceCtrlDispatcher"
check "no service before -install" status_is unknown
out=$(nt -INSTALL)
check "-INSTALL installs" t95_eq "$?:$out" "0:DHCP Service for ZAVO installed."
out=$(nt -install)
check "installing twice fails: 1073" t95_eq "$?:$out" "$((1073 & 255)):Error #1073 In CreateService"
check "installed on demand" t95_eq "$(ctl startup)" manual
check "installed stopped" status_is stopped

# --- start, serve, pause (block still answers), continue, stop
t95_settings
check "controller starts the service" t95_eq "$(ctl_in_server start)" "$(printf 'result 1\nrunning')"
set_mac 02:00:00:00:77:01
check "client bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" one
ip_one=$(t95_client_value one ip)
check "address from the pool" t95_in_pool "$ip_one"

check "controller pauses" t95_eq "$(ctl pause)" "$(printf 'result 1\npaused')"
set_mac 02:00:00:00:77:02
no_lease() { ! t95_udhcpc_once "$@"; }
check "paused: a DISCOVER goes unanswered" no_lease "$NETNS_CLI" "$NETNS_CLI_IF" paused
check "paused: the client ran and gave up" grep -q '^leasefail' "$T95_ROOT/clients/paused.log"
check "paused: no offer was seen" bash -c "! grep -q '^bound' '$T95_ROOT/clients/paused.log'"
check "paused: a snapshot through the block still answers" t95_eq "$(t95_lease_state "$ip_one")" bound

check "controller continues" t95_eq "$(ctl continue)" "$(printf 'result 1\nrunning')"
check "continued: the DISCOVER is answered" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" two
ip_two=$(t95_client_value two ip)

check "controller stops" t95_eq "$(ctl stop)" "$(printf 'result 1\nstopped')"
check "stop wrote TAMRIX.db" db_has "$ip_one"
check "TAMRIX.db holds the second client" db_has "$ip_two"
check "the block is gone with the service" bash -c "! timeout 20 '$T95_TOOLS/tamrix-leases' 2>/dev/null"

# --- start-up types through the controller
check "automatic" t95_eq "$(ctl startup automatic)" "$(printf 'apply 0\nautomatic')"
check "disabled" t95_eq "$(ctl startup disabled)" "$(printf 'apply 0\ndisabled')"
check "a disabled service does not start" t95_eq "$(ctl_in_server start)" "$(printf 'result 1\nstopped')"
check "none checked changes nothing" t95_eq "$(ctl startup none)" "$(printf 'apply -1\ndisabled')"
check "manual again" t95_eq "$(ctl startup manual)" "$(printf 'apply 0\nmanual')"

# --- a terminating signal (the machine going down) stops the service as its shutdown does
check "started for the signal" t95_eq "$(ctl_in_server start)" "$(printf 'result 1\nrunning')"
rm -f "$db_file"
service_pid=$(pgrep -xf "$install_dir/TAMXNTs.exe" | head -1)
check "the service runs as its own process" test -n "$service_pid"
[ -n "$service_pid" ] && kill -TERM "$service_pid"
check "SIGTERM ends it" wait_until 150 t95_gone "${service_pid:-0}"
check "SIGTERM wrote TAMRIX.db" db_has "$ip_two"
check "it reads as stopped" status_is stopped

# --- -uninstall of a running service stops it and removes it
check "started again" t95_eq "$(ctl_in_server start)" "$(printf 'result 1\nrunning')"
rm -f "$db_file"
out=$(nt -uninstall)
check "-uninstall of a running service" t95_eq "$?:$out" \
  "$(printf '0:Stopping Service...\nDHCP Service for ZAVO removed.')"
check "the service is gone once stopped" wait_until 100 status_is unknown
check "its stop wrote TAMRIX.db" test -s "$db_file"
out=$(nt -uninstall)
check "removing it again: 1060" t95_eq "$?:$out" "$((1060 & 255)):Error #1060 In OpenService"

# --- the 95 setting: the same controller drives TAMRIXs.exe
echo 95 >"$T95_ROOT/etc/tamrix/platform"
rm -f "$db_file"
check "95: stopped without its window" status_is stopped
check "95: manual without a RunServices value" t95_eq "$(ctl startup)" manual
check "95: controller starts TAMRIXs.exe" t95_eq "$(ctl_in_server start)" "$(printf 'result 1\nrunning')"
check "95: its window is up" t95_window_up
check "95: it has bound port 67" wait_until 100 t95_port_bound
set_mac 02:00:00:00:77:03
check "95: client bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" three
ip_three=$(t95_client_value three ip)
check "95: pause does nothing" t95_eq "$(ctl pause)" "$(printf 'result 0\nrunning')"
check "95: controller stops it" t95_eq "$(ctl stop)" "$(printf 'result 1\nstopped')"
check "95: window gone" bash -c "! '$T95_TOOLS/tamrix-window' find"
check "95: stop wrote TAMRIX.db" db_has "$ip_three"
check "95: automatic writes RunServices" t95_eq "$(ctl startup automatic)" "$(printf 'apply 0\nautomatic')"
check "95: manual deletes it" t95_eq "$(ctl startup manual)" "$(printf 'apply 0\nmanual')"
check "95: disabled is not offered" t95_eq "$(ctl startup disabled)" "$(printf 'apply -1\nmanual')"
t95_finish
