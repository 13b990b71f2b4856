#!/usr/bin/python3
"""Writes tests/data/icon_decoded_expectations.txt: for every 1-, 16-, 24- and 32-bit and PNG
entry of the icons and cursors of the shared corpus on which the peer decoders agree (icotool,
ImageMagick and Pillow, as in peers/dump_compare.py: every decoder that reads the entry gives the
same RGBA, and at least two read it), what the editor's document must show: the pixels whose
alpha is at least 128 in their colour, opaque, and the others transparent.

usage: make_icon_decoded_expectations.py CORPUS_DIR OUT_FILE   (needs icoutils, imagemagick,
                                                               python3-pil)
Line format: <path relative to the corpus> <entry index from 0> <width> <height>
             <distinct painted colours> <hash of the picture> <hash of the painted mask>
Hashes are 64-bit FNV-1a: of the RGBA bytes (row-major from the top-left, transparent pixels as
0,0,0,0), and of one byte per pixel (1 painted, 0 not)."""
import io, os, struct, subprocess, sys, tempfile
from PIL import Image, IcoImagePlugin

corpus, out_name = sys.argv[1], sys.argv[2]

def fnv1a64(data):
    h = 0xcbf29ce484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h

def norm(px):
    return [(0, 0, 0, 0) if p[3] == 0 else tuple(p) for p in px]

def decode_all(path, d, n, tmp):
    """Entry n (from 0) decoded by each peer that reads it: name -> (w, h, pixels)."""
    res = {}
    png = os.path.join(tmp, 'x.png')
    if os.path.exists(png):
        os.remove(png)
    subprocess.run(['icotool', '-x', '-i', str(n + 1), '-o', png, path], capture_output=True)
    if not os.path.exists(png):
        # icotool refuses some whole files; a copy holding only this entry may still read
        ent = bytearray(d[6 + 16 * n:22 + 16 * n])
        size, off = struct.unpack_from('<II', ent, 8)
        struct.pack_into('<I', ent, 12, 22)
        one = os.path.join(tmp, 'one.ico')
        open(one, 'wb').write(d[0:4] + b'\x01\x00' + bytes(ent) + d[off:off + size])
        subprocess.run(['icotool', '-x', '-o', png, one], capture_output=True)
    if os.path.exists(png):
        im = Image.open(png).convert('RGBA')
        res['icotool'] = (im.size[0], im.size[1], norm(im.getdata()))
    r = subprocess.run(['/usr/bin/convert', f'{path}[{n}]', '-depth', '8', 'rgba:-'], capture_output=True)
    ident = subprocess.run(['/usr/bin/identify', '-format', '%w %h\n', f'{path}[{n}]'], capture_output=True, text=True)
    if r.returncode == 0 and ident.returncode == 0 and ident.stdout.split():
        w, h = map(int, ident.stdout.split()[:2])
        if len(r.stdout) == w * h * 4:
            b = r.stdout
            res['imagemagick'] = (w, h, norm([tuple(b[i:i + 4]) for i in range(0, len(b), 4)]))
    try:
        dd = bytearray(d)
        dd[2] = 1   # Pillow's IcoFile takes icons only: present a cursor as an icon
        ico = IcoImagePlugin.IcoFile(io.BytesIO(bytes(dd)))
        off = struct.unpack_from('<I', d, 6 + 16 * n + 12)[0]
        k = [e['offset'] for e in ico.entry].index(off)
        im = ico.frame(k).convert('RGBA')
        res['pillow'] = (im.size[0], im.size[1], norm(im.getdata()))
    except Exception:
        pass
    return res

lines = []
with tempfile.TemporaryDirectory() as tmp:
    for root, _, files in sorted(os.walk(corpus)):
        for name in sorted(files):
            if not name.lower().endswith(('.ico', '.cur')):
                continue
            path = os.path.join(root, name)
            d = open(path, 'rb').read()
            if len(d) < 6:
                continue
            reserved, kind, count = struct.unpack_from('<HHH', d, 0)
            if reserved != 0 or kind not in (1, 2) or count > 64 or len(d) < 6 + 16 * count:
                continue
            for n in range(count):
                off = struct.unpack_from('<I', d, 6 + 16 * n + 12)[0]
                if d[off:off + 8] != b'\x89PNG\r\n\x1a\n':
                    if off + 16 > len(d):
                        continue
                    if struct.unpack_from('<H', d, off + 14)[0] in (4, 8):
                        continue   # the palette entries: icon_expectations.txt
                res = decode_all(path, d, n, tmp)
                results = list(res.values())
                if len(results) < 2 or any(r != results[0] for r in results[1:]):
                    continue
                w, h, px = results[0]
                shown = [(p[0], p[1], p[2], 255) if p[3] >= 128 else (0, 0, 0, 0) for p in px]
                painted = bytes(1 if p[3] == 255 else 0 for p in shown)
                distinct = len({p for p in shown if p[3] == 255})
                raw = bytearray()
                for p in shown:
                    raw += bytes(p)
                rel = os.path.relpath(path, corpus)
                lines.append(f'{rel} {n} {w} {h} {distinct} {fnv1a64(raw):016x} {fnv1a64(painted):016x}\n')
with open(out_name, 'w') as out:
    out.writelines(lines)
print(len(lines), 'entries')
