#!/usr/bin/env bash
# Installs what the build, the tests and the demo use (Debian 12). Quick when all is there.
# `bootstrap.sh demo` installs only what building the program for the demo needs.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config nlohmann-json3-dev libusb-1.0-0-dev libpq-dev)
if [ "${1:-}" != demo ]; then
  packages+=(
    clang-format dpkg-dev
    libgtest-dev libgmock-dev googletest
    g++-mingw-w64-x86-64-posix
    wine wine64 xvfb xauth nsis
    dfu-util
    postgresql
    clang libclang-rt-14-dev
    qemu-system-x86 linux-image-amd64 busybox-static udev cpio
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  # The kernel is only booted in QEMU by the USB tests: no initramfs of its own (INITRD=No).
  $sudo env INITRD=No apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
