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
# As root the alias goes where the Debian package never puts its own: the file
# under /usr/local, enabled by a link of another name in /etc/fonts/conf.d.
# Installing or removing the package then leaves this one alone, and this one
# leaves the package's alone; both at once only say the same twice.
install_font_alias() {
    local name=30-marqora-simsun.conf
    local conf="$ROOT/data/fontconfig/$name" file link='' changed=''
    if [ "$(id -u)" -eq 0 ]; then
        file=/usr/local/share/fontconfig/conf.avail/$name
        link=/etc/fonts/conf.d/30-marqora-simsun-local.conf
        # Earlier source builds copied the alias under the package's own name,
        # which the package replaces and then removes with itself.
        local copied=/etc/fonts/conf.d/$name
        if [ -f "$copied" ] && [ ! -L "$copied" ] && ! dpkg-query -S "$copied" >/dev/null 2>&1; then
            rm -f "$copied"
            changed=1
        fi
    else
        file=${XDG_CONFIG_HOME:-$HOME/.config}/fontconfig/conf.d/$name
    fi
    mkdir -p "$(dirname "$file")"
    if ! cmp -s "$conf" "$file"; then
        cp "$conf" "$file"
        changed=1
    fi
    if [ -n "$link" ] && [ "$(readlink "$link")" != "$file" ]; then
        ln -sfn "$file" "$link"
        changed=1
    fi
    [ -z "$changed" ] || fc-cache -f >/dev/null 2>&1 || true
}

# build FOLDER [cmake options...]; BUILD_TARGETS, when set, names the only targets to build.
build() {
    local folder=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    # shellcheck disable=SC2086 # the target names are meant to split
    cmake --build "$ROOT/$folder" -j "$JOBS" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
}
