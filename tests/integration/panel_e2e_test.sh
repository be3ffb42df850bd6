#!/usr/bin/env bash
# The control panel's main window (offscreen, through the driver given as $1) on a machine root
# with TAMXNTs.exe installed as setup installs it, run by an operator who is not root (a
# throw-away member of the group tamrix): it starts the service, lists a real client's lease with
# its host name, releases it, pauses, continues and stops the service, shows each status and
# changes a setting. The driver runs in the server's namespace, so the service it starts serves
# there; nothing is sent in the machine's own namespace. The accounts (and the group, when the
# machine lacks it) are removed on every path.
set -u
DRIVER=${1:?the tamrix-panel-driver program}
. "$(dirname "$0")/tamrix95_lib.sh"
. "$(dirname "$0")/accounts_lib.sh"
[ -x "$T95_BIN/TAMXNTs.exe" ] || t95_skip "no $T95_BIN/TAMXNTs.exe"
command -v busybox >/dev/null || t95_skip "needs busybox"
command -v setcap >/dev/null || t95_skip "needs setcap"
t95_init pane
trap 't95_cleanup; accounts_cleanup' EXIT
accounts_setup p
chmod 0755 "$T95_ROOT"

# What setup and the boot unit leave: the program allowed to serve whoever starts it, and the
# data and run folders given to the operators.
install_dir=$T95_ROOT/usr/local/lib/TAMRIX
mkdir -p "$install_dir" "$T95_ROOT/etc/tamrix"
install -d -m 2770 -g tamrix "$T95_ROOT/var/lib/tamrix" "$T95_ROOT/run/tamrix"
cp "$T95_BIN/TAMXNTs.exe" "$install_dir/"
setcap cap_net_bind_service,cap_net_raw=ep "$install_dir/TAMXNTs.exe"
"$install_dir/TAMXNTs.exe" -install >/dev/null || t95_skip "TAMXNTs.exe -install failed"
t95_settings

panel() {
  in_server timeout 120 runuser -u "$ACCOUNT_MEMBER" -- "$DRIVER" "$@" 2>>"$T95_ROOT/panel.err"
}
status_of() { awk '$1 == "status" {print $2}' <<<"$1"; }
# The list row of an address ("192.0.2.100" -> "192.  0.  2.100"), without its expiry.
row_of() {
  local padded
  padded=$(printf '%3d.%3d.%3d.%3d' ${2//./ })
  awk -F'|' -v a="$padded" '$1 ~ /^row / && $2 == a {print $1 "|" $2 "|" $4}' <<<"$1"
}
listed() { [ -n "$(row_of "$1" "$2")" ]; }

out=$(panel show)
check "stopped at first" t95_eq "$(status_of "$out")" 停止中
out=$(panel start)
check "開始 starts the service" t95_eq "$(status_of "$out")" 実行中

check "client bound" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" one -x hostname:kumo
ip_one=$(t95_client_value one ip)
check "address from the pool" t95_in_pool "$ip_one"

out=$(panel refresh)
check "the lease is listed with its host name" \
  t95_eq "$(row_of "$out" "$ip_one")" "row  |$(printf '%3d.%3d.%3d.%3d' ${ip_one//./ })|kumo"

out=$(panel release kumo)
check "削除 releases it and the refreshed list no longer shows it" \
  t95_eq "$(row_of "$out" "$ip_one")" ""
not_bound() { [ "$(t95_lease_state "$1")" != bound ]; }
check "the service freed it" not_bound "$ip_one"

out=$(panel pause)
check "一時停止 pauses" t95_eq "$(status_of "$out")" 一時停止中
out=$(panel continue)
check "続行 continues" t95_eq "$(status_of "$out")" 実行中
out=$(panel stop)
check "停止 stops" t95_eq "$(status_of "$out")" 停止中
check "stopped: the list is empty" t95_eq "$(grep -c '^row ' <<<"$out")" 0
panel lease-time 7200 >/dev/null
check "a setting is changed" grep -q '^LeaseTime=7200' "$T95_ROOT/var/lib/tamrix/TAMRIX.ini"

"$install_dir/TAMXNTs.exe" -uninstall >/dev/null
t95_finish
