#!/usr/bin/env bash
# Builds the Debian package marqora_<version>_<arch>.deb in build-pkg/ (or
# $MARQORA_PACKAGE_DIR): a Release build of its own with the prefix /usr and
# Debian's hardening flags, of only what the package holds, then CPack.
# Prints the package's path on its last line.
set -euo pipefail
source "$(dirname "$0")/common.sh"

PACKAGE_DIR=${MARQORA_PACKAGE_DIR:-build-pkg}
install_missing "${PACKAGING_PACKAGES[@]}"

# The changelog's date and the compressed files' stamps follow the sources.
SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
# Debian's flags with every hardening feature, without -g: the package's binaries are stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(cd "$ROOT" && dpkg-buildflags --get CPPFLAGS) $(cd "$ROOT" && dpkg-buildflags --get CXXFLAGS)"
cflags="$(cd "$ROOT" && dpkg-buildflags --get CPPFLAGS) $(cd "$ROOT" && dpkg-buildflags --get CFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

BUILD_TARGETS="marqora hxsim hxctl HexalinkVRX7300 man-pages package-changelog" \
    build "$PACKAGE_DIR" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DMARQORA_TESTS=OFF \
    "-DCMAKE_CXX_FLAGS=${cxxflags//-g /}" "-DCMAKE_C_FLAGS=${cflags//-g /}" \
    "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags"
rm -f "$ROOT/$PACKAGE_DIR"/marqora_*.deb
(cd "$ROOT/$PACKAGE_DIR" && cpack -G DEB > cpack.log 2>&1) || { cat "$ROOT/$PACKAGE_DIR/cpack.log" >&2; exit 1; }
deb=$(ls "$ROOT/$PACKAGE_DIR"/marqora_*.deb)

# CPack adds postinst and postrm scripts that run ldconfig for any library under
# /usr/lib; the package's ldconfig trigger does that job, so it ships no scripts.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -R "$deb" "$unpacked/root"
rm -f "$unpacked/root/DEBIAN/postinst" "$unpacked/root/DEBIAN/postrm"
dpkg-deb --root-owner-group -b "$unpacked/root" "$deb" >/dev/null
echo "$deb"
