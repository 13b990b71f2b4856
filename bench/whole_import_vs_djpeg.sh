#!/usr/bin/env bash
# Whole-process timing of importing a whole large JPEG into a 48 x 48 icon of 256 colours:
# `pqtool convert big.jpg out.ico --size 48 --colors 256` (the picture fitted, kept in
# proportion), the same with --area 0,0,W,H (as "全体を使う" takes it), and both again with
# --fast, against `djpeg -outfile /dev/null big.jpg`, alternated in one run, each repeated
# (default 15 times). Prints the median and spread (min-max) of each command's CPU time
# (user + system, which a busy machine disturbs far less than the wall time) and of its wall
# time, and the ratios of the CPU medians to djpeg's. With OLD_PQTOOL, an earlier build is timed
# in the same rounds and its icons are compared with the new exact ones byte for byte. The
# fast icons' mean difference per channel from the exact ones is printed when python3 is there.
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
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (Debian package time)" >&2; exit 1; }
if [ ! -f "$jpeg" ]; then
  bench="$(dirname "$pqtool")/bench/pixquil_bench"
  [ -x "$bench" ] || { echo "no $jpeg, and no $bench to write it" >&2; exit 1; }
  "$bench" --benchmark_filter='^BM_DecodeJpeg6000x4000' >/dev/null
fi
read -r width height < <(djpeg -outfile /dev/null -verbose "$jpeg" 2>&1 | sed -n 's/.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\).*/\1 \2/p' | head -1)
[ -n "${width:-}" ] || { echo "cannot read the size of $jpeg" >&2; exit 1; }
area="0,0,$width,$height"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# run NAME COMMAND...: runs it, appends its CPU milliseconds to cpu_NAME and its wall
# milliseconds to wall_NAME.
run() {
  local name=$1; shift
  /usr/bin/time -f '%e %U %S' -o "$work/t" "$@" >/dev/null
  read -r e u s <"$work/t"
  eval "cpu_$name+=($(awk -v u="$u" -v s="$s" 'BEGIN {printf "%d", (u + s) * 1000}'))"
  eval "wall_$name+=($(awk -v e="$e" 'BEGIN {printf "%d", e * 1000}'))"
}
names=(djpeg fit area fast_fit fast_area)
[ -n "$old" ] && names+=(old_fit old_area)
for n in "${names[@]}"; do eval "cpu_$n=() wall_$n=()"; done
for ((i = 0; i < repeats; i++)); do
  run djpeg djpeg -outfile /dev/null "$jpeg"
  run fit "$pqtool" convert "$jpeg" "$work/fit.ico" --size 48 --colors 256
  run area "$pqtool" convert "$jpeg" "$work/area.ico" --size 48 --colors 256 --area "$area"
  run fast_fit "$pqtool" convert "$jpeg" "$work/fast_fit.ico" --size 48 --colors 256 --fast
  run fast_area "$pqtool" convert "$jpeg" "$work/fast_area.ico" --size 48 --colors 256 --area "$area" --fast
  if [ -n "$old" ]; then
    run old_fit "$old" convert "$jpeg" "$work/old_fit.ico" --size 48 --colors 256
    run old_area "$old" convert "$jpeg" "$work/old_area.ico" --size 48 --colors 256 --area "$area"
  fi
done
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%d %d %d", v[int((NR+1)/2)], v[1], v[NR]}'; }
read -r dcpu _ _ <<<"$(stats "${cpu_djpeg[@]}")"
echo "picture: $jpeg (${width}x${height}), $repeats rounds; CPU = user + system"
for n in "${names[@]}"; do
  eval "c=(\"\${cpu_$n[@]}\") w=(\"\${wall_$n[@]}\")"
  read -r cm clo chi <<<"$(stats "${c[@]}")"
  read -r wm wlo whi <<<"$(stats "${w[@]}")"
  awk -v l="$n" -v cm="$cm" -v clo="$clo" -v chi="$chi" -v wm="$wm" -v wlo="$wlo" -v whi="$whi" -v d="$dcpu" \
    'BEGIN {printf "%-10s CPU median %5d ms (%d-%d), %.2f x djpeg; wall median %5d ms (%d-%d)\n", l, cm, clo, chi, cm / d, wm, wlo, whi}'
done
if [ -n "$old" ]; then
  cmp -s "$work/fit.ico" "$work/old_fit.ico" && echo "fitted icons: identical" || echo "fitted icons: DIFFER"
  cmp -s "$work/area.ico" "$work/old_area.ico" && echo "area icons: identical" || echo "area icons: DIFFER"
fi
if command -v python3 >/dev/null; then
  # Both icons as 24-bit bitmaps (white where unpainted), compared byte by byte.
  for kind in fit area; do
    "$pqtool" convert "$work/$kind.ico" "$work/$kind.bmp" >/dev/null
    "$pqtool" convert "$work/fast_$kind.ico" "$work/fast_$kind.bmp" >/dev/null
    python3 - "$work/$kind.bmp" "$work/fast_$kind.bmp" "$kind" <<'EOF'
import sys
a = open(sys.argv[1], "rb").read()
b = open(sys.argv[2], "rb").read()
at = int.from_bytes(a[10:14], "little")
d = [abs(x - y) for x, y in zip(a[at:], b[at:])]
print("%s --fast against exact: mean difference %.2f per channel, largest %d" % (sys.argv[3], sum(d) / len(d), max(d)))
EOF
  done
fi
