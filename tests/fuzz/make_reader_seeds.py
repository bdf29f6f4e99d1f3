#!/usr/bin/env python3
"""Writes a few small SPC files into the folder given, as a seed corpus for fuzz_reader:
new format 32-bit, 16-bit and f32, old format 32-bit and 16-bit, decreasing X, a short
data block, a refused variant of each kind, and two of a few thousand points."""
import os
import struct
import sys


def new(flags=0, version=0x4B, exp=0, n=8, first=0.0, last=7.0):
    head = bytearray(544)
    head[0], head[1] = flags, version
    struct.pack_into('<bidd', head, 3, exp, n, first, last)
    struct.pack_into('<ff', head, 56, 1.5, -2.0)
    return head


def old(flags=0, exp=0, n=8.0, first=0.0, last=7.0):
    head = bytearray(256)
    head[0], head[1] = flags, 0x4D
    struct.pack_into('<hfff', head, 2, exp, n, first, last)
    head[224], head[225] = 0x81, 0xFE
    return head


values = [0, 1, -1, 1000, -65536, 2**31 - 1, -2**31, 12345]
i32 = b''.join(struct.pack('<i', v) for v in values)
i16 = b''.join(struct.pack('<h', max(-32768, min(32767, v))) for v in values)
f32 = b''.join(struct.pack('<f', v / 7.0) for v in values)
old32 = b''.join(struct.pack('<hH', v >> 16, v & 0xFFFF) for v in values)

seeds = {
    'new32.spc': new(exp=26) + i32,
    'new16.spc': new(flags=1, exp=16) + i16,
    'newf32.spc': new(exp=-128) + f32,
    'newdown.spc': new(exp=20, first=4000.0, last=400.0) + i32,
    'newshort.spc': new(exp=26, n=100) + i32[:13],
    'old32.spc': old(exp=15, first=100.0, last=1800.0) + old32,
    'old16.spc': old(flags=1, exp=16) + i16,
    'multi.spc': new(flags=4) + i32,
    'msb.spc': new(version=0x4C) + i32,
    'onepoint.spc': old(n=1.0) + old32,
    # Larger than a small read buffer many times over, and not a whole number of chunks.
    'new32long.spc': new(exp=26, n=3001, last=3000.0) + i32 * 375 + i32[:4],
    'old16long.spc': old(flags=1, exp=16, n=4000.0, last=3999.0) + i16 * 500,
}
os.makedirs(sys.argv[1], exist_ok=True)
for name, image in seeds.items():
    with open(os.path.join(sys.argv[1], name), 'wb') as out:
        out.write(bytes(image))
