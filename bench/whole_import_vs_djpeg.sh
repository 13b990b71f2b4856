#!/usr/bin/env bash
# Whole-process timing of importing a whole 6000 x 4000 JPEG into a 48 x 48 icon of 256 colours:
# `pqtool convert big.jpg out.ico --size 48 --colors 256` (the picture fitted, kept in
# proportion) and the same with --area 0,0,6000,4000 (as "全体を使う" takes it), against
# `djpeg -outfile /dev/null big.jpg`, alternated in one run, each repeated (default 15 times);
# prints the median and spread (min-max) of each and the ratios of the medians. With OLD_PQTOOL,
# an earlier build is timed in the same rounds and its icons are compared with the new ones.
# The picture is the import benchmark's (pixquil_bench writes it to the temporary folder);
# JPEG names another one.
# usage: bench/whole_import_vs_djpeg.sh [PQTOOL] [REPEATS] [OLD_PQTOOL] [JPEG]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
pqtool="${1:-$here/build/pqtool}"
repeats="${2:-15}"
old="${3:-}"
jpeg="${4:-${TMPDIR:-/tmp}/pixquil_bench_6000x4000.jpg}"
command -v djpeg >/dev/null || { echo "djpeg is not installed (Debian package libjpeg-turbo-progs)" >&2; exit 1; }
if [ ! -f "$jpeg" ]; then
  bench="$(dirname "$pqtool")/bench/pixquil_bench"
  [ -x "$bench" ] || { echo "no $jpeg, and no $bench to write it" >&2; exit 1; }
  "$bench" --benchmark_filter='^BM_DecodeJpeg6000x4000' >/dev/null
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }
# time_us NAME COMMAND...: runs it, appends the microseconds to the array NAME.
time_us() {
  local name=$1; shift
  local t0 t1
  t0=$(now); "$@" >/dev/null; t1=$(now)
  eval "$name+=($(( (t1 - t0) / 1000 )))"
}
djpeg_t=() fit=() area=() old_fit=() old_area=()
for ((i = 0; i < repeats; i++)); do
  time_us djpeg_t djpeg -outfile /dev/null "$jpeg"
  time_us fit "$pqtool" convert "$jpeg" "$work/fit.ico" --size 48 --colors 256
  time_us area "$pqtool" convert "$jpeg" "$work/area.ico" --size 48 --colors 256 --area 0,0,6000,4000
  if [ -n "$old" ]; then
    time_us old_fit "$old" convert "$jpeg" "$work/old_fit.ico" --size 48 --colors 256
    time_us old_area "$old" convert "$jpeg" "$work/old_area.ico" --size 48 --colors 256 --area 0,0,6000,4000
  fi
done
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%d %d %d", v[int((NR+1)/2)], v[1], v[NR]}'; }
report() {
  local label=$1; shift
  read -r med lo hi <<<"$(stats "$@")"
  awk -v l="$label" -v m="$med" -v lo="$lo" -v hi="$hi" -v d="$dmed" \
    'BEGIN {printf "%-34s median %7d us (%d-%d), ratio to djpeg %.2f (%.2f-%.2f)\n", l, m, lo, hi, m / d, lo / d, hi / d}'
}
read -r dmed dlo dhi <<<"$(stats "${djpeg_t[@]}")"
echo "picture: $jpeg, $repeats rounds"
echo "djpeg -outfile /dev/null           median $dmed us ($dlo-$dhi)"
report "pqtool convert (fitted)" "${fit[@]}"
report "pqtool convert --area (whole)" "${area[@]}"
if [ -n "$old" ]; then
  report "old pqtool convert (fitted)" "${old_fit[@]}"
  report "old pqtool convert --area (whole)" "${old_area[@]}"
  cmp -s "$work/fit.ico" "$work/old_fit.ico" && echo "fitted icons: identical" || echo "fitted icons: DIFFER"
  cmp -s "$work/area.ico" "$work/old_area.ico" && echo "area icons: identical" || echo "area icons: DIFFER"
fi
