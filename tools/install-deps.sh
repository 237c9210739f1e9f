#!/usr/bin/env bash
# Installs from Debian's archive what building and testing Crumple needs, and
# from the npm registry the page of `crumple view` (three.js) and the browser
# driver of its tests, at the versions tools/view/package-lock.json pins.
# Does nothing (and needs no root) when everything is already there.
set -euo pipefail

packages=(cmake make g++ binutils googletest libgtest-dev libbenchmark-dev pkg-config libassimp-dev nlohmann-json3-dev libcli11-dev libosmesa6-dev libpng-dev
  clang libclang-rt-14-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64
  g++-i686-linux-gnu g++-aarch64-linux-gnu qemu-user
  nodejs chromium)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The machine's own npm may be newer than Debian's; Debian's only when there is none.
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# npm ci again whenever the lock file changed since the last install.
view="$(dirname "$0")/view"
if [ ! -f "$view/node_modules/.package-lock.json" ] || [ "$view/package-lock.json" -nt "$view/node_modules/.package-lock.json" ]; then
  echo "installing the view's npm packages"
  (cd "$view" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi
