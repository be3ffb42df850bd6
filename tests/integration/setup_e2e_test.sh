#!/usr/bin/env bash
# setup on a machine of its own: installs from the build's distribution folder with the real
# layers, the installed TAMXNTs.exe is registered for automatic start, is started by the machine's
# boot through the service manager inside the server namespace and serves a real client;
# installing again over the running service replaces it; uninstalling stops it and leaves no
# program, shortcut, service, RunServices value or maker key (the event source stays). Then the
# same on the Windows 95 setting, with the background server launched from RunServices.
set -u
. "$(dirname "$0")/tamrix95_lib.sh"
. "$(dirname "$0")/accounts_lib.sh"

DIST=$T95_BIN
for file in setup TAMXNTs.exe TAMRIX.exe TAMXEVT.dll TAMRIX.hlp TAMRIX.cnt TAMRIXs.exe; do
  [ -e "$DIST/$file" ] || t95_skip "no $DIST/$file"
done
BOOT=${TAMRIX_BOOT:?TAMRIX_BOOT names tamrix-boot}
t95_init stup
# Setup creates the operator group when the machine lacks it; the test takes it away again.
getent group tamrix >/dev/null || ACCOUNTS_GROUP_MADE=1
trap 't95_cleanup; accounts_cleanup' EXIT

INSTALL=$T95_ROOT/usr/local/lib/TAMRIX
DATA=$T95_ROOT/var/lib/tamrix
HIVE=$T95_ROOT/var/lib/tamrix-registry/hive
VOLATILE=$T95_ROOT/run/tamrix/registry-volatile
export HOME=/home/operator XDG_DATA_HOME=
ENTRY="$T95_ROOT/home/operator/.local/share/applications/TAMRIXｺﾝﾄﾛｰﾙ.desktop"
mkdir -p "$T95_ROOT/usr/local/lib"

# setup reads its files from the current directory; it sends nothing, but runs in the server
# namespace all the same, beside the service it stops.
run_setup() { (cd "$DIST" && in_server timeout 60 ./setup "$1") >>"$T95_ROOT/setup.log" 2>&1; }
tamxnts_running() { pgrep -f "^$INSTALL/TAMXNTs.exe" >/dev/null; }
tamxnts_gone() { ! tamxnts_running; }
# Running as the service reports it: until then it takes no stop, so a setup that came earlier
# could not remove it.
tamxnts_serving() {
  tamxnts_running && [ "$(awk '{print $4}' "$T95_ROOT/run/tamrix/services/tamxnts/status" 2>/dev/null)" = 4 ]
}
hive_lacks() { ! grep -qiF -- "$1" "$HIVE" "$VOLATILE" 2>/dev/null; }
hive_has() { grep -qiF -- "$1" "$HIVE" 2>/dev/null; }
volatile_has() { grep -qiF -- "$1" "$VOLATILE" 2>/dev/null; }
service_key='[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TAMXNTs]'
event_key='[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Application\TAMXNTs]'
maker_key='[HKEY_LOCAL_MACHINE\SOFTWARE\VORMEL\TAMRIX]'

# A distribution folder holds the seven files setup and the operator need, and nothing else.
extra=$(cd "$DIST" && ls | grep -vxE 'setup|TAMXNTs\.exe|TAMRIXs\.exe|TAMRIX\.exe|TAMRIX\.hlp|TAMRIX\.cnt|TAMXEVT\.dll')
check "the distribution folder holds nothing else${extra:+ (also: $(echo $extra))}" test -z "$extra"

t95_settings
printf 'C0A80264\r\n' >"$DATA/TAMRIX.db2"

# --- installation
check "install reports success" run_setup --install
check "the operator group exists" getent group tamrix
check "the data folder is the operators'" t95_eq "$(stat -c %a:%G "$DATA")" 2770:tamrix
check "the installed service may serve whoever starts it" \
  bash -c "getcap '$INSTALL/TAMXNTs.exe' | grep -q cap_net_bind_service"
for file in TAMXNTs.exe TAMRIX.exe TAMRIX.hlp TAMRIX.cnt TAMXEVT.dll; do
  check "installed $file" cmp -s "$DIST/$file" "$INSTALL/$file"
done
check "installed programs stay runnable" test -x "$INSTALL/TAMXNTs.exe" -a -x "$INSTALL/TAMRIX.exe"
check "no Windows 95 program on NT" test ! -e "$INSTALL/TAMRIXs.exe"
check "service registered" hive_has "$service_key"
check "service starts automatically" hive_has '"Start"=dword:00000002'
check "service program path" hive_has "$INSTALL/TAMXNTs.exe"
check "event source registered" hive_has "$event_key"
check "maker key set until the next boot" volatile_has "$maker_key"
check "menu entry written" grep -qxF "Exec=$INSTALL/TAMRIX.exe" "$ENTRY"
check "menu entry works in the installation directory" grep -qxF "Path=$INSTALL" "$ENTRY"
check "settings kept" grep -q '^StartIPAddr=192.0.2.100' "$DATA/TAMRIX.ini"
check "client list kept" test -s "$DATA/TAMRIX.db2"
check "setup did not start the service" tamxnts_gone

