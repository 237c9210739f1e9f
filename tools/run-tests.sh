#!/usr/bin/env bash
# The whole test suite, each part run by CTest: the gcc build, a clang build,
# a build under AddressSanitizer and UndefinedBehaviorSanitizer, 32-bit x86
# and 64-bit ARM Linux builds under qemu-user, the Windows x64 build under
# Wine, and the Windows x86 build's export table; then the libFuzzer targets,
# their saved inputs replayed and a fixed number of runs each from a fixed
# seed (tools/fuzz.sh --ci), the same on every machine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

for preset in linux linux-clang linux-sanitize linux-i686 linux-aarch64 windows-x64 windows-x86; do
  echo "=== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

echo "=== fuzz"
tools/fuzz.sh --ci -j"$jobs"
