#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; does
# nothing when they are all there already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev fonts-dejavu-core fonts-liberation2 qt6-translations-l10n
  libusb-1.0-0-dev libsystemd-dev libcurl4-openssl-dev libcpp-httplib-dev
  libsqlite3-dev libspdlog-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  umockdev libumockdev-dev
  tshark gzip
  fonts-liberation2
  dpkg-dev file lintian desktop-file-utils appstream
  nsis xvfb xauth imagemagick
  g++-mingw-w64-x86-64-posix wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# The Windows build fetches SQLite's source release with npm; any npm will do
# (a machine may have it from a Node.js package of its own).
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
