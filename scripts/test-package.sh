#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it: the files it
# holds, its control data, binaries without run paths, the desktop entry,
# metainfo and manual pages, lintian; then unpacks it into a temporary root
# and lets the unpacked marqora serve a display on the unpacked hxsim, as a
# user who cannot write the program's folder.
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$ROOT/scripts/demo.sh"

# The normal build holds marqora-demo, which stores the display the check uses.
BUILD_DIR=${MARQORA_BUILD_DIR:-build}
PACKAGE_DIR=${MARQORA_PACKAGE_DIR:-build-pkg}
PANEL=160x64

fail() {
    echo "package check: $*" >&2
    exit 1
}

"$ROOT/scripts/package.sh" >/dev/null
BUILD_TARGETS=marqora-demo build "$BUILD_DIR" >/dev/null

version=$(sed -n 's/^project(Marqora VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
deb="$ROOT/$PACKAGE_DIR/marqora_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

echo "== package contents"
expected="./etc/fonts/conf.d/30-marqora-simsun.conf
./usr/bin/hxctl
./usr/bin/hxsim
./usr/bin/marqora
./usr/include/HexalinkVRX7300.h
./usr/lib/$multiarch/libHexalinkVRX7300.so
./usr/lib/$multiarch/libHexalinkVRX7300.so.1
./usr/lib/$multiarch/libHexalinkVRX7300.so.1.0.0
./usr/lib/systemd/user/marqora.service
./usr/share/applications/com.corvane.Marqora.desktop
./usr/share/doc/marqora/changelog.gz
./usr/share/doc/marqora/copyright
./usr/share/fontconfig/conf.avail/30-marqora-simsun.conf
./usr/share/icons/hicolor/16x16/apps/marqora.png
./usr/share/icons/hicolor/32x32/apps/marqora.png
./usr/share/icons/hicolor/48x48/apps/marqora.png
./usr/share/icons/hicolor/64x64/apps/marqora.png
./usr/share/lintian/overrides/marqora
./usr/share/man/man1/hxctl.1.gz
./usr/share/man/man1/hxsim.1.gz
./usr/share/man/man1/marqora.1.gz
./usr/share/metainfo/com.corvane.Marqora.metainfo.xml"
# Everything but folders, by name: a test program or a missing page shows as a difference.
diff -u <(echo "$expected" | LC_ALL=C sort) <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort) ||
    fail "the package does not hold exactly the expected files"

[ "$(dpkg-deb -f "$deb" Package)" = marqora ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the version is not the project's $version"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in fonts-arphic-uming qt6-translations-l10n libqt6widgets6 libqt6network6 libc6; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
for script in preinst postinst prerm postrm; do
    [[ $control != *"$script"* ]] || fail "the package carries a $script script"
done
[ "$(dpkg-deb -I "$deb" triggers)" = "activate-noawait ldconfig" ] || fail "no ldconfig trigger"

work=$(mktemp -d)
MARQORA_PID=
cleanup() {
    [ -z "$MARQORA_PID" ] || kill "$MARQORA_PID" 2>/dev/null || true
    stop_demo
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
root="$work/root"
dpkg -x "$deb" "$root"

echo "== binaries, desktop entry, metainfo, manual pages"
for binary in "$root"/usr/bin/* "$root/usr/lib/$multiarch/libHexalinkVRX7300.so.1.0.0"; do
    ! readelf -d "$binary" | grep -Eq 'RPATH|RUNPATH' || fail "$binary carries a run path"
done
readelf -d "$root/usr/lib/$multiarch/libHexalinkVRX7300.so.1.0.0" | grep -q 'SONAME.*\[libHexalinkVRX7300\.so\.1\]' ||
    fail "the library's soname is not libHexalinkVRX7300.so.1"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net --no-color "$root"/usr/share/metainfo/*.xml >/dev/null ||
    appstreamcli validate --no-net --no-color "$root"/usr/share/metainfo/*.xml
for page in marqora hxsim hxctl; do
    [ "$(MANPATH="$root/usr/share/man" man -w "$page")" = "$root/usr/share/man/man1/$page.1.gz" ] ||
        fail "man $page does not find the installed page"
    warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1): $warnings"
done

echo "== lintian"
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

echo "== the unpacked marqora serves a display on the unpacked hxsim"
export LD_LIBRARY_PATH="$root/usr/lib/$multiarch"
home="$work/home"
progdir="$home/.local/share/Marqora"
mkdir -p "$progdir"
cp "$ROOT/data/demo/news.txt" "$work/news.txt"
DEMO_PANEL=$PANEL start_hxsim "$root/usr/bin" "$work"
"$ROOT/$BUILD_DIR/bin/marqora-demo" --home "$progdir" --port "$HXSIM_PORT" --size "$PANEL" --text "$work/news.txt" \
    > "$work/demo.out" 2>&1 || { cat "$work/demo.out" >&2; fail "the display could not be stored and initialised"; }
# The program folder must come from HOME, not from the executable's folder:
# run as a user who cannot write it (root can write anything).
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chmod -R a+rX "$work"
    chown -R nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod a-w "$root/usr/bin"
fi
# The user's runtime folder holds the lock and the socket --status asks through.
mkdir -m 700 "$work/run"
[ "$(id -u)" -ne 0 ] || chown nobody:nogroup "$work/run"
as_marqora_user() {
    "${as_user[@]}" env -u MARQORA_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$work/run" \
        QT_QPA_PLATFORM=offscreen "$root/usr/bin/marqora" "$@"
}
[ "$(as_marqora_user --version)" = "marqora $version" ] || fail "marqora --version does not say $version"
as_marqora_user > "$work/marqora.out" 2>&1 &
MARQORA_PID=$!
uploaded="$work/controller/C/NEWS.TXT"
# The sample text is UTF-8; the controller gets it in its code page.
iconv -f UTF-8 -t GBK "$work/news.txt" > "$work/news.gbk"
for ((tries = 0; tries < 600; tries++)); do
    cmp -s "$work/news.gbk" "$uploaded" && break
    kill -0 "$MARQORA_PID" 2>/dev/null || { cat "$work/marqora.out" >&2; fail "marqora ended early"; }
    sleep 0.1
done
cmp -s "$work/news.gbk" "$uploaded" || { cat "$work/marqora.out" >&2; fail "the watched text never reached the display"; }
as_marqora_user --status | grep -q '"state":"watching"' || fail "marqora --status does not report the watched display"
[ "$(find "$root/usr/bin" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | paste -sd ' ')" = "hxctl hxsim marqora" ] ||
    fail "marqora wrote into its own folder"
echo "package check: $(basename "$deb") passed"
