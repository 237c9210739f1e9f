#!/usr/bin/env bash
# Builds the fuzz preset, replays every seed and regression input
# (`ctest --preset fuzz`), then runs each libFuzzer target for SECONDS
# (default 30) on a working copy of its corpus. Exits 1 when the replay fails
# or on any finding; the input that found it is kept under
# build-fuzz/findings/<target>/.
#
#   tools/fuzz.sh [-j JOBS] [-t TARGET[,TARGET...]] [-k] [--fresh] [SECONDS]
#   tools/fuzz.sh --ci [-j JOBS] [-t TARGET[,TARGET...]]
#
#   -j JOBS   targets run at once (default 1; each takes one core)
#   -t        only these targets (fuzz_scene, fuzz_import, fuzz_channel_file, fuzz_plugin, fuzz_view)
#   -k        keep going after a finding (libFuzzer's fork mode), saving
#             every finding, for long unattended runs
#   --fresh   start from the repository's corpus again; otherwise what
#             earlier runs added to build-fuzz/fuzz-work/ is kept, so long
#             runs (tools/fuzz.sh 1800) build on each other
#   --ci      what the test suite runs: each target a fixed number of runs
#             from seed 1 on the repository's corpus alone, so one commit
#             gives the same runs, corpus and result on every machine; one
#             line per target
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

jobs=1
seconds=30
fresh=0
ci=0
keep_going=()
targets=(fuzz_scene fuzz_import fuzz_channel_file fuzz_plugin fuzz_view)
while [ $# -gt 0 ]; do
  case "$1" in
    -j) jobs="$2"; shift 2 ;;
    -j*) jobs="${1#-j}"; shift ;;
    -t) IFS=, read -r -a targets <<<"$2"; shift 2 ;;
    -k) keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1); shift ;;
    --fresh) fresh=1; shift ;;
    --ci) ci=1; shift ;;
    -h|--help) sed -n '2,21p' "$0"; exit 0 ;;
    *[!0-9]*|'') echo "fuzz.sh: unknown argument '$1'" >&2; exit 2 ;;
    *) seconds="$1"; shift ;;
  esac
done

tools/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz
# A failed replay is reported at the end; the targets still run.
replay=ok
ctest --preset fuzz || replay=FAILED

build="$root/build-fuzz"
# A single request past 2 GB fails as on an ordinary build (fuzz_import's
# new then throws std::bad_alloc, throwing_new.cpp) instead of ending the run.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=2048:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp"

# Longest input each target is given; the seeds are well below.
max_len() {
  case "$1" in
    fuzz_scene) echo 8192 ;;
    fuzz_import) echo 16384 ;;
    fuzz_channel_file) echo 32768 ;;
    fuzz_plugin) echo 4096 ;;
    fuzz_view) echo 4096 ;;
  esac
}

# Seconds one input may take before it counts as a hang; Assimp under the
# sanitizers is the slowest.
input_timeout() {
  case "$1" in
    fuzz_import) echo 30 ;;
    *) echo 15 ;;
  esac
}

# Runs each target makes under --ci, the corpus's own first; about a minute
# of a shared machine's core each.
ci_runs() {
  case "$1" in
    fuzz_scene) echo 200000 ;;
    fuzz_import) echo 2500 ;;
    fuzz_channel_file) echo 60000 ;;
    fuzz_plugin) echo 10000 ;;
    fuzz_view) echo 20000 ;;
  esac
}

dict() {
  case "$1" in
    fuzz_scene) echo "-dict=$root/fuzz/scene.dict" ;;
    fuzz_import) echo "-dict=$root/fuzz/import.dict" ;;
    fuzz_view) echo "-dict=$root/fuzz/view.dict" ;;
  esac
}

