#!/usr/bin/env bash
# Hit time against the floor kernel at 10k, 100k, 1M and 4M vertices, for a
# full hit, a hole-only hit and a hit between vertices: five rounds in one run,
# each round's hit and floors timed together. Two floors: the naive one, and
# that plus one copy of the whole index capacity, which every hit's upload
# makes. Prints per case the median hit, both floors and both ratios over the
# rounds, each ratio's spread (min to max), and the plug-in's own heap in a
# hit (at its peak, and kept after it) beside the index array.
# Extra arguments go to the benchmark: --benchmark_filter=BM_HitVsFloor/2827/
# runs the 8M-vertex grid instead (about 4 GB of memory, 2 minutes a round).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc 2>/dev/null || echo 2)" --target crumple_bench >/dev/null
rounds="${ROUNDS:-5}"
csv=build/speed-report.csv
build/crumple_bench --benchmark_filter="BM_HitVsFloor/(100|316|999|1999)/" --benchmark_repetitions="$rounds" \
  --benchmark_format=csv "$@" 2>/dev/null >"$csv"
awk -F, -v rounds="$rounds" '
  function median(list, n,    i, j, t, a) {
    split(list, a, " "); n = 0; for (i in a) n++
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i }; next }
  $1 ~ /_(mean|median|stddev|cv)"?$/ { next }
  {
    name = $1; gsub(/"/, "", name); split(name, p, "/"); key = p[2] "/" p[3]
    if (!(key in seen)) { seen[key] = 1; order[++count] = key }
    hit[key] = hit[key] " " $col["hit_us"]; flo[key] = flo[key] " " $col["floor_us"]; rat[key] = rat[key] " " $col["ratio"]
    cfl[key] = cfl[key] " " $col["floor_copy_us"]; crat[key] = crat[key] " " $col["ratio_copy"]
    peak[key] = $col["peak_MB"]; kept[key] = $col["kept_MB"]; indexes[key] = $col["index_array_MB"]
    r = $col["ratio"] + 0
    if (!(key in lo) || r < lo[key]) lo[key] = r
    if (!(key in hi) || r > hi[key]) hi[key] = r
    c = $col["ratio_copy"] + 0
    if (!(key in clo) || c < clo[key]) clo[key] = c
    if (!(key in chi) || c > chi[key]) chi[key] = c
  }
  END {
    split("full hit,hole only,between vertices", kinds, ",")
    printf "%-10s %-17s %10s %10s %7s %13s %12s %7s %13s %8s %8s %9s\n", "vertices", "case", "hit (us)", "floor (us)", "ratio", "spread", "+copy (us)", "ratio", "spread", "peak MB", "kept MB", "index MB"
    for (i = 1; i <= count; i++) {
      key = order[i]; split(key, p, "/")
      printf "%-10d %-17s %10.1f %10.1f %6.2fx %6.2f-%.2fx %12.1f %6.2fx %6.2f-%.2fx %8.2f %8.2f %9.1f\n", (p[1] + 1) * (p[1] + 1), kinds[p[2] + 1],
             median(hit[key]), median(flo[key]), median(rat[key]), lo[key], hi[key],
             median(cfl[key]), median(crat[key]), clo[key], chi[key], peak[key], kept[key], indexes[key]
    }
    printf "%d rounds per case; every round in %s\n", rounds, FILENAME
  }' "$csv"
