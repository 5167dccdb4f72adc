#!/usr/bin/env bash
# Installs every Debian package the build, the programs, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libcurl4-openssl-dev libssl-dev zlib1g-dev
  libharfbuzz-dev libfreetype-dev libfontconfig-dev
  mdbtools mdbtools-dev libglib2.0-dev
  libhyphen-dev hyphen-ru
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt's platform plugins for X11 and Wayland (windows on either display server)
  qt6-qpa-plugins qt6-wayland
  # a headless Wayland compositor for the installed-product tests
  weston
  # the Debian package (scripts/package.sh) and its checks
  dpkg-dev fakeroot lintian
  # fonts the templates name
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-liberation2
  # test oracles and fixtures
  qpdf poppler-utils binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 openssl python3
  xvfb xauth xdg-utils pkexec
  # the download benchmark's reference client
  curl
  # screenshots of the windows for review (scripts/tolvan-screenshots.sh)
  imagemagick x11-utils openbox
  # printing from the preview through CUPS, its test printer, Qt's Japanese dialog texts
  libcups2-dev cups-ipp-utils qt6-translations-l10n dbus-daemon
  # fuzzing
  clang libclang-rt-14-dev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
