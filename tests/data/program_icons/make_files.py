#!/usr/bin/env python3
"""Writes the small program files the program-icon tests read (run from this folder).

pe32_icons.exe (PE32) holds three icon groups:
  1       16x16 8-bit and 64x64 4-bit images; the 64x64 one is 2x2 blocks of one colour
          (red where x/2 + y/2 is even, blue otherwise), its left half transparent.
  HELLO   one 32x32 32-bit image with alpha: rows 0-15 opaque red, rows 16-23 alpha 100 green,
          rows 24-31 alpha 0 blue.
  3       one 64x64 PNG: 2x2 blocks, yellow left half / cyan right half, alpha 255 except the
          top 32 rows (alpha 0).
Malformed ones go to ../bad/program_icons/.
"""
import struct, zlib

def dib(w, h, bits, palette, pixel, mask, alpha=None):
    """pixel(x, y) -> index or (r, g, b); mask(x, y) -> 1 transparent; alpha(x, y) -> 0..255."""
    hdr = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, bits, 0, 0, 0, 0, len(palette), 0)
    pal = b''.join(bytes([b, g, r, 0]) for r, g, b in palette)
    stride = (w * bits + 31) // 32 * 4
    rows = b''
    for y in reversed(range(h)):
        row = bytearray()
        if bits == 4:
            for x in range(0, w, 2):
                row.append(pixel(x, y) << 4 | pixel(x + 1, y))
        elif bits == 8:
            row += bytes(pixel(x, y) for x in range(w))
        elif bits == 32:
            for x in range(w):
                r, g, b = pixel(x, y)
                row += bytes([b, g, r, alpha(x, y)])
        rows += bytes(row) + b'\0' * (stride - len(row))
    mstride = (w + 31) // 32 * 4
    masks = b''
    for y in reversed(range(h)):
        row = bytearray(mstride)
        for x in range(w):
            if mask(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        masks += bytes(row)
    return hdr + pal + rows + masks

def png(w, h, rgba):
    raw = b''.join(b'\0' + b''.join(bytes(rgba(x, y)) for x in range(w)) for y in range(h))
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))

def group(entries):
    """entries: (id, w, h, bits, size)"""
    d = struct.pack('<HHH', 0, 1, len(entries))
    for i, w, h, bits, size in entries:
        d += struct.pack('<BBBBHHIH', w & 255, h & 255, 0, 0, 1, bits, size, i)
    return d

def resources(icons, groups, base_rva):
    """icons: [(id, bytes)], groups: [(name or id, bytes)] -> section bytes."""
    types = [(3, icons), (14, groups)]
    named = lambda n: isinstance(n, str)
    # layout: root, type dirs, language dirs, data entries, names, data
    off = 16 + 8 * len(types)
    type_off = []
    for _, items in types:
        type_off.append(off)
        off += 16 + 8 * len(items)
    lang_off = {}
    for t, items in types:
        for n, _ in items:
            lang_off[(t, n)] = off
            off += 24
    entry_off = {}
    for t, items in types:
        for n, _ in items:
            entry_off[(t, n)] = off
            off += 16
    name_off = {}
    for t, items in types:
        for n, _ in items:
            if named(n):
                name_off[(t, n)] = off
                off += 2 + 2 * len(n)
    data_off = {}
    for t, items in types:
        for n, d in items:
            off = (off + 3) & ~3
            data_off[(t, n)] = off
            off += len(d)
    out = bytearray(off)
    def dirhdr(at, nnamed, nid):
        out[at:at + 16] = struct.pack('<IIHHHH', 0, 0, 0, 0, nnamed, nid)
    dirhdr(0, 0, len(types))
    for i, (t, items) in enumerate(types):
        out[16 + 8 * i:24 + 8 * i] = struct.pack('<II', t, 0x80000000 | type_off[i])
        # named entries first, then ids, as resource compilers order them
        order = sorted(items, key=lambda it: (0, it[0]) if named(it[0]) else (1, it[0]))
        dirhdr(type_off[i], sum(1 for n, _ in order if named(n)), sum(1 for n, _ in order if not named(n)))
        for j, (n, _) in enumerate(order):
            name = (0x80000000 | name_off[(t, n)]) if named(n) else n
            out[type_off[i] + 16 + 8 * j:type_off[i] + 24 + 8 * j] = struct.pack('<II', name, 0x80000000 | lang_off[(t, n)])
    for t, items in types:
        for n, d in items:
            lo = lang_off[(t, n)]
            dirhdr(lo, 0, 1)
            out[lo + 16:lo + 24] = struct.pack('<II', 1033, entry_off[(t, n)])
            eo = entry_off[(t, n)]
            out[eo:eo + 16] = struct.pack('<IIII', base_rva + data_off[(t, n)], len(d), 0, 0)
            if named(n):
                no = name_off[(t, n)]
                out[no:no + 2 + 2 * len(n)] = struct.pack('<H', len(n)) + n.encode('utf-16-le')
            out[data_off[(t, n)]:data_off[(t, n)] + len(d)] = d
    return bytes(out)

