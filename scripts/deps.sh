#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the program and the
# tests need and the machine does not have yet. Safe to run again.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  qtbase5-dev qtbase5-dev-tools qtdeclarative5-dev qtdeclarative5-dev-tools
  qtquickcontrols2-5-dev qttools5-dev qttools5-dev-tools
  libopencv-core-dev libopencv-imgproc-dev libopencv-videoio-dev libopencv-imgcodecs-dev
  libudev-dev libturbojpeg0-dev libbenchmark-dev
  # tests of the QML layer
  qml-module-qttest
  # headless runs and tests: virtual display, screenshots, V4L2 tools
  xvfb xauth x11-apps x11-utils netpbm v4l-utils
  # launcher and metainfo checks, the Debian package (dpkg-shlibdeps, file)
  desktop-file-utils appstream dpkg-dev file
)
# run time: the program's own list (also the Debian package's dependencies)
mapfile -t -O ${#packages[@]} packages < <(grep -E '^[a-z0-9]' "$(dirname "$0")/../packaging/runtime-packages")

# The Windows syntax check of CI (scripts/wincheck.sh) also needs the MinGW-w64
# cross compiler.
if [ "${1:-}" = "--windows-check" ]; then packages+=(g++-mingw-w64-x86-64); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#packages[@]} packages are installed"
  exit 0
fi

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "deps: run as root (or with sudo) to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "deps: done"
