#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_run into the folder given. Each seed is two bytes (the
options that take a value, the flags and the road), the argument lines, a line
"--red.dat--", a red.dat text, a line "--spc--" and a small old-format interferogram (a
damped burst, early for the single-sided path, central for the double-sided one). The red.dat
runs cover both paths, every window, phase files, power-of-two mode, a repeated name and the
working folder as output folder; the command-line runs cover every option, each side output
in a name of its own, JSON and CSV summaries, the summary on standard output, workers,
shards, a file named twice, a missing file, count-only runs, a refused option, the page of a
red.dat run and --check."""
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


# Byte 0: a bit for each group of options whose values the lines give, in this order.
OUT, LOG, SUMMARY, REPORT, SAVE_RED_DAT, WINDOW_SIDES, NUMBERS, WORK = (1 << b for b in range(8))
# Byte 1: flags in bits 0-3, the road in bits 4-5.
PHASE_FILES, NO_RES, CARRY, QUIET = (1 << b for b in range(4))
COMMAND_LINE, RED_DAT, CHECK = 0x00, 0x10, 0x20
NUMBERS_LINES = ['4', '400:4000', '16384', '1']  # --res --range --laser --sampr


def seed(options, flags, lines, text, image):
    head = bytes([options, flags]) + ''.join(line + '\n' for line in lines).encode()
    return head + b'--red.dat--\n' + text.encode() + b'--spc--\n' + image


single = interferogram(1024, 200)
double = interferogram(1024, 512)
plain = red_dat(0, 3)
seeds = {}
for iapod in range(7):
    seeds['single_w%d' % iapod] = seed(0, RED_DAT, [], red_dat(0, iapod, iphase=iapod % 2), single)
    seeds['double_w%d' % iapod] = seed(0, RED_DAT, [], red_dat(1, iapod, ilog=iapod % 2), double)
seeds['single_pow2'] = seed(0, RED_DAT, [], red_dat(0, 2, ipow2=1, npow=8), single)
seeds['double_pow2'] = seed(0, RED_DAT, [], red_dat(1, 2, ipow2=1, npow=7), double)
seeds['twice_here'] = seed(0, RED_DAT, [], red_dat(0, 3, iphase=1, names=('i.spc', './i.spc'),
                                                   outdir=''), single)
seeds['count_only'] = seed(0, RED_DAT, [], red_dat(1, 1, ires=0), double)
seeds['check'] = seed(0, CHECK, [], plain, single)
seeds['check_named'] = seed(0, CHECK, ['red.dat'], plain, single)
seeds['page_of_red_dat'] = seed(REPORT, COMMAND_LINE, ['page.html'], plain, single)

windows = ['boxcar', 'triangle', 'happ-genzel', 'blackman-harris', 'nb-weak', 'nb-medium',
           'nb-strong']
for i, window in enumerate(windows):
    sides = ['auto', 'single', 'double'][i % 3]
    seeds['cli_%s_%s' % (window, sides)] = seed(
        OUT | WINDOW_SIDES | NUMBERS, PHASE_FILES if i % 2 else 0,
        ['out', window, sides] + NUMBERS_LINES + ['i.spc'], '', single if i % 2 else double)
seeds['cli_side_outputs'] = seed(
    OUT | LOG | SUMMARY | REPORT | SAVE_RED_DAT | NUMBERS, PHASE_FILES,
    ['out', 'run.log', 's.csv', 'page.html', 'saved.dat'] + NUMBERS_LINES + ['i.spc'], '', single)
seeds['cli_side_outputs_in_out'] = seed(
    OUT | LOG | SUMMARY | REPORT | SAVE_RED_DAT | NUMBERS, QUIET,
    ['out', 'out/run.log', 'out/s.json', 'out/page.html', 'out/red.dat'] + NUMBERS_LINES +
    ['i.spc'], '', double)
seeds['cli_summary_stdout'] = seed(SUMMARY | NUMBERS, QUIET, ['-'] + NUMBERS_LINES + ['i.spc'],
                                   '', single)
seeds['cli_laser_from_file'] = seed(OUT | LOG, 0, ['out', 'run.log', 'i.spc'], '', single)
seeds['cli_workers'] = seed(
    OUT | SUMMARY | NUMBERS | WORK, 0,
    ['out', 's.csv'] + NUMBERS_LINES + ['1024', '3', '1/1', 'i.spc', 'missing.spc', 'i.spc',
                                        './i.spc'], '', double)
seeds['cli_shard'] = seed(OUT | NUMBERS | WORK, QUIET,
                          ['out'] + NUMBERS_LINES + ['', '2', '2/3', 'a', 'i.spc', 'b', 'c'], '',
                          single)
seeds['cli_count_only'] = seed(OUT | SUMMARY | NUMBERS, NO_RES, ['out', 's.json'] + NUMBERS_LINES
                               + ['i.spc'], '', double)
seeds['cli_carry'] = seed(OUT | SAVE_RED_DAT | NUMBERS, CARRY | NO_RES,
                          ['out', 'saved.dat', '2', '-10:4000', '16384', '2', 'i.spc', 'i.spc'],
                          '', single)
seeds['cli_here'] = seed(OUT | LOG | NUMBERS, 0, ['', 'run.log'] + NUMBERS_LINES + ['i.spc'], '',
                         single)
seeds['cli_refused_range'] = seed(NUMBERS, 0, ['4', '4000:400', '16384', '1', 'i.spc'], '', single)
os.makedirs(sys.argv[1], exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(sys.argv[1], name), 'wb') as out:
        out.write(data)
