#!/usr/bin/env bash
# Installs the Debian packages the build needs, and any named besides, where they
# are not installed yet, with apt-get (through sudo unless run as root).
# Usage: tools/install-packages.sh [PACKAGE ...]
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config qt6-base-dev libxlsxwriter-dev libicu-dev libuchardet-dev libphonenumber-dev libre2-dev libssl-dev liburing-dev unzip "$@")
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    echo "Installing ${missing[*]}"
    sudo=()
    if [[ "$(id -u)" -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
fi
