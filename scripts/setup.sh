#!/usr/bin/env bash
# Makes sure the Debian 12 packages of one set are installed, and says in one line what it
# installed or what is missing.
#
#   scripts/setup.sh run     what building and running the program need
#   scripts/setup.sh test    that, plus what the tests need (sanitizers, fuzzing, Xvfb and
#                            the end-to-end tools, the package build and its checks)
#
# As root it installs the missing ones with apt-get. As another user it installs nothing: it
# names what is missing and the command to install it, and fails.
set -euo pipefail

run_packages=(
    g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    libjpeg62-turbo-dev libgif-dev libspng-dev libtiff-dev libwebp-dev liblcms2-dev
    libfontconfig-dev fonts-ipafont-gothic qt6-translations-l10n
    qt6-wayland
    libheif-dev libjxl-dev
    libx11-dev libxss-dev
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
)
test_packages=(
    "${run_packages[@]}"
    clang-14 libclang-rt-14-dev
    xvfb xauth xdotool imagemagick x11-utils x11-xserver-utils python3 libx11-6 openbox
    fonts-noto-cjk python3-pyatspi at-spi2-core dbus dbus-x11
    desktop-file-utils appstream dpkg-dev file lintian
    ffmpeg
)

case "${1:-}" in
    run) set_name=run packages=("${run_packages[@]}") ;;
    test) set_name=test packages=("${test_packages[@]}") ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    echo "setup: the ${#packages[@]} packages to $set_name Varnel are installed"
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "setup: to $set_name Varnel these packages are missing: ${missing[*]};" \
        "install them as root with: apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "setup: to $set_name Varnel, installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# Errors are shown; debconf's note that it defers configuration without apt-utils is not.
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    2> >(grep -v '^debconf: delaying package configuration' >&2)
