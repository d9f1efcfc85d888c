#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a number of seconds.
#
#   fuzz/run.sh SECONDS [TARGET...]          (default: every target)
#   fuzz/run.sh --kept SECONDS [TARGET...]   what CI runs
#
# Without --kept the targets run one after another, on one core at low
# priority; corpora grow in fuzz/corpus-<target>/, crashes land in
# fuzz/artifacts/; copy each one worth keeping to fuzz/regressions/ (the
# test suite replays it).
#
# With --kept each target starts from its kept inputs only: the seeds
# make_seed_corpus writes and fuzz/regressions/<target>/, copied into a
# fresh corpus in the build folder (fuzz/ stays as it is). The targets run
# side by side, one per core; each one's libFuzzer log goes to
# <build>/kept/<target>.log and one line per target is printed. A crash, a
# hang, a leak or a broken property fails the run (exit 1) and prints the
# end of that target's log and where its input was kept.
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz next to the sources),
# FRETFILE_TESTDATA (default ../shared/testdata) for the seed corpora.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
kept=false
if [ "${1:-}" = "--kept" ]; then
  kept=true
  shift
fi
seconds=${1:?usage: fuzz/run.sh [--kept] SECONDS [TARGET...]}
shift
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
testdata=${FRETFILE_TESTDATA:-$root/../shared/testdata}
targets=${*:-zip_find walk unzip_archive unzip_stored unzip_shrink unzip_reduce unzip_implode unzip_deflate dir_list zippack_add sfx_header}

# clang and its libFuzzer and sanitizer runtimes.
"$root/scripts/setup.sh" --fuzz

if [ ! -f "$build/build.ninja" ]; then
  CXX=clang++ CC=clang cmake -S "$root" -B "$build" -G Ninja -DFRETFILE_FUZZ=ON \
    -DFRETFILE_BUILD_TESTS=OFF -DFRETFILE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
jobs=1
$kept && jobs=$(nproc)
build_targets=(make_seed_corpus)
for t in $targets; do build_targets+=("fuzz_$t"); done
if $kept; then
  cmake --build "$build" -j"$jobs" --target "${build_targets[@]}" >"$build/build.log" 2>&1 || {
    tail -30 "$build/build.log"
    echo "FAILED: building the fuzz targets (log: $build/build.log)"
    exit 1
  }
else
  cmake --build "$build" -j1 --target "${build_targets[@]}"
fi

# One target's run: fuzz_TARGET for the given seconds over CORPUS (and the
# further input folders), its output into LOG. The scratch folder the
# target makes for itself (named by its process id) goes with it.
run_target() {
  local t=$1 corpus=$2 artifacts=$3 log=$4
  shift 4
  local status=0 pid
  nice -n 10 "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    -max_len=70000 -artifact_prefix="$artifacts/$t-" -print_final_stats=1 "$corpus" "$@" >"$log" 2>&1 &
  pid=$!
  wait "$pid" || status=$?
  rm -rf "/dev/shm/fretfile-fuzz-$pid" "/tmp/fretfile-fuzz-$pid"
  return "$status"
}

if ! $kept; then
  # Without the test data the seeds are the archives the program writes.
  "$build/fuzz/make_seed_corpus" "$testdata" "$here" >/dev/null
  mkdir -p "$here/artifacts"
  for t in $targets; do
    mkdir -p "$here/corpus-$t"
    echo "== fuzz_$t for ${seconds}s"
    run_target "$t" "$here/corpus-$t" "$here/artifacts" "$build/fuzz_$t.log" || true
    grep -E '^(stat::|==|#[0-9]+ +DONE|.*ERROR|.*SUMMARY|artifact)' "$build/fuzz_$t.log" || true
  done
  exit 0
fi

work="$build/kept"
rm -rf "$work"
mkdir -p "$work/artifacts"
"$build/fuzz/make_seed_corpus" "$testdata" "$work" >/dev/null
started=$(date +%s)
running=0
for t in $targets; do
  mkdir -p "$work/corpus-$t"
  inputs=()
  [ -d "$here/regressions/$t" ] && inputs+=("$here/regressions/$t")
  (
    status=0
    run_target "$t" "$work/corpus-$t" "$work/artifacts" "$work/$t.log" "${inputs[@]}" || status=$?
    echo "$status" >"$work/$t.status"
  ) &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

failed=0
for t in $targets; do
  log="$work/$t.log"
  status=$(cat "$work/$t.status" 2>/dev/null || echo "?")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(sed -n 's/^#[0-9]*[[:space:]]*DONE[[:space:]]*cov: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  inputs=$(find "$work/corpus-$t" -type f | wc -l)
  if [ "$status" = 0 ]; then
    printf 'fuzz_%-15s ok: %s runs, coverage %s, corpus %s inputs\n' "$t" "${runs:-?}" "${coverage:-?}" "$inputs"
  else
    failed=$((failed + 1))
    echo "fuzz_$t FAILED (exit $status); the end of $log:"
    tail -40 "$log" | sed 's/^/  /'
    ls "$work/artifacts/$t-"* 2>/dev/null | sed 's/^/  input kept in /' || true
  fi
done
echo "fuzzing: ${seconds}s per target, $jobs at a time, $(($(date +%s) - started))s in all; $failed failed"
[ "$failed" -eq 0 ]
