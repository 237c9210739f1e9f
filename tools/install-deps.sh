#!/usr/bin/env bash
# Installs from Debian's archive what building and testing Crumple needs.
# Does nothing (and needs no root) when everything is already there.
set -euo pipefail

packages=(cmake make g++ binutils googletest libgtest-dev libbenchmark-dev pkg-config libassimp-dev nlohmann-json3-dev libcli11-dev libosmesa6-dev libpng-dev
  clang libclang-rt-14-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64
  g++-i686-linux-gnu g++-aarch64-linux-gnu qemu-user)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
