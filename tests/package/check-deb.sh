#!/usr/bin/env bash
# Checks a built Debian package: its name and control fields, that it holds
# the program, its companions, the desktop entry and the icons and nothing
# from the build (tests, benchmarks, libraries, headers), that every binary is
# stripped and still starts, and that the desktop entry is valid.
set -euo pipefail
deb=$1
fail() { echo "check-deb: $*" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = zelvar ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ "$(basename "$deb")" = "zelvar_${version}_$(field Architecture).deb" ] || fail "file name $(basename "$deb")"
[[ $version =~ ^[0-9]+(\.[0-9]+)+$ ]] || fail "Version is '$version'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libjs-chart.js libjs-leaflet; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done
[[ $depends != *-dev* ]] || fail "Depends names a development package: $depends"

# The file list: what must be there, and nothing but the program's own files.
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/Zelvar ./usr/bin/zelvar-decode ./usr/bin/zelvar-edit ./usr/bin/zelvar-sim \
    ./usr/bin/zelvar-gps-sim ./usr/bin/zelvar-coverage ./usr/bin/zelvar-collect ./usr/bin/zelvar-web \
    ./usr/share/applications/zelvar.desktop \
    ./usr/share/icons/hicolor/scalable/apps/zelvar.svg \
    ./usr/share/icons/hicolor/64x64/apps/zelvar.png \
    ./usr/lib/systemd/system/zelvar-collect.service ./usr/lib/systemd/system/zelvar-web.service \
    ./usr/share/doc/zelvar/examples/zelvar.conf ./usr/share/doc/zelvar/examples/zelvar.acl \
    ./usr/share/doc/zelvar/examples/zelvar-collect.default ./usr/share/doc/zelvar/examples/zelvar-web.default; do
  grep -qxF "$path" <<<"$listing" || fail "missing $path"
done
stray=$(grep -vE '^\./(usr/(bin/[^/]*|share/((applications|icons)(/.*)?|doc/(zelvar/(examples/(zelvar\.conf|zelvar\.acl|zelvar-(collect|web)\.default)?)?)?)?|lib/(systemd/(system/(zelvar-(collect|web)\.service)?)?)?)?)?)?$' <<<"$listing" || true)
[ -z "$stray" ] || fail "unexpected files: $stray"
build_files=$(grep -iE 'test|bench|fuzz' <<<"$listing" || true)
[ -z "$build_files" ] || fail "files from the build: $build_files"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
for binary in "$scratch"/usr/bin/*; do
  [[ $(file -b "$binary") == ELF*", stripped" ]] || fail "$(basename "$binary") is not a stripped ELF binary"
done
for tool in zelvar-decode zelvar-edit zelvar-coverage zelvar-collect zelvar-web; do
  "$scratch/usr/bin/$tool" --help >/dev/null || fail "$tool --help failed"
done
grep -q '^ExecStart=/bin/sh -c .exec /usr/bin/zelvar-collect --database "$$DATABASE" --broker "$$BROKER" --prefix "$$PREFIX" ' \
  "$scratch/usr/lib/systemd/system/zelvar-collect.service" || fail "the collector's unit runs another program"
grep -q '^ExecStart=/bin/sh -c .exec /usr/bin/zelvar-web --database "$$DATABASE" --listen "$$LISTEN" ' \
  "$scratch/usr/lib/systemd/system/zelvar-web.service" || fail "the network view's unit runs another program"
# Hints count too: a menu would show the program twice for two main categories.
complaints=$(desktop-file-validate "$scratch/usr/share/applications/zelvar.desktop" 2>&1) ||
  fail "invalid desktop entry: $complaints"
[ -z "$complaints" ] || fail "desktop entry: $complaints"
grep -qx 'Exec=Zelvar' "$scratch/usr/share/applications/zelvar.desktop" || fail "desktop entry runs another program"
echo "$(basename "$deb"): $(grep -c . <<<"$listing") entries, Depends: $depends"
