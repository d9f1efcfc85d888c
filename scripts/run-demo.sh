#!/usr/bin/env bash
# Sets up, builds and starts Fretfile on the demo collection.
#
# The program's own folder is its collection, so this lays out run/ with the
# program, fretfile-cli, the compression library libzippack.so, the
# self-extractor's stub SFXSTUB.BIN and a copy of demo/'s archives and index,
# brings the indexes up to date with the copies, and starts the program
# there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"

run="$root/run"
mkdir -p "$run"
cp "$root/build/src/fretfile" "$root/build/tools/fretfile-cli" "$root/build/src/libzippack.so" \
  "$root/build/src/SFXSTUB.BIN" "$run/"
cp "$root"/demo/*.zip "$root/demo/kest.idx" "$run/"
# The lyrics index, and the stamps that tell which archives change later.
"$run/fretfile-cli" rebuild --dir "$run" >/dev/null 2>&1 ||
  echo "The indexes could not be brought up to date; \"Rebuild Index\" in the window does it."
echo "Collection folder: $run"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat <<MSG
No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window
can be shown here. To run it anyway:
  xvfb-run -a $run/fretfile                 (on a virtual X display)
  QT_QPA_PLATFORM=offscreen $run/fretfile   (no window at all)
or run this script from a desktop session.
MSG
  exit 1
fi
exec "$run/fretfile"
