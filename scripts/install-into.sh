#!/usr/bin/env bash
# Builds Fretfile and copies the program, fretfile-cli, the compression
# library libzippack.so and the self-extractor's stub SFXSTUB.BIN (which both
# take from their own folder) into your own collection folder (the folder
# that holds your artist archives):
#   scripts/install-into.sh ~/Music/songs
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:?usage: scripts/install-into.sh COLLECTION_FOLDER}"
[ -d "$target" ] || { echo "No such folder: $target" >&2; exit 1; }
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
cp "$root/build/src/fretfile" "$root/build/tools/fretfile-cli" "$root/build/src/libzippack.so" \
  "$root/build/src/SFXSTUB.BIN" "$target/"
echo "Installed into $target. Start $target/fretfile and press \"Rebuild Index\"."
