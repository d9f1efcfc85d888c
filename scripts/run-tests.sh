#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize, builds and runs them
# in the AddressSanitizer + UndefinedBehaviorSanitizer build instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  "$root/scripts/build.sh" "$dir" -DFRETFILE_SANITIZE=ON -DFRETFILE_BUILD_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir="$root/build"
  "$root/scripts/build.sh" "$dir"
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600
