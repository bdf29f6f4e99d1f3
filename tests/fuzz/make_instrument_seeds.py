#!/usr/bin/env python3
"""Writes small synthetic instrument files into the folder given, as a seed corpus for
fuzz_opus (KIND opus) or fuzz_omnic (KIND omnic): a sound file of each layout, one with
forward and backward scans or an interferogram beside a spectrum, repeated blocks, a few
damaged ones, and sound layouts stating parameter values the converter cannot honour (a
ZFF of "abc" or 1e9, an empty APF, a RES of 1e-9, a laser of 6.5e-10 cm-1, a transform
length of 4095), from which the fuzzer mutates values as well as structure. The shared instrument files beside the project, when present, are added
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


# The parameters of the sound files: instrument, acquisition and transform blocks (a
# resolution and phase resolution that 64 points with the centerburst at 20 can give).
PARAMS = {
    0x20: [('LWN', 15798.0), ('HFL', 7899.0), ('LFL', 0.0), ('SSP', 2), ('PKL', 20)],
    0x30: [('AQM', 'SN'), ('RES', 400.0)],
    0x40: [('APF', 'B3'), ('PHR', 1000.0), ('PHZ', 'ML'), ('ZFF', '2'), ('LFQ', 4000.0),
           ('HFQ', 400.0)],
}


def floats(values):
    return struct.pack('<%df' % len(values), *values)


def opus_seeds():
    ig = [0.1 * ((i * 7) % 11 - 5) for i in range(64)]
    ig[20] = 9.0
    status = lambda n, fxv, lxv, csf: opus_params(
        [('DPF', 1), ('NPT', n), ('FXV', fxv), ('LXV', lxv), ('CSF', csf)])
    common = [(0x20, opus_params(PARAMS[0x20])), (0x40, opus_params(PARAMS[0x40]))]
    single = common + [
        (0x30, opus_params(PARAMS[0x30])),
        (0x807, floats(ig + [0.0])), (0x817, status(64, 0.0, 63.0, 0.5)),
        (0x407, floats([1.0, 2.0, 3.0])), (0x417, status(3, 4000.0, 400.0, 1.0)),
        (0x80B, floats(ig)), (0x81B, status(64, 0.0, 63.0, 0.5)),
    ]
    double = common + [
        (0x30, opus_params([('AQM', 'DD'), ('RES', 800.0)])),
        (0x807, floats(ig + ig[::-1])), (0x817, status(128, 0.0, 127.0, 1.0)),
        (0x140F, floats([0.5, 0.6])), (0x141F, status(2, 7000.0, 400.0, 1.0)),
    ]
    repeated = single + [(0x807, floats(ig[::-1])), (0x817, status(60, 0.0, 59.0, 1.0))]
    background = common + [(0x80B, floats(ig)), (0x81B, status(64, 0.0, 63.0, 1.0))]
    beyond = common + [(0x807, floats(ig)), (0x817, status(65, 0.0, 64.0, 1.0))]
    no_status = common + [(0x807, floats(ig))]
    seeds = {
        'single.0': opus(single), 'double.0': opus(double), 'repeated.0': opus(repeated),
        'background.0': opus(background), 'beyond.0': opus(beyond),
        'nostatus.0': opus(no_status), 'short.0': opus(single)[:20],
        'notransform.0': opus([b for b in single if b[0] != 0x40]),
    }
    # One parameter of the sound single-scan file replaced, by the block it sits in.
    values = [
        (0x40, 'ZFF', 'abc'), (0x40, 'ZFF', '1e9'), (0x40, 'ZFF', '-2'), (0x40, 'ZFF', 1 << 30),
        (0x40, 'APF', ''), (0x40, 'PHZ', ''), (0x40, 'HFQ', 'abc'), (0x40, 'NLI', 7),
        (0x40, 'PHR', 1e-300), (0x30, 'AQM', 'XX'), (0x30, 'RES', 0.0), (0x30, 'RES', 1e-9),
        (0x30, 'RES', float('nan')), (0x20, 'LWN', 6.5e-10), (0x20, 'HFL', 1e-9),
        (0x20, 'SSP', 0), (0x20, 'PKL', -1), (0x20, 'NLA', 0.0),
    ]
    for code, key, value in values:
        changed = {code: [(key, value)]}
        if key == 'NLA':  # read only where NLI asks for the correction
            changed = {0x20: [('NLA', 0.0), ('NLB', 0.0)], 0x40: [('NLI', 1)]}
        blocks = []
        for c, body in single:
            if c in changed:
                keys = [k for k, _ in changed[c]]
                body = opus_params([e for e in PARAMS[c] if e[0] not in keys] + changed[c])
            blocks.append((c, body))
        seeds['%s-%s.0' % (key, value)] = opus(blocks)
    return seeds


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


def spa_header(points, x_units, first, last, transform=256, laser=15798.26, spacing=2.0):
    h = bytearray(140)
    struct.pack_into('<IIII', h, 0, 1, points, x_units, 22)
    struct.pack_into('<ff', h, 16, first, last)
    struct.pack_into('<II', h, 28, points, 32)
    struct.pack_into('<I', h, 44, transform)
    struct.pack_into('<ff', h, 80, laser, spacing)
    return bytes(h)


def omnic_seeds():
    samples = [0.01 * ((i * 5) % 13 - 6) for i in range(64)]
    samples[20] = 1.0
    ig = floats(samples)
    spectrum = floats([0.5 + 0.01 * i for i in range(40)])
    seeds = {
        'interferogram.SPA': spa([(2, spa_header(64, 2, 0.0, 63.0)), (27, b'history\0'),
                                  (3, ig)]),
        'spectrum.SPA': spa([(2, spa_header(40, 1, 4000.0, 400.0)), (3, spectrum), (102, ig),
                             (103, ig)]),
        'beyond.SPA': spa([(2, spa_header(65, 2, 0.0, 64.0)), (3, ig)]),
        'noheader.SPA': spa([(3, ig)]),
    }
    # The sound interferogram with one sampling fact of its header replaced.
    for field, value in [('transform', 0), ('transform', 1), ('transform', 3),
                         ('transform', 4095), ('transform', 2**32 - 1), ('laser', 6.5e-10),
                         ('laser', float('nan')), ('spacing', 0.0), ('spacing', 1e9),
                         ('spacing', 2.5)]:
        header = spa_header(64, 2, 0.0, 63.0, **{field: value})
        seeds['%s-%s.SPA' % (field, value)] = spa([(2, header), (3, ig)])
    return seeds


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
