#!/usr/bin/env bash
# Builds the plug-in and the crumple tool (Release) into build/ and runs the
# demo: out/demo.png, out/demo.glb and the table of hits. Extra arguments go to
# `crumple demo` (for example --out DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

cmake --preset linux
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target crumple
build/crumple demo "$@"
