#!/usr/bin/env bash
# Installs what Fretfile needs to build, run and test on Debian 12, where it
# is missing. Run as root or with sudo.
#   scripts/setup.sh          the build, the programs and the tests
#   scripts/setup.sh --fuzz   also what the fuzz targets need (fuzz/run.sh)
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config   # compiler and build
  qt6-base-dev libgl-dev                         # Qt 6 Widgets, Gui (PDF), Print Support
  libsqlite3-dev                                 # the lyrics index (SQLite with FTS5)
  libgtest-dev                                   # GoogleTest
  zlib1g-dev libzip-dev                          # deflate for libzippack.so; test reader, benchmark peers
  xvfb xauth fonts-dejavu-core fonts-liberation2 # fonts, running without a desktop
  python3                                        # draws the icon at the theme's sizes
  desktop-file-utils appstream man-db            # checks of the installation tree
  poppler-utils                                  # pdftotext, pdfinfo: the tests read the PDFs back
)
case "${1:-}" in
  "") ;;
  --fuzz) PACKAGES+=(clang libclang-rt-14-dev) ;; # libFuzzer, ASan and UBSan for clang
  *) echo "usage: scripts/setup.sh [--fuzz]" >&2; exit 2 ;;
esac

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
  else
    SUDO=
  fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
