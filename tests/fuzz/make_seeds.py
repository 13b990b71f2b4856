#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into seeds/<target>/ (run from this folder after
tests/data exists): small valid files of each kind, and small cases of what hostile files do
(huge declared sizes, endless scans, directories and groups that repeat one image)."""
import os, shutil, struct, subprocess, zlib

here = os.path.dirname(os.path.abspath(__file__))
data = os.path.join(here, '..', 'data')

def put(target, name, content):
    folder = os.path.join(here, 'seeds', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(content)

def read(*path):
    with open(os.path.join(data, *path), 'rb') as f:
        return f.read()

def dib(w, h, bits):
    hdr = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, bits, 0, 0, 0, 0, 0, 0)
    stride, mstride = (w * bits + 31) // 32 * 4, (w + 31) // 32 * 4
    pal = bytes(4 * (1 << bits)) if bits <= 8 else b''
    return hdr + pal + bytes(stride * h) + bytes(mstride * h)

# ---- bitmaps: the test files, a 2 x 2 24-bit one, an RLE8 end code claiming 3,866,628 x 3
for name in ('rle8_codes.bmp', 'pal2_topdown.bmp'):
    put('bmp_reader_fuzz', name, read('bmp_reader', name))
rows = b'\x00\x00\xff\xff\xff\xff\x00\x00' * 2
put('bmp_reader_fuzz', 'rgb24.bmp', struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)
    + struct.pack('<IiiHHIIiiII', 40, 2, 2, 1, 24, 0, len(rows), 0, 0, 0, 0) + rows)
put('bmp_reader_fuzz', 'rle8_huge_claim.bmp', struct.pack('<2sIHHI', b'BM', 88, 0, 0, 86)
    + struct.pack('<IiiHHIIiiII', 40, 3866628, 3, 1, 8, 1, 2, 0, 0, 8, 0) + bytes(32) + b'\x00\x01')

# ---- JPEG: the test files, and a progressive file declaring 8192 x 8192 (cut short)
for name in ('gradient.jpg', 'gradient_progressive.jpg'):
    put('jpeg_reader_fuzz', name, read('jpeg_reader', name))
prog = bytearray(read('jpeg_reader', 'gradient_progressive.jpg'))
i = 2
while i + 4 < len(prog):
    marker, length = prog[i + 1], prog[i + 2] << 8 | prog[i + 3]
    if marker in (0xC0, 0xC1, 0xC2):
        prog[i + 5:i + 9] = struct.pack('>HH', 8192, 8192)
        break
    i += 2 + length
put('jpeg_reader_fuzz', 'progressive_8192.jpg', bytes(prog))

# ---- icons: the test files and a directory of 300 entries sharing one image
for name in ('two_images.ico', 'odd_width_4bit.ico', 'odd_width_8bit.cur', 'bytes_in_res_short.ico'):
    put('icon_file_fuzz', name, read(name))
img = dib(32, 32, 4)
n = 300
put('icon_file_fuzz', 'shared_image.ico', struct.pack('<HHH', 0, 1, n)
    + b''.join(struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(img) // 2, 6 + 16 * n) for _ in range(n)) + img)

# ---- icons of other depths: monochrome, 32-bit with alpha, a PNG image, one declaring 100000 x 100000
put('icon_file_fuzz', 'monochrome.ico', read('monochrome.ico'))
put('icon_file_fuzz', 'png_huge.ico', read('bad', 'png_huge.ico'))
img32 = dib(8, 8, 32)
put('icon_file_fuzz', 'alpha32.ico', struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 8, 8, 0, 0, 1, 32, len(img32), 22) + img32)

def png(w, h, rows):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))

# 3 x 2 RGBA rows (filter byte 0), transparent where x == y
small = png(3, 2, b''.join(b'\x00' + b''.join(bytes([40 * x, 90, 200, 0 if x == y else 255]) for x in range(3))
                           for y in range(2)))
put('icon_file_fuzz', 'png_image.ico', struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 3, 2, 0, 0, 1, 32, len(small), 22) + small)

# ---- PNG pictures: a small one with transparency, one declaring 60000 x 60000 in a few bytes
put('png_picture_fuzz', 'small.png', small)
put('png_picture_fuzz', 'huge_claim.png', png(60000, 60000, b'\x00' * 16))

# ---- programs: the test program, and groups that all repeat one directory
put('program_icons_fuzz', 'pe32_icons.exe', read('program_icons', 'pe32_icons.exe'))

def program(groups, entries, image):
    rva, sub = 0x1000, 0x80000000
    icons, group_dir = 32, 56
    icon_lang = group_dir + 16 + 8 * groups
    group_lang, icon_data = icon_lang + 24, icon_lang + 48
    group_data, directory = icon_data + 16, icon_data + 32
    image_at = directory + 6 + 14 * entries
    r = bytearray(image_at + len(image))
    def u16(a, v): r[a:a + 2] = struct.pack('<H', v)
    def u32(a, v): r[a:a + 4] = struct.pack('<I', v)
    u16(14, 2); u32(16, 3); u32(20, sub | icons); u32(24, 14); u32(28, sub | group_dir)
    u16(icons + 14, 1); u32(icons + 16, 1); u32(icons + 20, sub | icon_lang)
    u16(group_dir + 14, groups)
    for g in range(groups):
        u32(group_dir + 16 + 8 * g, g + 1); u32(group_dir + 20 + 8 * g, sub | group_lang)
    for lang, at in ((icon_lang, icon_data), (group_lang, group_data)):
        u16(lang + 14, 1); u32(lang + 16, 1033); u32(lang + 20, at)
    u32(icon_data, rva + image_at); u32(icon_data + 4, len(image))
    u32(group_data, rva + directory); u32(group_data + 4, 6 + 14 * entries)
    u16(directory + 2, 1); u16(directory + 4, entries)
    for e in range(entries):
        u16(directory + 6 + 14 * e + 12, 1)
    r[image_at:] = image
    head = bytearray(0x200)
    def h32(a, v): head[a:a + 4] = struct.pack('<I', v)
    head[0:2] = b'MZ'; h32(0x3C, 64); h32(64, 0x4550); h32(68, 0x14C | 1 << 16); h32(84, 224 | 0x0102 << 16)
    h32(88, 0x10B); h32(88 + 92, 16); h32(88 + 112, rva); h32(88 + 116, len(r))
    sec = 88 + 224
    h32(sec + 8, len(r)); h32(sec + 12, rva); h32(sec + 16, len(r)); h32(sec + 20, 0x200)
    return bytes(head) + bytes(r)

put('program_icons_fuzz', 'repeated_groups.exe', program(40, 300, img))
put('program_icons_fuzz', 'one_group.exe', program(1, 2, img))

# ---- documents, palettes, snapshots
put('native_document_fuzz', 'three_layers.pqf', read('three_layers.pqf'))
put('palette_file_fuzz', 'three_lf.pal', read('three_lf.pal'))
put('palette_file_fuzz', 'sixteen.pqp', b'pqp' + struct.pack('<i', 16) + bytes(range(64)))
put('palette_file_fuzz', 'riff.pal', b'RIFF' + struct.pack('<I', 20) + b'PAL data' + struct.pack('<IHH', 8, 0x300, 2) + bytes(8))
put('palette_file_fuzz', 'animated_cursor.ani', b'RIFF' + struct.pack('<I', 4) + b'ACON')
w = h = 2
planes = bytes(w * h)
put('snapshot_fuzz', 'two_by_two', struct.pack('<i', 0) + struct.pack('<iii', w, h, 16) + bytes(1024)
    + b'\x00' + struct.pack('<iiiiii', 0, 0, 0, 0, 0, 0) + b'\x00' + planes + planes
    + struct.pack('<i', 1) + struct.pack('<i', 3) + '背'.encode('cp932') + b'\x00' + b'\x01' + planes + planes
    + struct.pack('<i', 0))
