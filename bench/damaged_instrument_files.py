#!/usr/bin/env python3
"""Damages the instrument files of tests/data (OPUS, OMNIC SPA) in the ways a hostile or
broken file would be damaged, converts every variant with ftir-reduce and counts what
became of them:

  flip       one byte inverted, at every header and directory byte and spread over the rest
  cut        the file truncated at lengths spread over it
  param      a stored parameter replaced by a value the converter cannot honour (a table
             below: ZFF "abc", RES 0, a laser of 6.5e-10, an unknown AQM, ...), a
             processing block removed, a channel without signal

A refusal that names only the SPC reader's laser hint ("give --laser") hides the reader's
own reason; a conversion of a `param` variant is a silent one (the value was replaced, not
refused). Both counts are printed per class and should be zero.

    damaged_instrument_files.py FTIR_REDUCE [WORK_FOLDER]"""
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', 'tests', 'data')
LASER_HINT = 'give --laser'


# --- OPUS: directory, parameter blocks, re-written blocks appended at the end ----------

def opus_directory(image):
    offset, count = struct.unpack_from('<ii', image, 12)[0], struct.unpack_from('<i', image, 20)[0]
    entries = []
    for i in range(count):
        at = offset + 12 * i
        code, words, where = struct.unpack_from('<Iii', image, at)
        entries.append((at, code, words, where))
    return entries


def opus_entries(body):
    out, at = [], 0
    while at + 8 <= len(body) and body[at:at + 3] != b'END':
        key = body[at:at + 3].decode('latin-1')
        kind, words = struct.unpack_from('<hh', body, at + 4)
        out.append([key, kind, body[at + 8:at + 8 + 2 * words]])
        at += 8 + 2 * words
    return out


def opus_value(value):
    if isinstance(value, int):
        return 0, struct.pack('<i', value)
    if isinstance(value, float):
        return 1, struct.pack('<d', value)
    text = value.encode() + b'\0'
    return 2, text + b'\0' * (len(text) % 2)


