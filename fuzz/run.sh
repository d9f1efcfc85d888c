#!/bin/sh
# Builds the fuzz targets and runs each for a number of seconds, one after
# another, on one core at low priority.
#
#   fuzz/run.sh SECONDS [TARGET...]     (default: every target)
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz next to the sources),
# FRETFILE_TESTDATA (default ../shared/testdata) for the seed corpora.
# Corpora grow in fuzz/corpus-<target>/, crashes land in fuzz/artifacts/;
# copy each one worth keeping to fuzz/regressions/ (the test suite replays it).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
testdata=${FRETFILE_TESTDATA:-$root/../shared/testdata}
targets=${*:-zip_find walk unzip_archive unzip_stored unzip_shrink unzip_reduce unzip_implode unzip_deflate dir_list zippack_add sfx_header}

if [ ! -f "$build/build.ninja" ]; then
  CXX=clang++ CC=clang cmake -S "$root" -B "$build" -G Ninja -DFRETFILE_FUZZ=ON \
    -DFRETFILE_BUILD_TESTS=OFF -DFRETFILE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j1 --target make_seed_corpus $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)

# Without the test data the seeds are the archives the program writes.
"$build/fuzz/make_seed_corpus" "$testdata" "$here" >/dev/null
mkdir -p "$here/artifacts"
for t in $targets; do
  mkdir -p "$here/corpus-$t"
  echo "== fuzz_$t for ${seconds}s"
  nice -n 10 "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    -max_len=70000 -artifact_prefix="$here/artifacts/$t-" -print_final_stats=1 "$here/corpus-$t" 2>&1 |
    grep -E '^(stat::|==|#[0-9]+ +DONE|.*ERROR|.*SUMMARY|artifact)' || true
done
