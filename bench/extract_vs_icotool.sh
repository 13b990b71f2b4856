#!/usr/bin/env bash
# Whole-process timing of extracting every image of the 41 wine icons of the corpus in one call:
# `pqtool extract FILES... DIR` against `icotool -x -o DIR FILES...`, alternated in one run,
# each repeated (default 15 times); prints the median of each and their ratio.
# usage: bench/extract_vs_icotool.sh [PQTOOL] [REPEATS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
pqtool="${1:-$here/build/pqtool}"
repeats="${2:-15}"
corpus="${PQ_CORPUS_DIR:-$here/../shared/corpus}/wine-extracted/ico"
command -v icotool >/dev/null || { echo "icotool is not installed (Debian package icoutils)" >&2; exit 1; }
files=("$corpus"/*.ico)
[ ${#files[@]} -gt 0 ] || { echo "no icons in $corpus" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }
ours=() theirs=()
for ((i = 0; i < repeats; i++)); do
  # Each command starts with the earlier runs' files gone and on disk: pqtool flushes what it
  # wrote before it exits, which would otherwise also wait for those deletions.
  rm -rf "$work/a" "$work/b"; mkdir -p "$work/b"; sync
  t0=$(now); "$pqtool" extract "${files[@]}" "$work/a" >/dev/null; t1=$(now)
  sync
  t2=$(now); icotool -x -o "$work/b" "${files[@]}" 2>/dev/null; t3=$(now)
  ours+=($(( (t1 - t0) / 1000 ))) theirs+=($(( (t3 - t2) / 1000 )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
a=$(median "${ours[@]}") b=$(median "${theirs[@]}")
echo "files: ${#files[@]}, images written: $(ls "$work/a" | wc -l) (pqtool), $(ls "$work/b" | wc -l) (icotool)"
echo "pqtool extract: median ${a} us over $repeats runs"
echo "icotool -x:     median ${b} us over $repeats runs"
awk -v a="$a" -v b="$b" 'BEGIN {printf "ratio pqtool / icotool: %.2f\n", a / b}'
