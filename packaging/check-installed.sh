#!/bin/bash
# Run by `scripts/package.sh --check` inside the throwaway Debian 12 root in
# which the package was just installed: does what a user does with the
# installed programs, and checks that nothing is written beside them.
set -u
export LANG=C.UTF-8 HOME=/root
unset XDG_CONFIG_HOME DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# What a desktop session provides.
export XDG_RUNTIME_DIR=/tmp/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
checks=0
failures=0

check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
  local what="$1"
  shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}
same() { [ "$1" = "$2" ] || { echo "     got:      $1"; echo "     expected: $2"; return 1; }; }
# The window on Qt's offscreen platform, stopped after a few seconds: it
# must still be running then (exit 124 from timeout), with nothing said but
# the offscreen platform's note that it has no window manager to tell sizes.
runs_offscreen() {
  local code
  QT_QPA_PLATFORM=offscreen timeout 5 "$@" > /tmp/gui.out 2>&1
  code=$?
  [ -s /tmp/gui.out ] && sed 's/^/     | /' /tmp/gui.out
  [ "$code" -eq 124 ] && ! grep -qv "does not support propagateSizeHints" /tmp/gui.out
}

version="$(dpkg-query -W -f='${Version}' fretfile)"
desktop=/usr/share/applications/org.fretfile.fretfile.desktop
private=/usr/lib/fretfile
touch /tmp/before-first-run
sleep 1
ls -la --time-style=full-iso /usr/bin /usr/lib/fretfile > /tmp/listing-before

echo "== installed files"
check "fretfile and fretfile-cli in /usr/bin" test -x /usr/bin/fretfile -a -x /usr/bin/fretfile-cli
check "libzippack.so and SFXSTUB.BIN in $private" test -f $private/libzippack.so -a -x $private/SFXSTUB.BIN
check "the desktop entry" test -f $desktop
check "the AppStream metainfo" test -f /usr/share/metainfo/org.fretfile.fretfile.metainfo.xml
for size in 16 24 32 48 64 128 256; do
  check "the ${size}x${size} icon" test -f /usr/share/icons/hicolor/${size}x${size}/apps/org.fretfile.fretfile.png
done
check "the manual pages" test -f /usr/share/man/man1/fretfile-cli.1.gz -a -f /usr/share/man/man1/fretfile.1.gz

echo "== versions"
check "fretfile --version" same "$(fretfile --version)" "Fretfile $version"
check "fretfile-cli --version" same "$(fretfile-cli --version)" "fretfile-cli (Fretfile) $version"
check "fretfile --collection DIR --version" same "$(fretfile --collection /tmp --version)" "Fretfile $version"

echo "== fretfile-cli add, into an archive"
mkdir -p /tmp/work /tmp/songs /tmp/extracted /tmp/sfx-out
cd /tmp/work || exit 1
printf 'Am  G  C\nThe first verse\n' > First_Song.txt
printf 'D  A  G\nThe second verse\n' > Second_Song.txt
check "add makes Some_Band.zip" same "$(fretfile-cli add /tmp/songs/Some_Band.zip First_Song.txt Second_Song.txt)" \
  "processed 2"
check "the archive lists two entries" same "$(fretfile-cli list /tmp/songs/Some_Band.zip | cut -f1)" \
  "$(printf 'First_Song.txt\nSecond_Song.txt')"
fretfile-cli extract /tmp/songs/Some_Band.zip --all /tmp/extracted > /dev/null
check "they extract as they were" cmp -s First_Song.txt /tmp/extracted/First_Song.txt
check "rebuild indexes the collection" fretfile-cli rebuild --dir /tmp/songs 2> /dev/null
check "search finds both songs" same "$(fretfile-cli search --dir /tmp/songs band "" 2> /dev/null)" \
  "$(printf 'Some Band\tFirst Song.txt\nSome Band\tSecond Song.txt')"

echo "== fretfile-cli add, a self-extracting archive"
check "add makes Songs.EXE" same "$(fretfile-cli add Songs.EXE First_Song.txt Second_Song.txt)" "processed 2"
check "it starts with the installed SFXSTUB.BIN" cmp -s -n "$(stat -c %s $private/SFXSTUB.BIN)" \
  Songs.EXE $private/SFXSTUB.BIN
printf '/tmp/sfx-out\n\n' | ./Songs.EXE > /tmp/sfx.out 2>&1
code=$?
sed 's/^/     | /' /tmp/sfx.out
check "Songs.EXE extracts with answers on its input" test "$code" -eq 0
check "what it extracted is what went in" cmp -s Second_Song.txt /tmp/sfx-out/Second_Song.txt

echo "== fretfile"
# A window open on a collection has made its temp/ folder there.
check "fretfile --collection DIR starts offscreen" runs_offscreen fretfile --collection /tmp/songs
check "... on that folder" test -d /tmp/songs/temp
exec_line="$(sed -n 's/^Exec=//p' $desktop)"
# The first start from the menu asks for the folder (and waits for the
# answer); a later one opens the folder remembered.
check "the menu entry's command starts, asking for the folder" \
  env XDG_CONFIG_HOME=/tmp/config-first bash -c "$(declare -f runs_offscreen); runs_offscreen $exec_line"
mkdir -p /tmp/config/fretfile /tmp/remembered
cp /tmp/songs/Some_Band.zip /tmp/songs/kest.idx /tmp/remembered/
printf '[Collection]\nFolder=/tmp/remembered\n' > /tmp/config/fretfile/fretfile.conf
check "the menu entry's command starts on the remembered folder" \
  env XDG_CONFIG_HOME=/tmp/config bash -c "$(declare -f runs_offscreen); runs_offscreen $exec_line"
check "... on that folder" test -d /tmp/remembered/temp

echo "== nothing written beside the programs"
ls -la --time-style=full-iso /usr/bin /usr/lib/fretfile > /tmp/listing-after
check "/usr/bin and $private unchanged" diff /tmp/listing-before /tmp/listing-after
check "nothing under /usr changed since the first run" same "$(find /usr -newer /tmp/before-first-run)" ""

echo "$checks checks, $failures failed"
[ "$failures" -eq 0 ]
