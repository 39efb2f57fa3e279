#!/usr/bin/env bash
# Builds the Make, CMake and npm recipes under examples/ with the Corvane of
# the given build folder, checks that each output carries a stamp and no
# fence lines, and that a template without its anchor fails each build. The
# CMake recipe is built against Corvane installed under a fresh prefix, and
# once more with Corvane's sources added through FetchContent; the npm
# recipe installs the package that scripts/pack-npm.sh made.
# Usage: scripts/check-recipes.sh BUILD_DIR
set -euo pipefail

build=$(realpath "$1")
corvane=$build/Corvane
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" && ln -s "$corvane" "$work/bin/Corvane"
export PATH="$work/bin:$PATH"

fail() { echo "FAIL: $*" >&2; exit 1; }
check_stamped() {
  grep -Eq '^const trialExpiresAt = [0-9]+000;$' "$1" || fail "$1 carries no stamp"
  ! grep -Eq '^(/\*|\*/)$' "$1" || fail "$1 still holds a fence line"
}
# Copies a recipe into the work folder, without its anchor when asked.
copy_recipe() {
  cp -r "$root/examples/$1" "$work/$2"
  if [ "${3:-}" = broken ]; then
    find "$work/$2" -name trial.js.in -exec sed -i 's/EXPIRY_DATE/0/' {} +
  fi
}

echo "== Make"
copy_recipe make make
make -s -C "$work/make" >/dev/null
check_stamped "$work/make/build/trial.js"
make -q -C "$work/make" || fail "make rebuilds an up-to-date output"
touch "$work/make/src/trial.js.in"
! make -q -C "$work/make" || fail "make does not see the changed template"
copy_recipe make make-broken broken
! make -s -C "$work/make-broken" >/dev/null 2>&1 || fail "make succeeds without the anchor"
[ ! -e "$work/make-broken/build/trial.js" ] || fail "make keeps a failed output"

echo "== CMake, against an installed prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
# Found through the prefix alone, not through PATH.
export PATH="${PATH#"$work/bin:"}"
copy_recipe cmake cmake
cmake -S "$work/cmake" -B "$work/cmake/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake/build" >/dev/null
check_stamped "$work/cmake/build/stamped/trial.js"
grep -q 'Stamping' <<<"$(cmake --build "$work/cmake/build")" && fail "cmake restamps an up-to-date output"
touch "$work/prefix/bin/Corvane"
grep -q 'Stamping' <<<"$(cmake --build "$work/cmake/build")" || fail "cmake does not restamp when the tool changes"
copy_recipe cmake cmake-broken broken
cmake -S "$work/cmake-broken" -B "$work/cmake-broken/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
! cmake --build "$work/cmake-broken/build" >/dev/null 2>&1 || fail "cmake succeeds without the anchor"
[ ! -e "$work/cmake-broken/build/stamped/trial.js" ] || fail "cmake leaves an output behind"
! cmake --build "$work/cmake-broken/build" >/dev/null 2>&1 || fail "a second cmake build takes the failed output as done"
export PATH="$work/bin:$PATH"

echo "== CMake, with Corvane's sources through FetchContent"
copy_recipe cmake cmake-fetched
cmake -S "$work/cmake-fetched" -B "$work/cmake-fetched/build" -DTRIAL_CORVANE_SOURCE_DIR="$root" >/dev/null
cmake --build "$work/cmake-fetched/build" -j2 >/dev/null
check_stamped "$work/cmake-fetched/build/stamped/trial.js"

echo "== npm, with the package from build-npm (scripts/pack-npm.sh)"
tarball=$(ls "$root"/build-npm/corvane-*.tgz 2>/dev/null) || fail "no npm package: run scripts/pack-npm.sh first"
# The package's Corvane, not one found on PATH.
export PATH="${PATH#"$work/bin:"}"
for recipe in npm npm-broken; do
  copy_recipe npm "$recipe" "${recipe#npm-}"
  (cd "$work/$recipe" && npm install --offline --no-audit --no-fund --no-save "$tarball" >/dev/null 2>&1) ||
    fail "npm cannot install $tarball"
done
(cd "$work/npm" && npm run --silent build) | grep -q '^Trial valid until ' || fail "npm build did not run the stamped code"
check_stamped "$work/npm/src/trial.js"
! (cd "$work/npm-broken" && npm run --silent build >/dev/null 2>&1) || fail "npm build succeeds without the anchor"

echo "recipes built and checked: make, cmake (installed and fetched), npm"
