#!/usr/bin/python3
"""Writes tests/data/icon_expectations.txt: for every 4- and 8-bit icon or cursor entry of the
shared corpus on which the peer decoders agree (peers/batch_compare_results.txt), the RGBA
picture Pillow decodes, as width, height and a 64-bit FNV-1a hash of its RGBA bytes (row-major
from the top-left pixel, fully transparent pixels as 0,0,0,0).

usage: make_icon_expectations.py CORPUS_DIR OUT_FILE      (needs python3-pil)
Line format: <path relative to the corpus> <entry index from 0> <width> <height> <hash hex>"""
import io, os, re, struct, sys
from PIL import IcoImagePlugin

corpus, out_name = sys.argv[1], sys.argv[2]
agreed = []
for line in open(os.path.join(corpus, 'peers', 'batch_compare_results.txt')):
    m = re.match(r'(\S+) #(\d+) bpp=\d+: (.*)', line)
    if not m:
        continue
    verdicts = m.group(3).split('|')[0]
    pairs = re.findall(r'(\w+) vs (\w+)=(\S+?);?(?:\s|$)', verdicts)
    if any(v != '0' for _, _, v in pairs):
        continue
    if not any('pillow' in (a, b) for a, b, _ in pairs):
        continue
    agreed.append((m.group(1), int(m.group(2))))

def fnv1a64(data):
    h = 0xcbf29ce484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h

with open(out_name, 'w') as out:
    for path, n in agreed:
        d = open(os.path.join(corpus, path), 'rb').read()
        if d[2] == 2:   # Pillow's IcoFile takes icons only: present a cursor as an icon
            d = d[:2] + b'\x01' + d[3:]
        ico = IcoImagePlugin.IcoFile(io.BytesIO(d))
        off = struct.unpack_from('<I', d, 6 + 16 * (n - 1) + 12)[0]
        k = [e['offset'] for e in ico.entry].index(off)
        im = ico.frame(k).convert('RGBA')
        raw = bytearray()
        for p in im.getdata():
            raw += bytes((0, 0, 0, 0)) if p[3] == 0 else bytes(p)
        out.write(f'{path} {n - 1} {im.size[0]} {im.size[1]} {fnv1a64(raw):016x}\n')
print(len(agreed), 'entries')
