#!/usr/bin/env bash
# Builds the Debian package build/package/tamrix_<version>_<arch>.deb from a clean copy of the
# working tree (its tracked and new files, nothing ignored or built), then checks it with lintian:
# an error fails the build, warnings are listed. Installs what it lacks first (as root).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
./scripts/install-deps.sh --package

version=$(sed -n 's/^project(TAMRIX .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -l debian/changelog -S Version)
if [ "$version" != "$packaged" ]; then
  echo "package: CMakeLists.txt says $version but debian/changelog says $packaged" >&2
  exit 1
fi

out=build/package
rm -rf "$out"
mkdir -p "$out/tamrix-$version"
# (A tracked file deleted but not yet committed is passed over.)
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$out/tamrix-$version"

(cd "$out/tamrix-$version" && dpkg-buildpackage -b -uc -us -j"$jobs") >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log" >&2
  echo "package: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
}
rm -rf "$out/tamrix-$version"

deb=$out/tamrix_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
echo "package: built $deb"
lintian --fail-on error --display-info "$deb" | tee "$out/lintian.txt"
echo "package: lintian reports no errors"
