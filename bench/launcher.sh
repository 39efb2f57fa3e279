#!/usr/bin/env bash
# Measures what the npm package's Node launcher adds to a run: the tool run
# directly against the same tool run through npm/bin/Corvane, on a 200-line
# file, side by side with hyperfine. (Installed with its scripts on POSIX,
# the package runs the binary itself, which costs nothing extra.)
# Usage: bench/launcher.sh [RUNS]   Needs: cmake, g++, node, hyperfine.
set -euo pipefail
runs=${1:-100}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" -j2 --target Corvane >/dev/null
corvane=$root/build-bench/Corvane
awk -v LINES=200 -f "$root/bench/gen.awk" >"$work/tiny.js"

CORVANE_BINARY=$corvane hyperfine -N --warmup 10 --runs "$runs" --export-markdown "$work/table.md" \
  --prepare "rm -f $work/out.js" \
  -n "Corvane, direct" "$corvane $work/tiny.js /* */ EXPIRY_DATE $work/out.js" \
  -n "Corvane through the Node launcher" \
  "$(command -v node) $root/npm/bin/Corvane $work/tiny.js /* */ EXPIRY_DATE $work/out.js" >/dev/null
cat "$work/table.md"
