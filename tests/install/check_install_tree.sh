#!/bin/bash
# cmake --install into a temporary root: every file lands where the
# installed programs and the desktop look for it, the programs find their
# private folder through their RUNPATH, and the desktop entry, the AppStream
# metainfo and the manual pages pass their validators.
#   check_install_tree.sh BUILD_DIR INSTALL_PREFIX PRIVATE_DIR
set -u
build="$1" prefix="$2" private="$3"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$stage" cmake --install "$build" > "$stage.log" 2>&1 || { cat "$stage.log"; rm -f "$stage.log"; exit 1; }
rm -f "$stage.log"
root="$stage$prefix"
id=org.fretfile.fretfile

expected="$(
  {
    printf '%s\n' bin/fretfile bin/fretfile-cli "${private#"$prefix"/}/libzippack.so" "${private#"$prefix"/}/SFXSTUB.BIN" \
      share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
      share/man/man1/fretfile.1.gz share/man/man1/fretfile-cli.1.gz \
      share/doc/fretfile/copyright share/doc/fretfile/changelog.gz
    for size in 16 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/$id.png"; done
  } | sort
)"
installed="$(cd "$stage" && find . ! -type d | sed "s#^\./${prefix#/}/##" | sort)"
[ "$installed" = "$expected" ] || fail "installed files differ:$(diff <(echo "$expected") <(echo "$installed") | grep '^[<>]')"

# Nothing writable beside the programs, or in the private folder.
writable="$(find "$root/bin" "$root/${private#"$prefix"/}" -perm /022)"
[ -z "$writable" ] || fail "writable by others: $writable"

# The same in the build tree, whose programs are copied into collection
# folders: an empty entry there would be the current folder.
for program in "$root/bin/fretfile" "$root/bin/fretfile-cli" "$build/src/fretfile" "$build/tools/fretfile-cli"; do
  runpath="$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
  [ "$runpath" = "$private" ] || fail "$program has RUNPATH '$runpath', not '$private'"
done

for size in 16 24 32 48 64 128 256; do
  # The PNG's width and height, big-endian at bytes 16 to 23.
  header="$(od -An -tx1 -j16 -N8 "$root/share/icons/hicolor/${size}x${size}/apps/$id.png" | tr -d ' \n')"
  [ "$header" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "the ${size}x${size} icon is $header"
done

# Hints too: an entry the validator has anything to say about is not done.
said="$(desktop-file-validate "$root/share/applications/$id.desktop" 2>&1)" && [ -z "$said" ] ||
  fail "desktop-file-validate: $said"
appstreamcli validate --no-net --pedantic "$root/share/metainfo/$id.metainfo.xml" > "$stage/appstream" 2>&1 ||
  { cat "$stage/appstream"; fail "appstreamcli validate"; }
for page in fretfile fretfile-cli; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/share/man/man1/$page.1.gz" 2>&1 > /dev/null)"
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

[ "$failures" -eq 0 ] && echo "installation tree checked"
[ "$failures" -eq 0 ]
