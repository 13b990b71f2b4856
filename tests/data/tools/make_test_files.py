#!/usr/bin/python3
"""Writes the small hand-made files of tests/data and tests/data/bad (native documents, icons,
cursors, palettes), byte by byte from the file layouts, independently of the C++ writers.

usage: make_test_files.py DATA_DIR"""
import os, struct, sys, zlib

data = sys.argv[1]
bad = os.path.join(data, 'bad')
os.makedirs(bad, exist_ok=True)

def write(folder, name, b):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(bytes(b))

# ---- native documents ------------------------------------------------------------------------
DEFAULT16 = [(0, 0, 0), (128, 128, 128), (128, 0, 0), (128, 128, 0), (0, 128, 0), (0, 128, 128),
             (0, 0, 128), (128, 0, 128), (255, 255, 255), (192, 192, 192), (255, 0, 0), (255, 255, 0),
             (0, 255, 0), (0, 255, 255), (0, 0, 255), (255, 0, 255)]

def pqf(w, h, colors, layers):
    b = bytearray(b'pqf\0') + struct.pack('<iii', w, h, colors)
    for i in range(256):
        if i < 16:
            r, g, bl = DEFAULT16[i]
            b += bytes((bl, g, r, 0))
        else:
            b += bytes((i, 255 - i, (i * 7) & 255, i % 5))
    b += struct.pack('<i', len(layers))
    for name, visible, idx, mask in layers:
        n = name.encode('cp932')
        b += struct.pack('<i', len(n)) + n + bytes((visible,)) + bytes(idx) + bytes(mask)
    return b

def pattern_layer(i, w, h, colors):
    k = range(w * h)
    return ([(p * (i + 3) + i) % colors for p in k], [1 if (p + i) % 3 else 0 for p in k])

w, h = 5, 3
layers = []
for i, (name, vis) in enumerate([('背景', 1), ('レイヤ2', 0), ('', 1)]):
    idx, mask = pattern_layer(i, w, h, 16)
    layers.append((name, vis, idx, mask))
good = pqf(w, h, 16, layers)
write(data, 'three_layers.pqf', good)

one = pqf(16, 16, 16, [('レイヤ1', 1, [0] * 256, [0] * 256)])
assert len(one) == 1568
def patched(b, at, fmt, v):
    b = bytearray(b); struct.pack_into(fmt, b, at, v); return b
write(bad, 'signature.pqf', b'pqfX' + one[4:])
write(bad, 'zero_width.pqf', patched(one, 4, '<i', 0))
write(bad, 'width_5000.pqf', patched(one, 4, '<i', 5000))
write(bad, 'colours_17.pqf', patched(one, 12, '<i', 17))
write(bad, 'no_layers.pqf', patched(one, 1040, '<i', 0))
write(bad, 'layer_count_huge.pqf', patched(one, 1040, '<i', 0x7FFFFFFF))
write(bad, 'name_length_negative.pqf', patched(one, 1044, '<i', -7))
write(bad, 'mask_ends_early.pqf', one[:-1])
write(bad, 'header_only.pqf', one[:16])

# ---- icons and cursors -----------------------------------------------------------------------
def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4

