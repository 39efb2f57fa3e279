#!/usr/bin/env bash
# Checks what a user installs: the manual page renders without warnings,
# `cmake --install` lays out bin/ and the manual under a prefix and under
# DESTDIR, and CPack's .deb and .tar.gz hold a working tool and a gzipped
# manual page.
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
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local >/dev/null
[ -x "$work/stage/usr/local/bin/Corvane" ] || fail "DESTDIR staging lost bin/Corvane"
[ -f "$work/stage/usr/local/share/man/man1/Corvane.1" ] || fail "DESTDIR staging lost the manual"

echo "== packages"
(cd "$build" && rm -f ./*.deb ./*.tar.gz && cpack >/dev/null)
deb=$(ls "$build"/corvane_*.deb)
info=$(dpkg-deb -I "$deb")
for field in "Package: corvane" "Maintainer: " "Description: " "Depends: libc6" "Version: "; do
  grep -q "^ $field" <<<"$info" || fail "the .deb lacks '$field'"
done
dpkg-deb -x "$deb" "$work/deb"
[ -f "$work/deb/usr/share/man/man1/Corvane.1.gz" ] || fail "the .deb lacks the gzipped manual"
man -l "$work/deb/usr/share/man/man1/Corvane.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
  fail "the packaged manual does not render"
"$work/deb/usr/bin/Corvane" -h | grep -q '^Corvane.exe inputfile ' || fail "the packaged tool does not run"
tar -xzf "$build"/corvane-*.tar.gz -C "$work"
"$work"/corvane-*/usr/bin/Corvane -h >/dev/null || fail "the .tar.gz tool does not run"
[ -f "$work"/corvane-*/usr/share/man/man1/Corvane.1.gz ] || fail "the .tar.gz lacks the manual"
echo "package built and checked: $(basename "$deb")"
