#!/bin/bash
# exact_import_sweep.sh REF NEW [DIR]: converts pictures of odd sizes (JPEG 4:4:4 / 4:2:2 / 4:2:0,
# PNG with transparent holes, BMP) and the big JPEGs in /tmp/big_*.jpg with both pqtool binaries
# over frames inset, partly off the picture, tiny and whole, several output sizes and colour
# counts, and compares the outputs byte by byte. Prints each difference and a summary.
ref=$1; new=$2; dir=${3:-/tmp/pq_sweep}
mkdir -p "$dir"
make_pictures() {
  for wh in 37x23 101x67 7x5 300x199 3x250; do
    w=${wh%x*}; h=${wh#*x}
    python3 - "$w" "$h" "$dir/p_$wh.pam" <<'PY'
import sys
w, h, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
px = bytearray()
for y in range(h):
    for x in range(w):
        r = (x * 37 + y * 11) & 255; g = (x * x + 3 * y * y) & 255; b = (x * y * 7 + 91) & 255
        a = 0 if (x % 9 == 4 and y % 5 == 2) or (x * 3 < w and y * 4 > 3 * h) else (255 if (x + y) % 7 else 128)
        px += bytes((r, g, b, a))
open(out, "wb").write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (w, h) + px)
PY
    convert "$dir/p_$wh.pam" "$dir/p_$wh.png"
    convert "$dir/p_$wh.pam" -background white -alpha remove -alpha off "$dir/p_$wh.ppm"
    convert "$dir/p_$wh.ppm" -type truecolor "BMP3:$dir/p_$wh.bmp"
    for s in 1x1 2x1 2x2; do cjpeg -quality 90 -sample $s "$dir/p_$wh.ppm" > "$dir/p_${wh}_$s.jpg"; done
  done
}
[ -e "$dir/p_3x250_2x2.jpg" ] || make_pictures
same=0; diff=0; fail=0
run() {   # run IN OUTEXT ARGS...
  local in=$1 ext=$2; shift 2
  "$ref" convert "$in" "$dir/r.$ext" "$@" >/dev/null 2>"$dir/r.err"; local rr=$?
  "$new" convert "$in" "$dir/n.$ext" "$@" >/dev/null 2>"$dir/n.err"; local rn=$?
  if [ $rr -ne $rn ] || ! cmp -s "$dir/r.err" "$dir/n.err"; then
    echo "EXIT/STDERR DIFFER ($rr vs $rn): $in $*"; diff=$((diff+1)); return
  fi
  if [ $rr -ne 0 ]; then fail=$((fail+1)); return; fi
  if cmp -s "$dir/r.$ext" "$dir/n.$ext"; then same=$((same+1)); else echo "DIFFER: $in $*"; diff=$((diff+1)); fi
}
for f in "$dir"/p_*.png "$dir"/p_*.bmp "$dir"/p_*.jpg; do
  b=${f##*/p_}; wh=${b%%[._]*}; w=${wh%x*}; h=${wh#*x}
  for area in "" "1,1,$((w-1)),$((h-2))" "-5,-3,$((w/2+1)),$((h+4))" "$((w-3)),$((h/2)),$((w+9)),$((h+2))" \
              "1,1,2,3" "0,$((h-1)),3,$((h))" "0,0,$w,$h" "2,0,$((w-1)),$h"; do
    for size in 1 16 31 48 256 31x16 5x48; do
      for colors in 16 256 32bit; do
        ext=ico; [ $colors = 32bit ] && ext=png
        if [ -n "$area" ]; then run "$f" $ext --size $size --colors $colors --area "$area"
        else run "$f" $ext --size $size --colors $colors; fi
      done
    done
  done
done
for f in /tmp/big_1x1.jpg /tmp/big_2x1.jpg /tmp/big_2x2.jpg; do
  [ -e "$f" ] || continue
  for area in "0,0,6000,4000" "7,3,5993,3998" "-40,-25,3001,2000" "2999,1999,3001,2002"; do
    for size in 48 31 256x17; do run "$f" ico --size $size --colors 256 --area "$area"; done
  done
  run "$f" ico --size 48 --colors 256
  run "$f" png --size 48 --colors 32bit --area 0,0,6000,4000
done
echo "same $same differ $diff refused-by-both $fail"
