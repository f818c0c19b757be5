# Shared by ./run and ./test: install what is missing, then configure and build.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev libfreetype-dev
          fonts-arphic-uming fontconfig socat qt6-translations-l10n
          xvfb openbox trayer libxcb1-dev)
# What building and checking the Debian package needs besides (install_missing "${PACKAGING_PACKAGES[@]}").
# shellcheck disable=SC2034 # read by scripts/package.sh and scripts/test-package.sh
PACKAGING_PACKAGES=(dpkg-dev lintian desktop-file-utils appstream man-db)

install_missing() {
    local missing=()
    for package in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing ${missing[*]}"
        apt-get update -q >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=900 "${missing[@]}" >/dev/null
    else
        echo "Marqora needs these Debian packages. Install them with:"
        echo "  sudo apt-get install -y ${missing[*]}"
        exit 1
    fi
}

# "宋体" and "SimSun" must resolve to AR PL UMing CN, the Song face Debian ships.
install_font_alias() {
    local conf="$ROOT/data/fontconfig/30-marqora-simsun.conf" target
    if [ "$(id -u)" -eq 0 ]; then
        target=/etc/fonts/conf.d
    else
        target=${XDG_CONFIG_HOME:-$HOME/.config}/fontconfig/conf.d
    fi
    mkdir -p "$target"
    if ! cmp -s "$conf" "$target/30-marqora-simsun.conf"; then
        cp "$conf" "$target/30-marqora-simsun.conf"
        fc-cache -f >/dev/null 2>&1 || true
    fi
}

# build FOLDER [cmake options...]; BUILD_TARGETS, when set, names the only targets to build.
build() {
    local folder=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    # shellcheck disable=SC2086 # the target names are meant to split
    cmake --build "$ROOT/$folder" -j "$JOBS" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
}
