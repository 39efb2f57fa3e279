#!/usr/bin/env bash
# Measures Corvane against the per-line write floor: a C program that reads
# 64 KiB at a time and writes each line with one write(2), the least any
# tool can do when every line must reach the output before the next is read.
# Runs are interleaved over several rounds and the minimum is kept; the
# console goes to /dev/null throughout, and the previous run's output is
# removed before each run, outside the timing, so that no command pays for
# truncating it.
#
# --variant "CMAKE OPTIONS" also builds Corvane with those options and times
# it beside the default build, e.g. --variant -DCORVANE_HARDENING=OFF.
#
# Usage: bench/run.sh [--lines N] [--rounds R] [--startup-runs S] [--variant OPTIONS]
# Needs: cmake, g++, gcc, awk, sed, hyperfine, /usr/bin/time (Debian
# packages cmake g++ gcc mawk sed hyperfine time).
set -euo pipefail

lines=1000000 rounds=5 startup_runs=200 variant=""
while [ $# -gt 0 ]; do
  case "$1" in
    --lines) lines=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --startup-runs) startup_runs=$2; shift 2 ;;
    --variant) variant=$2; shift 2 ;;
    *) echo "usage: $0 [--lines N] [--rounds R] [--startup-runs S] [--variant OPTIONS]" >&2; exit 2 ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" -j2 >/dev/null
corvane=$root/build-bench/Corvane
tools=(corvane floor awk sed)
if [ -n "$variant" ]; then
  # shellcheck disable=SC2086 # the options are words on purpose
  cmake -S "$root" -B "$root/build-bench-variant" -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF $variant >/dev/null
  cmake --build "$root/build-bench-variant" -j2 >/dev/null
  variant_corvane=$root/build-bench-variant/Corvane
  tools=(corvane variant floor awk sed)
fi
gcc -O2 -o "$work/floor" "$root/bench/floor.c"

small_lines=$((lines / 10))
awk -v LINES="$lines" -f "$root/bench/gen.awk" >"$work/large.js"
awk -v LINES="$small_lines" -f "$root/bench/gen.awk" >"$work/small.js"
awk -v LINES=200 -f "$root/bench/gen.awk" >"$work/tiny.js"

now_ns() { date +%s%N; }
# Prints the seconds one run of the command takes, its output removed first.
seconds_of() {
  local start end
  rm -f "$work/out.js"
  start=$(now_ns)
  "$@" >/dev/null
  end=$(now_ns)
  echo "$(( (end - start) / 1000 ))" | awk '{ printf "%.4f", $1 / 1e6 }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

run_corvane() { "$corvane" "$1" '/*' '*/' EXPIRY_DATE "$work/out.js"; }
run_variant() { "$variant_corvane" "$1" '/*' '*/' EXPIRY_DATE "$work/out.js"; }
run_floor() { "$work/floor" "$1" "$work/out.js"; }
run_awk() { awk '{ print; fflush() }' "$1" >"$work/out.js"; }
run_sed() { sed 's/EXPIRY_DATE/1767225600000/' "$1" >"$work/out.js"; }
# Prints the mean seconds of a start-up run, timed by hyperfine without a
# shell in between.
startup_seconds() {
  hyperfine -N --style none --warmup 10 --runs "$startup_runs" --export-csv "$work/startup.csv" \
    --prepare "rm -f $work/out.js" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { print $2 }' "$work/startup.csv"
}

declare -A best
for ((round = 1; round <= rounds; round++)); do
  for tool in "${tools[@]}"; do
    best[$tool]=$(min "$(seconds_of "run_$tool" "$work/large.js")" "${best[$tool]:-}")
  done
  best[start_corvane]=$(min "$(startup_seconds "$corvane $work/tiny.js /* */ EXPIRY_DATE $work/out.js")" "${best[start_corvane]:-}")
  if [ -n "$variant" ]; then
    best[start_variant]=$(min "$(startup_seconds "$variant_corvane $work/tiny.js /* */ EXPIRY_DATE $work/out.js")" "${best[start_variant]:-}")
  fi
  best[start_floor]=$(min "$(startup_seconds "$work/floor $work/tiny.js $work/out.js")" "${best[start_floor]:-}")
done

rss() {
  rm -f "$work/out.js"
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}
rss_small=$(rss "$corvane" "$work/small.js" '/*' '*/' EXPIRY_DATE "$work/out.js")
rss_large=$(rss "$corvane" "$work/large.js" '/*' '*/' EXPIRY_DATE "$work/out.js")
rss_floor=$(rss "$work/floor" "$work/large.js" "$work/out.js")

size_mb=$(awk -v b="$(stat -c %s "$work/large.js")" 'BEGIN { printf "%.0f", b / 1e6 }')
echo
echo "Throughput: $lines lines ($size_mb MB), minimum of $rounds interleaved rounds"
printf '| %-36s | %9s | %8s |\n' "command" "seconds" "x floor"
printf '|%s|%s|%s|\n' "--------------------------------------" "-----------" "----------"
for tool in floor "${tools[@]/floor/}"; do
  [ -n "$tool" ] || continue
  case $tool in
    floor) label="floor (one write per line)" ;;
    corvane) label="Corvane" ;;
    variant) label="Corvane $variant" ;;
    awk) label="awk '{print; fflush()}'" ;;
    sed) label="sed (buffered, not bound to flush)" ;;
  esac
  printf '| %-36s | %9s | %8s |\n' "$label" "${best[$tool]}" \
    "$(awk -v a="${best[$tool]}" -v b="${best[floor]}" 'BEGIN { printf "%.2f", a / b }')"
done
echo
echo "Start-up: a 200-line file, mean of $startup_runs runs, minimum of $rounds rounds"
printf '| %-36s | %9s | %8s |\n' "command" "ms a run" "x floor"
printf '|%s|%s|%s|\n' "--------------------------------------" "-----------" "----------"
startup_tools=(floor corvane)
[ -z "$variant" ] || startup_tools+=(variant)
for tool in "${startup_tools[@]}"; do
  label=$tool
  [ "$tool" != variant ] || label="Corvane $variant"
  [ "$tool" != corvane ] || label="Corvane"
  printf '| %-36s | %9s | %8s |\n' "$label" \
    "$(awk -v a="${best[start_$tool]}" 'BEGIN { printf "%.3f", a * 1000 }')" \
    "$(awk -v a="${best[start_$tool]}" -v b="${best[start_floor]}" 'BEGIN { printf "%.2f", a / b }')"
done
echo
echo "Peak memory (max RSS)"
printf '| %-36s | %9s |\n' "run" "KiB"
printf '|%s|%s|\n' "--------------------------------------" "-----------"
printf '| %-36s | %9s |\n' "Corvane, $small_lines lines" "$rss_small" "Corvane, $lines lines" "$rss_large" \
  "floor, $lines lines" "$rss_floor"