# A target's result from its exit status and the inputs it saved since
# $work/started: ok, FAILED or FINDING, in one line.
outcome() {
  local status="$1" work="$2" findings="$3" found count
  found=$(find "$findings" -maxdepth 1 -type f -newer "$work/started" \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  count=$(printf '%s' "$found" | grep -c . || true)
  if [ "$status" -eq 0 ] && [ "$count" -eq 0 ]; then
    echo "ok"
  elif [ "$count" -eq 0 ]; then
    echo "FAILED (exit $status, no input saved), log $work/log"
  else
    echo "FINDING: $count saved, first $(echo "$found" | head -1), log $work/log"
  fi
}

# One target: writes its log and a one-line result to build-fuzz/fuzz-work/<target>/.
# The regressions are left to the replay: fuzzing starts from the corpus only.
run_target() {
  local t="$1" work="$build/fuzz-work/$1" findings="$build/findings/$1"
  [ "$fresh" -eq 1 ] && rm -rf "$work/corpus"
  mkdir -p "$work/corpus" "$findings"
  cp -n "$root/fuzz/corpus/$t/"* "$work/corpus/" 2>/dev/null || true
  touch "$work/started"
  local status=0
  # shellcheck disable=SC2046
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout="$(input_timeout "$t")" \
    -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/" $(dict "$t") "${keep_going[@]}" \
    "$work/corpus" >"$work/log" 2>&1 || status=$?
  # Executions: the final statistics, or in fork mode the last status line.
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9]*\):.*/\1/p' "$work/log" | tail -1)
  outcome "$status" "$work" "$findings" >"$work/result"
  echo "${runs:-0}" >"$work/runs"
}

# One target under --ci, in build-fuzz/fuzz-ci/<target>/. What could make two
# runs part ways is held fixed: the seed; the inputs, named in sorted order
# (a folder's listing order is the file system's) and nothing left by an
# earlier run; the corpus read once (-reload=0). Comparison tracing is off:
# the values it feeds back to the mutator include addresses, which differ
# with every run's address layout.
run_target_ci() {
  local t="$1" work="$build/fuzz-ci/$1" findings="$build/findings/$1"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$findings"
  find "$root/fuzz/corpus/$t" -type f | LC_ALL=C sort | paste -sd, - >"$work/seeds"
  touch "$work/started"
  local status=0
  # shellcheck disable=SC2046
  (cd "$work" && "$build/fuzz/$t" -seed=1 -runs="$(ci_runs "$t")" -reload=0 -use_cmp=0 \
    -max_len="$(max_len "$t")" -timeout="$(input_timeout "$t")" -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/" $(dict "$t") -seed_inputs="@$work/seeds" "$work/corpus") \
    >"$work/log" 2>&1 || status=$?
  local runs corpus done_line
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" | tail -1 || true)
  # The corpus this run grew, by content: the same on every machine.
  corpus=$(cd "$work/corpus" && find . -type f | LC_ALL=C sort | sha256sum | cut -c1-12)
  local result
  result=$(outcome "$status" "$work" "$findings")
  printf '%s %s runs, seed 1, %s new inputs (corpus %s), %s  %s\n' "$t" "${runs:-0}" \
    "$(find "$work/corpus" -type f | wc -l)" "$corpus" \
    "$(echo "$done_line" | grep -oE 'cov: [0-9]+ ft: [0-9]+' || echo 'no coverage line')" "$result" >"$work/result"
}

running=0
for t in "${targets[@]}"; do
  [ -x "$build/fuzz/$t" ] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
  if [ "$ci" -eq 1 ]; then run_target_ci "$t" & else run_target "$t" & fi
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

failed=0
echo "regression replay (ctest --preset fuzz): $replay"
[ "$replay" = ok ] || failed=1
if [ "$ci" -eq 1 ]; then
  for t in "${targets[@]}"; do
    result=$(cat "$build/fuzz-ci/$t/result")
    echo "$result"
    [ "${result% ok}" != "$result" ] || failed=1
  done
  exit "$failed"
fi
for t in "${targets[@]}"; do
  result=$(cat "$build/fuzz-work/$t/result")
  printf '%-18s %10s runs in %ss  %s\n' "$t" "$(cat "$build/fuzz-work/$t/runs")" "$seconds" "$result"
  [ "$result" = ok ] || failed=1
done
exit "$failed"