def opus_with(image, key, value, kinds=None):
    """The image with every parameter `key` (in blocks of the given parameter kinds, or
    any) set to `value`; None when the file states no such parameter."""
    image = bytearray(image)
    found = False
    for at, code, words, where in opus_directory(image):
        kind = (code >> 4) & 0x3F
        if kind == 0 or (code >> 19) & 7 or (kinds and kind not in kinds):
            continue
        entries = opus_entries(bytes(image[where:where + 4 * words]))
        if not any(e[0] == key for e in entries):
            continue
        found = True
        body = b''
        for name, kind_, raw in entries:
            if name == key:
                kind_, raw = opus_value(value)
            body += name.encode('latin-1') + b'\0' + struct.pack('<hh', kind_, len(raw) // 2) + raw
        body += b'END\0\0\0\0\0'
        body += b'\0' * (-len(body) % 4)
        struct.pack_into('<Iii', image, at, code, len(body) // 4, len(image))
        image += body
    return bytes(image) if found else None


def opus_without(image, kind):
    """The image with the parameter blocks of `kind` (4: transform) unlisted."""
    image = bytearray(image)
    for at, code, words, where in opus_directory(image):
        if (code >> 4) & 0x3F == kind and not (code >> 19) & 7:
            struct.pack_into('<Iii', image, at, 0, 0, 0)
    return bytes(image)


def opus_signal(image, value):
    """The image with every interferogram block's values set to `value`."""
    image = bytearray(image)
    for at, code, words, where in opus_directory(image):
        if (code >> 4) & 0x3F == 0 and (code >> 10) & 0x7F == 2 and not (code >> 19) & 7:
            struct.pack_into('<%df' % words, image, where, *([value] * words))
    return bytes(image)


NAN = float('nan')
OPUS_PARAMS = [
    ('ZFF', 'abc'), ('ZFF', '1e9'), ('ZFF', '-2'), ('ZFF', 1000000000), ('ZFF', -2), ('ZFF', 0),
    ('APF', ''), ('APF', 'XX'), ('PHZ', ''), ('PHZ', 'XX'), ('AQM', 'XX'), ('AQM', ''),
    ('NLI', 7), ('NLI', 'abc'), ('NLA', 0.0), ('HFQ', 'abc'), ('LFQ', 'abc'), ('HFQ', NAN),
    ('LWN', 6.5e-10), ('LWN', 0.0), ('LWN', NAN), ('LWN', -15798.0), ('LWN', 1e9),
    ('LWN', 'abc'), ('HFL', 0.0), ('HFL', NAN), ('HFL', 1e-9), ('HFL', 1e12), ('SSP', 0),
    ('SSP', -1), ('SSP', 1000000), ('SSP', 'abc'),
    ('RES', 0.0), ('RES', 1e-9), ('RES', NAN), ('RES', -4.0), ('RES', 'abc'),
    ('PHR', 0.0), ('PHR', NAN), ('PHR', 1e-300), ('PHR', 'abc'), ('PKL', -5),
    ('PKL', 'abc'), ('CSF', 0.0), ('CSF', NAN), ('GFW', NAN), ('NPT', 'abc'),
]


def opus_variants(name, image):
    out = {}
    for key, value in OPUS_PARAMS:
        damaged = opus_with(image, key, value)
        if damaged is not None:
            out['param-%s-%s-%s' % (key, str(value) or 'empty', name)] = damaged
    out['param-noTransform-%s' % name] = opus_without(image, 4)
    out['param-zero-%s' % name] = opus_signal(image, 0.0)
    out['param-constant-%s' % name] = opus_signal(image, 0.25)
    return out


# --- SPA: the header section's fields ----------------------------------------------------

def spa_header_offset(image):
    count = struct.unpack_from('<H', image, 294)[0]
    found = None
    for i in range(count):
        key, = struct.unpack_from('<B', image, 304 + 16 * i)
        if key == 2:
            found = struct.unpack_from('<I', image, 304 + 16 * i + 2)[0]
    return found


def spa_sections(image, key):
    count = struct.unpack_from('<H', image, 294)[0]
    out = []
    for i in range(count):
        at = 304 + 16 * i
        if image[at] == key:
            out.append(struct.unpack_from('<II', image, at + 2))
    return out


SPA_FIELDS = [
    ('transform', 44, '<I', v) for v in (0, 1, 3, 4095, 2**32 - 1)
] + [
    ('laser', 80, '<f', v) for v in (6.5e-10, 0.0, NAN, -15798.26, 1e9)
] + [
    ('spacing', 84, '<f', v) for v in (0.0, NAN, -1.0, 1e-9, 1e9)
]


def spa_variants(name, image):
    out = {}
    head = spa_header_offset(image)
    for field, offset, fmt, value in SPA_FIELDS:
        damaged = bytearray(image)
        struct.pack_into(fmt, damaged, head + offset, value)
        out['param-%s-%s-%s' % (field, value, name)] = bytes(damaged)
    for label, value in (('zero', 0.0), ('constant', 0.25)):
        damaged = bytearray(image)
        for key in (3, 102, 103):
            for where, size in spa_sections(image, key):
                if key == 3 and image[head + 8] != 2:
                    continue  # the data section is a spectrum beside the interferograms
                struct.pack_into('<%df' % (size // 4), damaged, where, *([value] * (size // 4)))
        out['param-%s-%s' % (label, name)] = bytes(damaged)
    return out


# --- flips and cuts, any format -----------------------------------------------------------

def flip_positions(size, dense):
    spread = max(1, size // 150)
    return sorted(set(range(min(dense, size))) | set(range(0, size, spread)))


def structure_variants(name, image, dense):
    out = {}
    for at in flip_positions(len(image), dense):
        damaged = bytearray(image)
        damaged[at] ^= 0xFF
        out['flip-%06d-%s' % (at, name)] = bytes(damaged)
    for k in range(1, 25):
        out['cut-%06d-%s' % (len(image) * k // 25, name)] = image[:len(image) * k // 25]
    return out


def main():
    program = os.path.abspath(sys.argv[1])
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix='damaged-')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, 'in'))
    variants = {}
    for kind, make, dense in (('opus', opus_variants, 1400), ('omnic', spa_variants, 600)):
        folder = os.path.join(DATA, kind)
        for name in sorted(os.listdir(folder)):
            image = open(os.path.join(folder, name), 'rb').read()
            variants.update(structure_variants(name, image, dense))
            variants.update(make(name, image))
    names = []
    for name, image in variants.items():
        names.append(os.path.join(work, 'in', name))
        with open(names[-1], 'wb') as f:
            f.write(image)
    with open(os.path.join(work, 'list'), 'w') as f:
        f.write('\n'.join(names) + '\n')
    summary = os.path.join(work, 'summary.json')
    subprocess.run([program, '-q', '-j', '2', '-o', os.path.join(work, 'out'), '--summary',
                    summary, '--files-from', os.path.join(work, 'list')],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    rows = json.load(open(summary))
    table = {}
    for row in rows:
        cls = os.path.basename(row['input']).split('-')[0]
        t = table.setdefault(cls, {'variants': 0, 'converted': 0, 'refused': 0, 'laser hint': 0})
        t['variants'] += 1
        if row['status'] == 'converted':
            t['converted'] += 1
            if cls == 'param':
                print('silent conversion:', os.path.basename(row['input']))
        else:
            t['refused'] += 1
            if LASER_HINT in row['reason']:
                t['laser hint'] += 1
                print('laser hint only:', os.path.basename(row['input']), '|', row['reason'])
    print('%-6s %9s %10s %8s %11s' % ('class', 'variants', 'converted', 'refused', 'laser hint'))
    for cls, t in sorted(table.items()):
        print('%-6s %9d %10d %8d %11d' % (cls, t['variants'], t['converted'], t['refused'],
                                           t['laser hint']))


main()
