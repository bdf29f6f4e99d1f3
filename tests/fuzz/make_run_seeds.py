#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_run into the folder given: red.dat texts for both paths,
every window, phase files, power-of-two mode, a repeated name and the working folder as
output folder, each followed by the line "--spc--" and a small old-format interferogram
(a damped burst, early for the single-sided path, central for the double-sided one)."""
import math
import os
import struct
import sys


def interferogram(npts, center):
    head = bytearray(256)
    head[0], head[1] = 0, 0x4D
    struct.pack_into('<hfff', head, 2, 32, float(npts), 0.0, float(npts - 1))
    head[224], head[225] = 0x81, 0xFE
    data = bytearray()
    for i in range(1, npts + 1):
        d = i - center
        v = 100000.0 * math.exp(-abs(d) / 40.0) * (0.6 * math.cos(0.9 * d) + 0.4 * math.cos(1.7 * d))
        v = int(round(v))
        data += struct.pack('<hH', v >> 16, v & 0xFFFF)
    return bytes(head + data)


def red_dat(idbl, iapod, iphase=0, ipow2=0, npow=10, ires=1, names=('i.spc',), outdir='out',
            ilog=1):
    lines = ['%5d' % len(names)] + list(names) + [
        '%5d' % iphase, '1.0', '%5d' % iapod, '%5d' % ipow2, '%5d' % npow, '%5d' % ires,
        '%5d' % idbl, '          4.0', '400', '4000', '16384.0', outdir, '%5d' % ilog]
    return '\n'.join(lines) + '\n'


single = interferogram(1024, 200)
double = interferogram(1024, 512)
seeds = {}
for iapod in range(7):
    seeds['single_w%d' % iapod] = (red_dat(0, iapod, iphase=iapod % 2), single)
    seeds['double_w%d' % iapod] = (red_dat(1, iapod, ilog=iapod % 2), double)
seeds['single_pow2'] = (red_dat(0, 2, ipow2=1, npow=8), single)
seeds['double_pow2'] = (red_dat(1, 2, ipow2=1, npow=7), double)
seeds['twice_here'] = (red_dat(0, 3, iphase=1, names=('i.spc', './i.spc'), outdir=''), single)
seeds['count_only'] = (red_dat(1, 1, ires=0), double)
os.makedirs(sys.argv[1], exist_ok=True)
for name, (text, image) in seeds.items():
    with open(os.path.join(sys.argv[1], name), 'wb') as out:
        out.write(text.encode() + b'--spc--\n' + image)
