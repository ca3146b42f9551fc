#!/usr/bin/env bash
# Checks what is shipped: the AppStream metainfo passes appstreamcli validate, and the .deb that
# CPack builds names its dependencies and carries the program's desktop files and udev rule.
# Usage: check-package.sh <build dir> <metainfo file>
set -euo pipefail
build=$1
metainfo=$2
appstreamcli validate --no-net "$metainfo"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
fail=0
expect() { # <what> <text> <pattern>
    if ! grep -q -- "$3" <<<"$2"; then
        echo "missing $1: $3"
        fail=1
    fi
}
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6dbus6 libudev1; do
    expect Depends "$depends" "$lib"
done
expect Recommends "$(dpkg-deb -f "$deb" Recommends)" xdg-utils
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/ringvale ./usr/lib/udev/rules.d/60-ringvale-impactiq.rules \
    ./usr/share/applications/ringvale.desktop "./usr/share/metainfo/$(basename "$metainfo")"; do
    expect contents "$contents" " $file\$"
done
exit $fail
