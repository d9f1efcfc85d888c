#!/usr/bin/env bash
# Builds the Debian package dist/fretfile_<version>_amd64.deb (CPack's DEB
# generator, with the dependencies dpkg-shlibdeps finds):
#   scripts/package.sh           build the package
#   scripts/package.sh --check   build it, then install it into a throwaway
#                                Debian 12 root and try it there (needs root,
#                                debootstrap and Debian's package mirror, or
#                                the one FRETFILE_CHECK_MIRROR names;
#                                downloads a few hundred MB)
# Then, as root or with sudo: apt-get install ./dist/fretfile_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
check=false
case "${1:-}" in
  "") ;;
  --check) check=true ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named packages where they are missing.
need_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq && as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

"$root/scripts/setup.sh"
# CPack's DEB generator finds the programs with file and their dependencies
# with dpkg-shlibdeps; lintian checks the package it made.
need_packages dpkg-dev file lintian

build="$root/build-package"
# Debian's build flags with every hardening feature (stack protector,
# fortified functions, read-only relocations, immediate binding), as
# Debian's own packages are built; stripped as they are stripped.
# FRETFILE_PACKAGE_CONTACT="Name <address>" names the maintainers (else
# the default of packaging/CMakeLists.txt, also after a run that named them).
contact=(-UFRETFILE_PACKAGE_CONTACT)
[ -n "${FRETFILE_PACKAGE_CONTACT:-}" ] && contact=("-DFRETFILE_PACKAGE_CONTACT=$FRETFILE_PACKAGE_CONTACT")
flag() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
cxxflags="$(flag CPPFLAGS) $(flag CXXFLAGS)"
ldflags="$(flag LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DFRETFILE_BUILD_TESTS=OFF -DFRETFILE_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_STRIP="$root/packaging/strip-for-package.sh" \
  "${contact[@]}" > /dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" > /dev/null)
debs=("$build"/cpack/fretfile_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "CPack made no package" >&2; exit 1; }
mkdir -p "$root/dist"
rm -f "$root"/dist/fretfile_*.deb
cp "${debs[0]}" "$root/dist/"
deb="$root/dist/$(basename "${debs[0]}")"
echo "Built $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
# What Debian's package checker says, informational tags included.
lintian_said="$(lintian --display-info "$deb" 2>&1 | grep -v 'running with root privileges' || true)"
if [ -n "$lintian_said" ]; then
  echo "lintian:"
  printf '%s\n' "$lintian_said" | sed 's/^/  /'
else
  echo "lintian: nothing to say"
fi

$check || exit 0

# --- the throwaway root --------------------------------------------------------------------------

skip() {
  echo "Check skipped: $*"
  exit 0
}
[ "$(id -u)" -eq 0 ] || skip "debootstrap and chroot need root."
command -v debootstrap > /dev/null || need_packages debootstrap || skip "debootstrap cannot be installed."

# debootstrap's own default mirror, unless FRETFILE_CHECK_MIRROR names another.
mirror=(${FRETFILE_CHECK_MIRROR:+"$FRETFILE_CHECK_MIRROR"})
work="$(mktemp -d "${TMPDIR:-/var/tmp}/fretfile-check.XXXXXX")"
target="$work/root"
cleanup() {
  umount "$target/proc" 2> /dev/null || true
  # Never into anything still mounted below the root.
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

# The downloaded packages are kept for the next check; the root is new
# each time.
mkdir -p "$build/debootstrap-cache"
echo "Bootstrapping Debian 12 (bookworm, minbase) into $target ..."
debootstrap --variant=minbase --cache-dir="$build/debootstrap-cache" bookworm "$target" "${mirror[@]}" \
  > "$work/debootstrap.log" 2>&1 || {
  tail -5 "$work/debootstrap.log"
  skip "debootstrap could not make a Debian 12 root (no network or no mirror?)."
}
mount -t proc proc "$target/proc" || skip "cannot mount /proc in the throwaway root."
cp /etc/resolv.conf "$target/etc/resolv.conf" 2> /dev/null || true
mkdir -p "$target/root/dist"
cp "$deb" "$target/root/dist/"

echo "Installing the package as the README says ..."
chroot "$target" /bin/sh -c 'apt-get update -qq && cd /root &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./dist/fretfile_*.deb' > "$work/install.log" 2>&1 || {
  tail -20 "$work/install.log"
  echo "FAILED: apt-get install ./dist/fretfile_*.deb"
  exit 1
}
grep -E "newly installed|^Need to get|^(Unpacking|Setting up) fretfile" "$work/install.log" || true

cp "$root/packaging/check-installed.sh" "$target/root/"
if chroot "$target" /bin/bash /root/check-installed.sh; then
  echo "Check passed: the package installs on a fresh Debian 12 and works there."
else
  echo "Check FAILED."
  exit 1
fi
