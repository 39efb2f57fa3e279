#!/usr/bin/env bash
# Builds the binaries that the npm package carries (a fully static
# linux-x64 one and the MinGW win32-x64 one), stages the package with the
# tool's sources for the from-source fallback, and writes
# build-npm/corvane-<version>.tgz with `npm pack`. Run from anywhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/deps.sh g++-mingw-w64-x86-64
command -v npm >/dev/null || scripts/deps.sh npm
version=$(sed -n 's/^project(Corvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=$root/build-npm

cmake -S . -B "$out/linux-x64" -DCORVANE_TESTS=OFF -DCORVANE_INSTALL=OFF -DCORVANE_FULLY_STATIC=ON >/dev/null
cmake --build "$out/linux-x64" -j2 --target Corvane >/dev/null
cmake -S . -B "$out/win32-x64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCORVANE_TESTS=OFF -DCORVANE_INSTALL=OFF >/dev/null
cmake --build "$out/win32-x64" -j2 --target Corvane >/dev/null

stage=$out/package
rm -rf "$stage" && mkdir -p "$stage/prebuilt/linux-x64" "$stage/prebuilt/win32-x64" "$stage/src"
cp -r npm/bin npm/lib npm/install.js npm/package.json npm/README.md LICENSE "$stage/"
cp src/*.cpp src/*.hpp "$stage/src/"
cp "$out/linux-x64/Corvane" "$stage/prebuilt/linux-x64/"
cp "$out/win32-x64/Corvane.exe" "$stage/prebuilt/win32-x64/"
strip "$stage/prebuilt/linux-x64/Corvane"
x86_64-w64-mingw32-strip "$stage/prebuilt/win32-x64/Corvane.exe"
# The package's version is the project's.
(cd "$stage" && npm pkg set version="$version" >/dev/null)
rm -f "$out"/corvane-*.tgz
(cd "$stage" && npm pack --silent --pack-destination "$out" >/dev/null)
echo "packed: $out/corvane-$version.tgz ($(du -k "$out/corvane-$version.tgz" | cut -f1) KiB)"
