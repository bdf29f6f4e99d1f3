#!/usr/bin/env python3
"""Writes small synthetic instrument files into the folder given, as a seed corpus for
fuzz_opus (KIND opus) or fuzz_omnic (KIND omnic): a sound file of each layout, one with
forward and backward scans or an interferogram beside a spectrum, repeated blocks, and a
few damaged ones. The shared instrument files beside the project, when present, are added
as seeds too (read in place, written only into the corpus folder).

    make_instrument_seeds.py KIND FOLDER"""
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.join(HERE, '..', 'data')


def opus_params(entries):
    body = b''
    for key, value in entries:
        if isinstance(value, int):
            body += key.encode() + b'\0' + struct.pack('<hhi', 0, 2, value)
        elif isinstance(value, float):
            body += key.encode() + b'\0' + struct.pack('<hhd', 1, 4, value)
        else:
            text = value.encode() + b'\0'
            if len(text) % 2:
                text += b'\0'
            body += key.encode() + b'\0' + struct.pack('<hh', 3, len(text) // 2) + text
    return body + b'END\0\0\0\0\0'


def opus(blocks):
    head = b'\n\n\xfe\xfe' + struct.pack('<diii', 920622.0, 24, len(blocks), len(blocks))
    at = 24 + 12 * len(blocks)
    directory, data = b'', b''
    for code, body in blocks:
        body += b'\0' * (-len(body) % 4)
        directory += struct.pack('<Iii', code, len(body) // 4, at)
        data += body
        at += len(body)
    return head + directory + data


def floats(values):
    return struct.pack('<%df' % len(values), *values)


def opus_seeds():
    ig = [0.1 * ((i * 7) % 11 - 5) for i in range(64)]
    ig[20] = 9.0
    status = lambda n, fxv, lxv, csf: opus_params(
        [('DPF', 1), ('NPT', n), ('FXV', fxv), ('LXV', lxv), ('CSF', csf)])
    common = [
        (0x20, opus_params([('LWN', 15798.0), ('HFL', 7899.0), ('LFL', 0.0), ('SSP', 1),
                            ('PKL', 20)])),
        (0x40, opus_params([('APF', 'B3'), ('PHR', 32.0), ('PHZ', 'ML'), ('ZFF', '2'),
                            ('LFQ', 4000.0), ('HFQ', 400.0)])),
    ]
    single = common + [
        (0x30, opus_params([('AQM', 'SN'), ('RES', 4.0)])),
        (0x807, floats(ig + [0.0])), (0x817, status(64, 0.0, 63.0, 0.5)),
        (0x407, floats([1.0, 2.0, 3.0])), (0x417, status(3, 4000.0, 400.0, 1.0)),
        (0x80B, floats(ig)), (0x81B, status(64, 0.0, 63.0, 0.5)),
    ]
    double = common + [
        (0x30, opus_params([('AQM', 'DD'), ('RES', 16.0)])),
        (0x807, floats(ig + ig[::-1])), (0x817, status(128, 0.0, 127.0, 1.0)),
        (0x140F, floats([0.5, 0.6])), (0x141F, status(2, 7000.0, 400.0, 1.0)),
    ]
    repeated = single + [(0x807, floats(ig[::-1])), (0x817, status(60, 0.0, 59.0, 1.0))]
    background = common + [(0x80B, floats(ig)), (0x81B, status(64, 0.0, 63.0, 1.0))]
    beyond = common + [(0x807, floats(ig)), (0x817, status(65, 0.0, 64.0, 1.0))]
    no_status = common + [(0x807, floats(ig))]
    return {
        'single.0': opus(single), 'double.0': opus(double), 'repeated.0': opus(repeated),
        'background.0': opus(background), 'beyond.0': opus(beyond),
        'nostatus.0': opus(no_status), 'short.0': opus(single)[:20],
    }


def spa(sections):
    head = bytearray(b'Spectral Data File'.ljust(304, b'\0'))
    head[30:39] = b'synthetic'
    struct.pack_into('<H', head, 294, len(sections))
    at = 304 + 16 * (len(sections) + 1)
    directory, data = b'', b''
    for key, body in sections:
        directory += struct.pack('<BBII6x', key, 0, at, len(body))
        data += body
        at += len(body)
    return bytes(head) + directory + b'\0' * 16 + data


def spa_header(points, x_units, first, last):
    h = bytearray(140)
    struct.pack_into('<IIII', h, 0, 1, points, x_units, 22)
    struct.pack_into('<ff', h, 16, first, last)
    struct.pack_into('<II', h, 28, points, 32)
    struct.pack_into('<I', h, 44, 256)
    struct.pack_into('<ff', h, 80, 15798.26, 2.0)
    return bytes(h)


def omnic_seeds():
    ig = floats([0.01 * ((i * 5) % 13 - 6) for i in range(64)])
    spectrum = floats([0.5 + 0.01 * i for i in range(40)])
    return {
        'interferogram.SPA': spa([(2, spa_header(64, 2, 0.0, 63.0)), (27, b'history\0'),
                                  (3, ig)]),
        'spectrum.SPA': spa([(2, spa_header(40, 1, 4000.0, 400.0)), (3, spectrum), (102, ig),
                             (103, ig)]),
        'beyond.SPA': spa([(2, spa_header(65, 2, 0.0, 64.0)), (3, ig)]),
        'noheader.SPA': spa([(3, ig)]),
    }


def main():
    kind, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    seeds = opus_seeds() if kind == 'opus' else omnic_seeds()
    for name, image in seeds.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(image)
    shared = os.path.join(SHARED, kind)
    if os.path.isdir(shared):
        for name in os.listdir(shared):
            shutil.copyfile(os.path.join(shared, name), os.path.join(folder, 'shared-' + name))


main()