# --- the machine boots: the automatic service starts and serves
rm -f "$DATA/TAMRIX.db2"
boot() { in_server timeout 60 "$BOOT" >>"$T95_ROOT/boot.log" 2>&1; }
check "boot starts the service" boot
check "service runs from the installation" wait_until 100 tamxnts_serving
ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address 02:00:00:00:5e:01
check "a real client is served" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" one
check "its address is from the pool" t95_in_pool "$(t95_client_value one ip)"

# --- installing again over the running service replaces it
check "reinstall over a running service succeeds" run_setup --install
check "the old service was stopped" wait_until 50 tamxnts_gone
check "service registered again" hive_has "$service_key"
check "lease database written as it stopped" test -s "$DATA/TAMRIX.db"
check "boot starts the new service" boot
check "new service runs" wait_until 100 tamxnts_serving

# --- uninstallation
check "uninstall reports success" run_setup --uninstall
check "service stopped" wait_until 50 tamxnts_gone
check "installation directory gone" test ! -e "$INSTALL"
check "menu entry gone" test ! -e "$ENTRY"
check "service registration gone" hive_lacks "$service_key"
check "no RunServices value" hive_lacks 'TAMRIXs.exe' 
check "maker key gone" hive_lacks 'VORMEL' 
check "event source left for a later installation" hive_has "$event_key"
for file in TAMRIX.ini TAMRIX.db TAMRIX.db2; do check "data file $file gone" test ! -e "$DATA/$file"; done
uninstall_fails() { ! (cd "$DIST" && timeout 60 ./setup --uninstall) >"$T95_ROOT/again.log" 2>&1; }
check "a second uninstall finds nothing and says so" uninstall_fails
check "... with the message for files it could not delete" \
  grep -q "ｱﾝｲﾝｽﾄｰﾙはいくつかのﾌｧｲﾙを削除出来ませんでした。" "$T95_ROOT/again.log"

# --- the same machine switched to Windows 95: the background server and its boot-time start
mkdir -p "$T95_ROOT/etc/tamrix"
echo 95 >"$T95_ROOT/etc/tamrix/platform"
t95_settings
tamrixs_running() { pgrep -f "^$INSTALL/TAMRIXs.exe" >/dev/null; }
tamrixs_gone() { ! tamrixs_running; }
tamrixs_serving() { tamrixs_running && t95_window_up && t95_port_bound; }
check "95: install reports success" run_setup --install
for file in TAMRIXs.exe TAMRIX.exe TAMRIX.hlp TAMRIX.cnt; do
  check "95: installed $file" cmp -s "$DIST/$file" "$INSTALL/$file"
done
check "95: no NT service program or message file" test ! -e "$INSTALL/TAMXNTs.exe" -a ! -e "$INSTALL/TAMXEVT.dll"
check "95: no NT service registered" hive_lacks "$service_key"
# In the lasting hive, so the start survives the next boot.
check "95: boot-time start entered" hive_has "\"TAMRIXs\"=sz:\"$INSTALL/TAMRIXs.exe"
check "95: boot launches the server" boot
check "95: server runs from the installation" wait_until 100 tamrixs_serving
ip -n "$NETNS_CLI" link set dev "$NETNS_CLI_IF" address 02:00:00:00:5e:95
check "95: a real client is served" t95_udhcpc_once "$NETNS_CLI" "$NETNS_CLI_IF" two
check "95: its address is from the pool" t95_in_pool "$(t95_client_value two ip)"
check "95: uninstall reports success" run_setup --uninstall
# Its window is gone once setup returns; the process ends a moment after.
check "95: server closed through its window" wait_until 100 tamrixs_gone
check "95: the database it wrote as it stopped is gone too" test ! -e "$DATA/TAMRIX.db"
check "95: installation directory gone" test ! -e "$INSTALL"
check "95: boot-time start gone" hive_lacks 'TAMRIXs.exe'
check "95: maker key gone" hive_lacks 'VORMEL'
check "95: menu entry gone" test ! -e "$ENTRY"

if [ "$T95_FAILURES" != 0 ]; then
  echo "--- setup output"
  cat "$T95_ROOT/setup.log"
  echo "--- boot output"
  cat "$T95_ROOT/boot.log" 2>/dev/null
fi
t95_finish
