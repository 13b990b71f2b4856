#!/usr/bin/python3
"""Mean colour error of the editor's palette builders against pngquant on real icons.

Takes every image of the .ico files under the corpus (extracted with icotool) that holds more
than 256 distinct colours among its painted pixels (alpha >= 128), reduces it to 256 and to 16
colours without dithering by median cut, by the quality builder (pixquil_quantize_tool) and by
`pngquant --nofs --speed 1 N`, and prints the mean error per painted pixel: the sum of the three
absolute channel differences between the source pixel and the colour it ends up with.

Every tool sees the same pixels: the picture with alpha made 0 or 255 at the threshold. pngquant
gets them twice: as that RGBA picture (where it spends one entry on transparency) and as one
opaque row of the painted pixels alone (all N entries for the painted colours, no transparency);
the target is measured against the better of the two for each input.

usage: quantizer_vs_pngquant.py [--tool PATH] [--corpus DIR] [--pngquant PATH]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))


def painted_pixels(img):
    """(painted flags, RGB tuples) in row order of an RGBA image."""
    px = list(img.getdata())
    return [p[3] >= 128 for p in px], [p[:3] for p in px]


def error(src_rgb, painted, out_path):
    out = list(Image.open(out_path).convert("RGBA").getdata())
    total = 0
    count = 0
    for s, o, p in zip(src_rgb, out, painted):
        if p:
            total += abs(s[0] - o[0]) + abs(s[1] - o[1]) + abs(s[2] - o[2])
            count += 1
    return total / count


def error_row(painted_rgb, out_path):
    out = list(Image.open(out_path).convert("RGB").getdata())
    total = sum(abs(s[0] - o[0]) + abs(s[1] - o[1]) + abs(s[2] - o[2]) for s, o in zip(painted_rgb, out))
    return total / len(painted_rgb)


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default=os.path.join(HERE, "..", "build-q", "bench", "pixquil_quantize_tool"))
    ap.add_argument("--corpus", default=os.path.join(HERE, "..", "..", "shared", "corpus", "wine-extracted", "ico"))
    ap.add_argument("--pngquant", default="/usr/bin/pngquant")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="pq_quant_")
    inputs = []
    seen = set()
    for name in sorted(os.listdir(args.corpus)):
        if not name.lower().endswith(".ico"):
            continue
        out_dir = os.path.join(work, "x", name)
        os.makedirs(out_dir, exist_ok=True)
        subprocess.run(["icotool", "-x", "-o", out_dir, os.path.join(args.corpus, name)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for png in sorted(os.listdir(out_dir)):
            img = Image.open(os.path.join(out_dir, png)).convert("RGBA")
            painted, rgb = painted_pixels(img)
            colours = {c for c, p in zip(rgb, painted) if p}
            if len(colours) <= 256:
                continue
            digest = hashlib.sha1(img.tobytes() + bytes(str(img.size), "ascii")).hexdigest()
            if digest in seen:
                continue
            seen.add(digest)
            inputs.append((f"{name}:{png}", img, painted, rgb, len(colours)))

    rows = []
    for i, (label, img, painted, rgb, ncol) in enumerate(inputs):
        w, h = img.size
        binary = Image.new("RGBA", img.size)
        binary.putdata([(c[0], c[1], c[2], 255) if p else (0, 0, 0, 0) for c, p in zip(rgb, painted)])
        src = os.path.join(work, f"in{i}.png")
        binary.save(src)
        only = [c for c, p in zip(rgb, painted) if p]
        row_img = Image.new("RGB", (len(only), 1))
        row_img.putdata(only)
        row_src = os.path.join(work, f"row{i}.png")
        row_img.save(row_src)
        result = {}
        for n in (256, 16):
            for mode in ("median", "quality"):
                out = os.path.join(work, f"{mode}{n}_{i}.png")
                run([args.tool, src, out, str(n), mode])
                result[(mode, n)] = error(rgb, painted, out)
            out = os.path.join(work, f"pq{n}_{i}.png")
            run([args.pngquant, "--nofs", "--speed", "1", "--force", "--output", out, str(n), src])
            rgba = error(rgb, painted, out)
            out = os.path.join(work, f"pqrow{n}_{i}.png")
            run([args.pngquant, "--nofs", "--speed", "1", "--force", "--output", out, str(n), row_src])
            row = error_row(only, out)
            result[("pngquant", n)] = min(rgba, row)
            result[("pq_rgba", n)] = rgba
            result[("pq_row", n)] = row
        rows.append((label, w, h, ncol, result))

    cols = [("median", 256), ("quality", 256), ("pngquant", 256), ("median", 16), ("quality", 16), ("pngquant", 16)]
    print(f"{'input':58s} {'size':>7s} {'colours':>7s} " + " ".join(f"{m[:7]+str(n):>10s}" for m, n in cols))
    for label, w, h, ncol, r in rows:
        print(f"{label[:58]:58s} {str(w)+'x'+str(h):>7s} {ncol:7d} " + " ".join(f"{r[c]:10.3f}" for c in cols))
    if not rows:
        print("no input holds more than 256 colours")
        return 1
    means = {c: sum(r[c] for *_, r in rows) / len(rows) for c in cols + [("pq_rgba", 256), ("pq_row", 256),
                                                                          ("pq_rgba", 16), ("pq_row", 16)]}
    print(f"{'mean over ' + str(len(rows)) + ' inputs':58s} {'':7s} {'':7s} " + " ".join(f"{means[c]:10.3f}" for c in cols))
    for n in (256, 16):
        print(f"pngquant alone at {n}: RGBA input {means[('pq_rgba', n)]:.3f}, painted row {means[('pq_row', n)]:.3f}")
    ok = True
    for n in (256, 16):
        if means[("quality", n)] > means[("pngquant", n)]:
            print(f"FAIL: quality mean above pngquant at {n}")
            ok = False
        worst = max(rows, key=lambda row: row[4][("quality", n)] / max(row[4][("median", n)], 1e-9))
        ratio = worst[4][("quality", n)] / max(worst[4][("median", n)], 1e-9)
        print(f"worst quality / median cut at {n}: {ratio:.3f} ({worst[0]})")
        if ratio > 1.05:
            print(f"FAIL: quality more than 5% worse than median cut at {n}")
            ok = False
    shutil.rmtree(work, ignore_errors=True)
    print("target met" if ok else "target missed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
