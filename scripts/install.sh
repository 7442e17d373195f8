#!/usr/bin/env bash
# Brings every system package the client, its tests and its demo need, then the
# pinned Node test peers. Quick when everything is already there.
set -euo pipefail

cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake ninja-build pkg-config sqlite3
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-svg-dev
    qt6-httpserver-dev qt6-websockets-dev libgl-dev
    libexiv2-dev libspdlog-dev libfmt-dev libcurl4-openssl-dev libssl-dev openssl
    qt6-translations-l10n xvfb xauth x11-apps fonts-noto-cjk time bc rclone awscli imagemagick faketime poppler-utils
    clang libclang-rt-14-dev clang-format
    qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus-daemon
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

# Every package goes through apt as root: directly when run as root, else
# through sudo (asking for the password once).
apt_install() {
    local SUDO=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "install: $* missing; run as root or install sudo" >&2; exit 1; }
        SUDO=(sudo)
    fi
    echo "install: apt-get install $*"
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

((${#missing[@]} == 0)) || apt_install "${missing[@]}"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    apt_install nodejs npm
fi

# Node test peers (object store with signature check), pinned by the lockfile.
for dir in tools/*/; do
    if [[ -f "$dir/package-lock.json" ]]; then
        if [[ ! -d "$dir/node_modules" || "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]]; then
            echo "install: npm ci in $dir"
            (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
        fi
    fi
done
echo "install: done"