def dib(w, h, bits, palette, index, transparent, clr_used=0, header_size=40, compression=0):
    """A DIB icon image: header, colour table, bottom-up colour rows, bottom-up AND rows."""
    b = bytearray(struct.pack('<IiiHHIIiiII', header_size, w, 2 * h, 1, bits, compression, 0, 0, 0, clr_used, 0))
    b += bytes(header_size - 40)
    for (r, g, bl) in palette:
        b += bytes((bl, g, r, 0))
    for y in reversed(range(h)):
        row = bytearray(row_bytes(w, bits))
        for x in range(w):
            v = index(x, y)
            if bits == 8:
                row[x] = v
            elif bits == 1:
                row[x // 8] |= v << (7 - x % 8)
            elif x % 2 == 0:
                row[x // 2] |= v << 4
            else:
                row[x // 2] |= v
        b += row
    for y in reversed(range(h)):
        row = bytearray(row_bytes(w, 1))
        for x in range(w):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        b += row
    return b

def icon_file(kind, images):
    """images: list of (width byte, height byte, colour byte, planes/hotX, bits/hotY, image bytes)."""
    b = bytearray(struct.pack('<HHH', 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for (wb, hb, cb, p, bc, img) in images:
        b += struct.pack('<BBBBHHII', wb, hb, cb, 0, p, bc, len(img), offset)
        offset += len(img)
    for img in images:
        b += img[5]
    return b

PAL16 = [(i * 17, 255 - i * 17, (i * 40) & 255) for i in range(16)]
PAL256 = [(i, (i * 3) & 255, 255 - i) for i in range(256)]
idx4 = lambda x, y: (x + 3 * y) % 16
tr4 = lambda x, y: (x, y) in ((0, 0), (4, 2))
idx8 = lambda x, y: (x * 40 + y * 7) & 255
tr8 = lambda x, y: x == y
img4 = dib(5, 3, 4, PAL16, idx4, tr4)
img8 = dib(5, 3, 8, PAL256, idx8, tr8)
write(data, 'odd_width_4bit.ico', icon_file(1, [(5, 3, 16, 1, 4, img4)]))
write(data, 'odd_width_8bit.cur', icon_file(2, [(5, 3, 0, 2, 1, img8)]))
# Two images: the chooser's lines and the choice by index.
write(data, 'two_images.ico', icon_file(1, [(5, 3, 16, 1, 4, img4), (5, 3, 0, 1, 8, img8)]))

good4 = icon_file(1, [(5, 3, 16, 1, 4, img4)])
write(bad, 'no_images.ico', struct.pack('<HHH', 0, 1, 0))
write(bad, 'directory_cut.ico', good4[:6 + 8])
write(bad, 'directory_past_end.ico', patched(good4, 4, '<H', 20))
write(bad, 'offset_outside.ico', patched(good4, 6 + 12, '<I', 100000))
write(bad, 'offset_near_end.ico', patched(good4, 6 + 12, '<I', len(good4) - 10))
write(bad, 'mask_cut.ico', good4[:-1])
# The entry's byte count is one short of its image; the image still lies inside the file.
write(data, 'bytes_in_res_short.ico', patched(good4, 6 + 8, '<I', len(img4) - 1))
write(bad, 'rle_compressed.ico', patched(good4, 22 + 16, '<I', 2))
write(bad, 'zero_width.ico', patched(good4, 22 + 4, '<i', 0))
write(bad, 'negative_height.ico', patched(good4, 22 + 8, '<i', -6))
write(bad, 'width_5000.ico', patched(good4, 22 + 4, '<i', 5000))
write(bad, 'header_size_huge.ico', patched(good4, 22, '<I', 0x7FFFFFF0))
write(bad, 'header_size_short.ico', patched(good4, 22, '<I', 12))
write(bad, 'colours_used_17.ico', patched(good4, 22 + 32, '<I', 17))
# A monochrome image: black and white in a checkerboard, transparent where tr4 says.
write(data, 'monochrome.ico', icon_file(1, [(5, 3, 2, 1, 1, dib(5, 3, 1, [(0, 0, 0), (255, 255, 255)],
                                                               lambda x, y: (x + y) % 2, tr4))]))
write(bad, 'eight_colours.ico', patched(good4, 6 + 2, '<B', 8))

def png_chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

# A PNG image that declares 100000 x 100000 pixels in 57 bytes.
huge_png = (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', 100000, 100000, 8, 6, 0, 0, 0)) +
            png_chunk(b'IEND', b''))
write(bad, 'png_huge.ico', icon_file(1, [(0, 0, 0, 1, 32, huge_png)]))

# ---- palettes --------------------------------------------------------------------------------
write(data, 'three_lf.pal', b'JASC-PAL\n0100\n3\n10 20 30\n40 50 60 \n255 0 7\n')
write(bad, 'jasc_letters.pal', b'JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 x 6\r\n')
write(bad, 'jasc_missing_lines.pal', b'JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n4 5 6\r\n')
write(bad, 'jasc_value_300.pal', b'JASC-PAL\r\n0100\r\n1\r\n300 2 3\r\n')
write(bad, 'jasc_two_values.pal', b'JASC-PAL\r\n0100\r\n1\r\n1 2\r\n')
write(bad, 'jasc_count_negative.pal', b'JASC-PAL\r\n0100\r\n-1\r\n')
write(bad, 'jasc_no_count.pal', b'JASC-PAL\r\n0100\r\n')
write(bad, 'pqp_short.pqp', b'pqp' + struct.pack('<i', 16) + bytes(4 * 15))
write(bad, 'pqp_negative.pqp', b'pqp' + struct.pack('<i', -1))
write(bad, 'riff_short.pal', b'RIFF' + struct.pack('<I', 100) + b'PAL data' + struct.pack('<IHH', 80, 0x300, 20) + bytes(4 * 19))
write(bad, 'riff_not_a_palette.pal', b'RIFF' + struct.pack('<I', 100) + b'ACONanih' + bytes(40))
