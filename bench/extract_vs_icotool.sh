#!/usr/bin/env bash
# Whole-process timing of extracting every image of many icons in one call: the 41 wine icons
# of the corpus, COPIES copies of each (default 10: 410 icons), by `pqtool extract FILES... DIR`
# against `icotool -x -o DIR FILES...`, alternated in one run, each repeated (default 15 times).
# Prints the median and spread of each command's CPU time (user + system) and wall time and the
# ratio of the CPU medians. With OLD_PQTOOL an earlier build is timed in the same rounds and its
# PNG files are compared with the new ones byte for byte.
# usage: bench/extract_vs_icotool.sh [PQTOOL] [REPEATS] [OLD_PQTOOL] [COPIES]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
pqtool="${1:-$here/build/pqtool}"
repeats="${2:-15}"
old="${3:-}"
copies="${4:-10}"
corpus="${PQ_CORPUS_DIR:-$here/../shared/corpus}/wine-extracted/ico"
command -v icotool >/dev/null || { echo "icotool is not installed (Debian package icoutils)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (Debian package time)" >&2; exit 1; }
originals=("$corpus"/*.ico)
[ ${#originals[@]} -gt 0 ] || { echo "no icons in $corpus" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for ((c = 0; c < copies; c++)); do
  for f in "${originals[@]}"; do cp "$f" "$work/in/$(basename "$f" .ico)-$c.ico"; done
done
files=("$work/in"/*.ico)

# run NAME OUTDIR COMMAND...: runs it with OUTDIR fresh and the earlier runs' files gone and on
# disk (pqtool flushes what it wrote before it exits, which would otherwise also wait for those
# deletions); appends its CPU and wall milliseconds to cpu_NAME and wall_NAME.
run() {
  local name=$1 dir=$2; shift 2
  rm -rf "$dir"; mkdir -p "$dir"; sync
  /usr/bin/time -f '%e %U %S' -o "$work/t" "$@" >/dev/null 2>&1 || true
  read -r e u s <"$work/t"
  eval "cpu_$name+=($(awk -v u="$u" -v s="$s" 'BEGIN {printf "%d", (u + s) * 1000}'))"
  eval "wall_$name+=($(awk -v e="$e" 'BEGIN {printf "%d", e * 1000}'))"
}
names=(pqtool icotool)
[ -n "$old" ] && names+=(old)
for n in "${names[@]}"; do eval "cpu_$n=() wall_$n=()"; done
for ((i = 0; i < repeats; i++)); do
  run pqtool "$work/a" "$pqtool" extract "${files[@]}" "$work/a"
  run icotool "$work/b" icotool -x -o "$work/b" "${files[@]}"
  [ -n "$old" ] && run old "$work/c" "$old" extract "${files[@]}" "$work/c"
done
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%d %d %d", v[int((NR+1)/2)], v[1], v[NR]}'; }
read -r icpu _ _ <<<"$(stats "${cpu_icotool[@]}")"
echo "icons: ${#files[@]}, images written: $(ls "$work/a" | wc -l) (pqtool), $(ls "$work/b" | wc -l) (icotool); $repeats rounds; CPU = user + system"
for n in "${names[@]}"; do
  eval "c=(\"\${cpu_$n[@]}\") w=(\"\${wall_$n[@]}\")"
  read -r cm clo chi <<<"$(stats "${c[@]}")"
  read -r wm wlo whi <<<"$(stats "${w[@]}")"
  awk -v l="$n" -v cm="$cm" -v clo="$clo" -v chi="$chi" -v wm="$wm" -v wlo="$wlo" -v whi="$whi" -v d="$icpu" \
    'BEGIN {printf "%-8s CPU median %5d ms (%d-%d), %.2f x icotool; wall median %5d ms (%d-%d)\n", l, cm, clo, chi, cm / d, wm, wlo, whi}'
done
if [ -n "$old" ]; then
  diff -rq "$work/a" "$work/c" >/dev/null && echo "PNG files: identical to the old build's" || echo "PNG files: DIFFER from the old build's"
fi
