#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, run and test. Run as root.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config clang-14 libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg62-turbo-dev
    fonts-ipafont-gothic
    xvfb xauth xdotool imagemagick x11-utils python3 libx11-6 openbox
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: these packages are missing; run as root to install them: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
