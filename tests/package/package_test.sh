#!/usr/bin/env bash
# Makes the Debian package of a build folder, unpacks it with dpkg -x into a
# scratch folder and runs its programs from there (only what opens no
# socket: --help and --version).
# Usage: package_test.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$1; shift
programs=("$@")
scratch=$(mktemp -d /tmp/nimbrel-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6widgets6 libqt6svg6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library"
done

root=$scratch/root
dpkg -x "$deb" "$root"
for program in "${programs[@]}"; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is missing"
done
for file in usr/share/applications/nimbrel-config.desktop \
            usr/share/icons/hicolor/scalable/apps/nimbrel-config.svg \
            usr/share/icons/hicolor/16x16/apps/nimbrel-config.png \
            usr/share/icons/hicolor/256x256/apps/nimbrel-config.png; do
  [ -s "$root/$file" ] || fail "$file is missing"
done

# nimbrel-config has no option that opens no socket: it may only be loaded.
for program in "${programs[@]}"; do
  missing=$(LD_LIBRARY_PATH= ldd "$root/usr/bin/$program" | grep 'not found' || true)
  [ -z "$missing" ] || fail "$program needs libraries that are not installed: $missing"
done
help=$("$root/usr/bin/nimbrel-sim" --help) || fail "nimbrel-sim --help exited with $?"
[[ "$help" == "Usage: nimbrel-sim"* ]] || fail "nimbrel-sim --help printed: ${help:0:200}"
if [[ " ${programs[*]} " == *" nimbrel "* ]]; then
  version=$("$root/usr/bin/nimbrel" --version) || fail "nimbrel --version exited with $?"
  [ -n "$version" ] || fail "nimbrel --version printed nothing"
  echo "nimbrel --version: $version"
fi
echo "The package unpacks and its programs run."
