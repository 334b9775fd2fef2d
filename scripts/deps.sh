#!/usr/bin/env bash
# Installs the Debian packages that building and running Orvex need, and unless
# the arguments hold -DORVEX_BUILD_TESTS=OFF those its tests and benchmarks need;
# only those missing. `make` hands over its CMAKE_FLAGS.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav qt6-image-formats-plugins libqt6svg6
    qtkeychain-qt6-dev libboost-context-dev
    libexiv2-dev libraw-dev liblcms2-dev libcurl4-openssl-dev
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
    libpoppler-qt6-dev libgphoto2-dev libglib2.0-dev libudev-dev libsqlite3-dev libfontconfig-dev
    libxkbcommon-dev ghostscript
    libopenjp2-7-dev libgif-dev libtiff-dev libjpeg-dev libpng-dev
    fonts-dejavu-core fonts-urw-base35
)
# The tests' servers, tools that write and check their files, the virtual screen,
# a window manager for it, the fuzzers' compiler and the benchmarks' library.
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    gnome-keyring dbus-daemon xvfb xauth x11-utils openbox
    imagemagick exiv2 ffmpeg libvips-tools poppler-utils
    clang libclang-rt-14-dev appstream shared-mime-info
    python3-pyftpdlib curl libxml2-utils
    qt6-base-private-dev
)
case " $* " in
    *" -DORVEX_BUILD_TESTS=OFF "* | *" -DORVEX_BUILD_TESTS:BOOL=OFF "*) ;;
    *) packages+=("${test_packages[@]}") ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Wait for another install in progress rather than failing on the package lock.
lock=(-o DPkg::Lock::Timeout=900)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