def pe(section, pe32plus=False, resource_rva=0x1000, raw_size=None):
    dos = bytearray(64)
    dos[0:2] = b'MZ'
    dos[0x3C:0x40] = struct.pack('<I', 64)
    optsize = 240 if pe32plus else 224
    coff = b'PE\0\0' + struct.pack('<HHIIIHH', 0x8664 if pe32plus else 0x14C, 1, 0, 0, 0, optsize, 0x0102)
    opt = bytearray(optsize)
    opt[0:2] = struct.pack('<H', 0x20B if pe32plus else 0x10B)
    count_at, dirs_at = (108, 112) if pe32plus else (92, 96)
    opt[count_at:count_at + 4] = struct.pack('<I', 16)
    opt[dirs_at + 16:dirs_at + 24] = struct.pack('<II', resource_rva, len(section))
    size = len(section) if raw_size is None else raw_size
    sect = b'.rsrc\0\0\0' + struct.pack('<IIIIIIHHI', len(section), 0x1000, size, 0x200, 0, 0, 0, 0, 0x40000040)
    head = bytes(dos) + coff + bytes(opt) + sect
    return head + b'\0' * (0x200 - len(head)) + section

red, blue, green, yellow, cyan = (255, 0, 0), (0, 0, 255), (0, 255, 0), (255, 255, 0), (0, 255, 255)
pal16 = [(0, 0, 0), red, blue] + [(0, 0, 0)] * 13
img16 = dib(16, 16, 8, [(0, 0, 0)] * 256, lambda x, y: 0, lambda x, y: 0)
img64 = dib(64, 64, 4, pal16, lambda x, y: 1 if (x // 2 + y // 2) % 2 == 0 else 2, lambda x, y: x < 32)
img32a = dib(32, 32, 32, [], lambda x, y: red if y < 16 else green if y < 24 else blue, lambda x, y: 0,
             lambda x, y: 255 if y < 16 else 100 if y < 24 else 0)
png64 = png(64, 64, lambda x, y: (yellow if x < 32 else cyan) + ((0,) if y < 32 else (255,)))

icons = [(1, img16), (2, img64), (3, img32a), (4, png64)]
groups = [(1, group([(1, 16, 16, 8, len(img16)), (2, 64, 64, 4, len(img64))])),
          ('HELLO', group([(3, 32, 32, 32, len(img32a))])),
          (3, group([(4, 64, 64, 32, len(png64))]))]
open('pe32_icons.exe', 'wb').write(pe(resources(icons, groups, 0x1000)))

bad = '../bad/program_icons/'
# Group 1 lists an icon id the program lacks; group 2 is fine.
open(bad + 'group_without_images.dll', 'wb').write(pe(resources(
    [(1, img16)], [(1, group([(99, 32, 32, 4, 744)])), (2, group([(1, 16, 16, 8, len(img16))]))], 0x1000), True))
# The PNG of the 32x32 entry is damaged; the 16x16 DIB must be used instead.
broken = bytearray(png(32, 32, lambda x, y: (1, 2, 3, 255)))
broken[40:60] = b'\xff' * 20
open(bad + 'damaged_png.dll', 'wb').write(pe(resources(
    [(1, img16), (2, bytes(broken))], [(1, group([(2, 32, 32, 32, len(broken)), (1, 16, 16, 8, len(img16))]))], 0x1000), True))
# The resource directory points outside every section.
open(bad + 'resources_outside_sections.exe', 'wb').write(pe(resources(icons, groups, 0x1000), resource_rva=0x9000))
# The section claims more stored bytes than the file holds.
full = pe(resources(icons, groups, 0x1000))
open(bad + 'cut_section.exe', 'wb').write(full[:0x200 + 100])
# A group directory whose count runs past its data.
g = bytearray(group([(1, 16, 16, 8, len(img16))]))
g[4:6] = struct.pack('<H', 500)
open(bad + 'group_count_too_large.exe', 'wb').write(pe(resources([(1, img16)], [(1, bytes(g))], 0x1000)))
