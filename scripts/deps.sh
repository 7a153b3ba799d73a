#!/usr/bin/env bash
# Installs the Debian packages that building and testing nuvtool need, when any is missing.
# Usage: scripts/deps.sh [build|test|screenshots|package|fuzz]
set -euo pipefail

want=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libftdi1-dev libasound2-dev libgl-dev
      libmosquitto-dev libgtest-dev libgmock-dev fonts-dejavu-core)
case "${1:-build}" in
  build) ;;
  # The MQTT tests run a broker of their own (mosquitto, mosquitto_passwd), make certificates
  # (openssl) and check the service unit (systemd-analyze); the USB tests emulate an FTDI chip
  # under umockdev; the PDF report is read back with poppler's tools.
  test) want+=(libmodbus-dev socat libxml2-utils desktop-file-utils dpkg-dev file lintian
               mosquitto mosquitto-clients openssl systemd umockdev libumockdev-dev poppler-utils) ;;
  # openbox draws the windows' frames in the screenshots.
  screenshots) want+=(xvfb x11-apps imagemagick fonts-dejavu-core umockdev libumockdev-dev
                      poppler-utils openbox) ;;
  package) want+=(dpkg-dev file lintian) ;;
  fuzz) want+=(clang) ;;  # and below: libFuzzer and the sanitizers' runtimes of its version
  *) echo "usage: $0 [build|test|screenshots|package|fuzz]" >&2; exit 2 ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
updated=0
install() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  if [ "$updated" -eq 0 ]; then
    "${sudo[@]}" apt-get update -qq
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

install "${want[@]}"
if [ "${1:-build}" = fuzz ]; then
  # libFuzzer comes with the runtimes of the clang that is installed (14 on Debian 12).
  install "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
fi
