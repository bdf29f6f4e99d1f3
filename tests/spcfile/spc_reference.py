#!/usr/bin/env python3
"""Reference values for the sample-file test, written apart from the C++ reader.

For each SPC file named on the command line, prints what the reader must do with it:
refuse it (and how) or read it, with the point count and the X and Y of the first, the
middle (i = (n + 1) / 2) and the last point as exact hexadecimal floats (the C++ test
pastes them as hex-float literals).

Rules: flags 0x02, 0x04 or 0x80 refuse the file, then version 0x4C does; version 0x4D is
the old format (256-byte header, f32 point count and X ends, i16 exponent, 32-bit values
with the more significant 16-bit half first), anything else the new format (544 bytes
of header and subheader, i32 count, f64 X ends, i8 exponent, exponent -128 = f32 values).
Every declared point present in the file is kept. 32-bit integers are scaled by the f32
value of 2^(exp-32), 16-bit ones by 2^(exp-16), each product rounded to f32.
New-format X: firstx + (i-1)*(lastx-firstx)/(n-1); old-format X: (i-1)*qs + firstx
rounded to f32, qs the f32 value of (lastx-firstx)/(n-1).
"""
import struct
import sys


def f32(v):
    return struct.unpack('<f', struct.pack('<f', v))[0]


def describe(path):
    data = open(path, 'rb').read()
    flags, version = data[0], data[1]
    if flags & 0x86:
        return 'unsupported'
    if version == 0x4C:
        return 'msb-first'
    if version == 0x4D:
        exp, = struct.unpack_from('<h', data, 2)
        pc, fx, lx = struct.unpack_from('<fff', data, 4)
        n = int(pc)
        qs = f32((lx - fx) / (pc - 1.0))
        xs = lambda i: f32((i - 1) * qs + fx)
        start = 256
    else:
        exp, = struct.unpack_from('<b', data, 3)
        n, fx, lx = struct.unpack_from('<idd', data, 4)
        inc = (lx - fx) / (n - 1)
        xs = lambda i: fx + (i - 1) * inc
        start = 544
    if exp == -128 and version != 0x4D:
        width, kind = 4, 'f'
    elif flags & 0x01:
        width, kind = 2, 'h'
    else:
        width, kind = 4, 'i'
    count = min(n, (len(data) - start) // width)

    def ys(i):
        at = start + (i - 1) * width
        if kind == 'f':
            return struct.unpack_from('<f', data, at)[0]
        if kind == 'h':
            return f32(struct.unpack_from('<h', data, at)[0] * f32(2.0 ** (exp - 16)))
        if version == 0x4D:
            hi, lo = struct.unpack_from('<hH', data, at)
            k = hi * 65536 + lo
        else:
            k, = struct.unpack_from('<i', data, at)
        return f32(k * f32(2.0 ** (exp - 32)))

    mid = (count + 1) // 2
    return 'read %d mid %d x %s %s %s y %s %s %s' % (
        count, mid, xs(1).hex(), xs(mid).hex(), xs(count).hex(), ys(1).hex(), ys(mid).hex(),
        ys(count).hex())


for name in sys.argv[1:]:
    print(name.rsplit('/', 1)[-1], describe(name))
