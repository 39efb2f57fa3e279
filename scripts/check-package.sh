#!/usr/bin/env bash
# Checks what a user installs: the manual page renders without warnings,
# `cmake --install` lays out bin/, the manual and the CMake package under a
# prefix and under DESTDIR, the tool is built hardened, and CPack's .deb
# (which lintian must accept) and .tar.gz hold a working tool, a gzipped
# manual page, the copyright and the changelog.
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail

build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== manual page"
warnings=$(groff -ww -z -man "$build/Corvane.1" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
warnings=$(MANWIDTH=80 man --warnings -l "$build/Corvane.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns: $warnings"

echo "== install"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/Corvane" ] || fail "no bin/Corvane under the prefix"
[ -f "$work/prefix/share/man/man1/Corvane.1" ] || fail "no manual page under the prefix"
[ -f "$work/prefix/lib/cmake/Corvane/CorvaneConfig.cmake" ] || fail "no CMake package under the prefix"
[ -f "$work/prefix/lib/cmake/Corvane/CorvaneConfigVersion.cmake" ] || fail "no CMake package version"
[ "$("$work/prefix/bin/Corvane" --version)" = "Corvane $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] ||
  fail "--version does not give the project's version"
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local >/dev/null
[ -x "$work/stage/usr/local/bin/Corvane" ] || fail "DESTDIR staging lost bin/Corvane"
[ -f "$work/stage/usr/local/share/man/man1/Corvane.1" ] || fail "DESTDIR staging lost the manual"

echo "== hardening"
flags=$(cat "$build"/CMakeFiles/Corvane.dir/flags.make "$build"/CMakeFiles/corvane_core.dir/flags.make)
for flag in -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fPIE; do
  grep -q -- "$flag" <<<"$flags" || fail "the tool is built without $flag"
done
headers=$(readelf -d -l "$build/Corvane")
grep -q 'GNU_RELRO' <<<"$headers" || fail "no read-only relocations"
grep -q 'BIND_NOW' <<<"$headers" || fail "relocations are not bound at start-up"
grep -q 'DYN (Position-Independent Executable' <<<"$(readelf -h "$build/Corvane")" || fail "not a PIE"

echo "== packages"
(cd "$build" && rm -f ./*.deb ./*.tar.gz && cpack >/dev/null)
deb=$(ls "$build"/corvane_*.deb)
info=$(dpkg-deb -I "$deb")
for field in "Package: corvane" "Maintainer: " "Description: " "Depends: libc6" "Version: "; do
  grep -q "^ $field" <<<"$info" || fail "the .deb lacks '$field'"
done
lintian_report=$(lintian -I "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$lintian_report" ] || fail "lintian: $lintian_report"
dpkg-deb -x "$deb" "$work/deb"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$work/deb/usr/share/doc/corvane/copyright" || fail "the .deb lacks a machine-readable copyright"
zcat "$work/deb/usr/share/doc/corvane/changelog.gz" | grep -q '^corvane (' || fail "the .deb lacks the changelog"
[ -f "$work/deb/usr/share/man/man1/Corvane.1.gz" ] || fail "the .deb lacks the gzipped manual"
man -l "$work/deb/usr/share/man/man1/Corvane.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
  fail "the packaged manual does not render"
"$work/deb/usr/bin/Corvane" -h | grep -q '^Corvane.exe inputfile ' || fail "the packaged tool does not run"
tar -xzf "$build"/corvane-*.tar.gz -C "$work"
"$work"/corvane-*/usr/bin/Corvane -h >/dev/null || fail "the .tar.gz tool does not run"
[ -f "$work"/corvane-*/usr/share/man/man1/Corvane.1.gz ] || fail "the .tar.gz lacks the manual"
echo "package built and checked: $(basename "$deb")"
