#!/usr/bin/env bash
# Whole-process timing of extracting every image of many icons in one call: the 41 wine icons
# of the corpus, COPIES copies of each (default 10: 410 icons), by `pqtool extract FILES... DIR`
# against `icotool -x -o DIR FILES...`, alternated in one run, each repeated (default 15 times).
# Prints the median and spread of each command's CPU time (user + system) and wall time and the
# ratio of the CPU medians. With OLD_PQTOOL an earlier build is timed in the same rounds and its
# PNG files are compared with the new ones: byte for byte, and those that differ pixel for pixel.
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
  if diff -rq "$work/a" "$work/c" >/dev/null; then
    echo "PNG files: identical to the old build's"
  elif command -v python3 >/dev/null; then
    # The same names, and every file that differs in its bytes decodes to the same pixels
    # (8-bit RGBA, any filters); the total sizes are printed beside.
    python3 - "$work/a" "$work/c" <<'EOF'
import os, struct, sys, zlib
def pixels(path):
    d = open(path, "rb").read()
    at, idat, head = 8, b"", None
    while at < len(d):
        n, = struct.unpack(">I", d[at:at + 4])
        kind, body = d[at + 4:at + 8], d[at + 8:at + 8 + n]
        if zlib.crc32(kind + body) & 0xFFFFFFFF != struct.unpack(">I", d[at + 8 + n:at + 12 + n])[0]:
            return None
        if kind == b"IHDR": head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT": idat += body
        at += 12 + n
    w, h, depth, colour, _, _, interlace = head
    if (depth, colour, interlace) != (8, 6, 0): return (head, d)
    raw, stride, out, up = zlib.decompress(idat), 4 * w, bytearray(), bytearray(4 * w)
    for y in range(h):
        f, r = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a, b, c = (r[x - 4] if x >= 4 else 0), up[x], (up[x - 4] if x >= 4 else 0)
            if f == 1: r[x] = (r[x] + a) & 255
            elif f == 2: r[x] = (r[x] + b) & 255
            elif f == 3: r[x] = (r[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                r[x] = (r[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += r
        up = r
    return (w, h, bytes(out))
new, old = sys.argv[1], sys.argv[2]
names = sorted(os.listdir(new))
if names != sorted(os.listdir(old)):
    print("PNG files: DIFFER from the old build's (not the same names)")
    sys.exit()
differ = [n for n in names if open(os.path.join(new, n), "rb").read() != open(os.path.join(old, n), "rb").read()]
bad = [n for n in differ if pixels(os.path.join(new, n)) != pixels(os.path.join(old, n))]
size = lambda d: sum(os.path.getsize(os.path.join(d, n)) for n in names)
print("PNG files: %d of %d differ in bytes, %s; %d bytes in all (old build: %d)" % (
    len(differ), len(names), "all with the old build's pixels" if not bad else "%d with OTHER PIXELS (%s ...)" % (len(bad), bad[0]),
    size(new), size(old)))
EOF
  else
    echo "PNG files: differ from the old build's in bytes (python3 is needed to compare their pixels)"
  fi
fi
