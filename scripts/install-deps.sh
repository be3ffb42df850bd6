#!/usr/bin/env bash
# Installs from Debian what the project needs, only what is missing. Run as root.
#   scripts/install-deps.sh          everything: build, tests, GUI, fuzzing, real DHCP clients
#   scripts/install-deps.sh --demo      just what the demo builds and runs
#   scripts/install-deps.sh --package   what building and checking the Debian package needs
set -euo pipefail

demo=(cmake ninja-build g++ iproute2 busybox udhcpc util-linux python3)
package=(cmake ninja-build g++ qt6-base-dev qt6-translations-l10n libgl-dev
  debhelper dpkg-dev lintian git)
full=("${demo[@]}" "${package[@]}"
  libgtest-dev clang libclang-rt-dev libgmock-dev libbenchmark-dev
  qt6-base-dev-tools fonts-noto-cjk g++-mingw-w64-x86-64-posix
  isc-dhcp-client dhcpcd-base isc-dhcp-relay tcpdump procps debootstrap)

case "${1:-}" in
  --demo) packages=("${demo[@]}") ;;
  --package) packages=("${package[@]}") ;;
  *) packages=("${full[@]}") ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
echo "installing ${missing[*]}"
# Package scripts must not start daemons (a DHCP relay, say) in the machine's own network.
guard=
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
  chmod +x /usr/sbin/policy-rc.d
  guard=1
fi
trap 'if [ -n "$guard" ]; then rm -f /usr/sbin/policy-rc.d; fi' EXIT
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
