#!/usr/bin/env python3
"""Writes the malformed archives of this folder and of ../regression/.

Each file is a few dozen bytes; README.md beside each folder lists it with the result code the
archive walker must give. Run from anywhere: python3 tests/data/lzh/bad/make.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
REGRESSION = os.path.join(HERE, '..', 'regression')


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def level0(name, data=b'hello\n', method=b'-lh0-', hsize=None, name_len=None):
    body = (method + struct.pack('<IIIBB', len(data), len(data), 0x586572F7, 0x20, 0) +
            bytes([len(name) if name_len is None else name_len]) + name +
            struct.pack('<H', crc16(data)))
    h = hsize if hsize is not None else len(body)
    return bytes([h, sum(body) & 0xFF]) + body + data


def ext16(kind, body, next_size):
    return bytes([kind]) + body + struct.pack('<H', next_size)


def level1(name, data=b'hello\n', exts=(), skip=None, os_id=b'U', first_size=None):
    chain = b''
    sizes = [3 + len(b) for _, b in exts] + [0]
    for i, (kind, b) in enumerate(exts):
        chain += ext16(kind, b, sizes[i + 1])
    skip = skip if skip is not None else len(data) + len(chain)
    body = (b'-lh0-' + struct.pack('<IIIBB', skip, len(data), 0x586572F7, 0x20, 1) +
            bytes([len(name)]) + name + struct.pack('<H', crc16(data)) + os_id +
            struct.pack('<H', sizes[0] if first_size is None else first_size))
    return bytes([len(body), sum(body) & 0xFF]) + body + chain + data


def level2(name, data=b'hello\n', extra=(), with_crc=True, total=None, os_id=b'U',
           bad_crc=False, sizes=None, method=b'-lh0-'):
    exts = ([(0x00, b'\0\0')] if with_crc else []) + [(0x01, name)] + list(extra)
    lens = [3 + len(b) for _, b in exts] + [0]
    chain = b''.join(ext16(k, b, lens[i + 1]) for i, (k, b) in enumerate(exts))
    t = 26 + len(chain)
    packed, original = sizes if sizes else (len(data), len(data))
    head = (struct.pack('<H', total if total is not None else t) + method +
            struct.pack('<IIIBBH', packed, original, 1709648626, 0x20, 2, crc16(data)) +
            os_id + struct.pack('<H', lens[0]))
    h = bytearray(head + chain)
    if with_crc:
        c = crc16(h) ^ (1 if bad_crc else 0)
        h[27:29] = struct.pack('<H', c)
    return bytes(h) + data


def level3(name, data=b'hello\n', word=4, total=None):
    exts = [(0x00, b'\0\0'), (0x01, name)]
    lens = [5 + len(b) for _, b in exts] + [0]
    chain = b''.join(bytes([k]) + b + struct.pack('<I', lens[i + 1]) for i, (k, b) in enumerate(exts))
    t = 32 + len(chain)
    head = (struct.pack('<H', word) + b'-lh0-' +
            struct.pack('<IIIBBH', len(data), len(data), 1709648626, 0x20, 3, crc16(data)) +
            b'U' + struct.pack('<II', total if total is not None else t, lens[0]))
    h = bytearray(head + chain)
    h[33:35] = struct.pack('<H', crc16(h))
    return bytes(h) + data


END = b'\0'
GOOD = level2(b'good.txt')

BAD = {
    'level0_bad_checksum.lzh':
        (lambda a: a[:1] + bytes([(a[1] + 1) & 0xFF]) + a[2:])(level0(b'a.txt')) + END,
    'level0_name_past_header.lzh': level0(b'a.txt', name_len=0x40) + END,
    'level0_header_too_small.lzh': GOOD + bytes([10, 0]) + b'-lh0-' + bytes(20) + END,
    'level1_bad_header_crc.lzh': GOOD + level1(b'a.txt', exts=[(0x00, b'\x12\x34')]) + END,
    'level1_skip_smaller_than_exts.lzh':
        GOOD + level1(b'a.txt', exts=[(0x50, b'\xa4\x81')], skip=2) + END,
    'level1_ext_size_two.lzh':
        GOOD + level1(b'a.txt', exts=[(0x50, b'\xa4\x81')], first_size=2) + END,
    'level1_chain_cut.lzh': GOOD + level1(b'a.txt', exts=[(0x02, b'dir\xff' * 8)])[:40],
    'level2_bad_header_crc.lzh': GOOD + level2(b'a.txt', bad_crc=True) + END,
    'level2_size_too_small.lzh': GOOD + (lambda a: b'\x14\x00' + a[2:])(level2(b'a.txt')) + END,
    'level2_ext_size_one.lzh': GOOD + (lambda a: a[:24] + b'\x01\x00' + a[26:])(
        level2(b'a.txt', with_crc=False)) + END,
    'level2_chain_past_size.lzh': GOOD + level2(b'a.txt', total=30) + END,
    'level2_short_crc_ext.lzh': GOOD + level2(b'a.txt', with_crc=False, extra=[(0x00, b'\x01')]) + END,
    'level2_short_64bit_sizes.lzh':
        GOOD + level2(b'a.txt', extra=[(0x42, b'\x06' + bytes(7))]) + END,
    'level2_packed_size_overflow.lzh': GOOD + level2(
        b'a.txt', extra=[(0x42, b'\xff' * 8 + b'\x06' + bytes(7))]) + END,
    'level3_word_size_wrong.lzh': GOOD + level3(b'a.txt', word=2) + END,
    'level3_size_huge.lzh': GOOD + level3(b'a.txt', total=0x7FFFFFF0) + END,
    'level4.lzh': GOOD + (lambda a: a[:20] + b'\x04' + a[21:])(level0(b'a.txt')) + END,
    'no_method_id.lzh': GOOD + (lambda a: a[:2] + b'Xlh0X' + a[7:])(level2(b'a.txt')) + END,
    'junk_after_entry.lzh': GOOD + b'this is not an LZH header at all\n',
    'truncated_header.lzh': GOOD + level2(b'a.txt')[:24],
    'truncated_data.lzh': GOOD + level2(b'a.txt', data=b'0123456789')[:-4],
    'not_an_archive.txt': b'plain text, not an archive; the word -lh5- alone is no header\n',
    # A NUL inside a stored name: the entry is refused, the walk goes on after it.
    'nul_in_folder_name.lzh':
        level2(b'f.txt', extra=[(0x02, b'..\0x\xff..\0y\xff..\0z\xff')]) + GOOD + END,
    'nul_in_link_target.lzh': level2(b'l|..\0/x', data=b'', method=b'-lhd-') + GOOD + END,
    'nul_in_file_name.lzh': level2(b'a.txt\0evil') + GOOD + END,
    # The first of two entries damaged where the archive starts: never taken for a stub.
    'first_header_method_dash.lzh':
        (lambda a: a[:2] + b'_' + a[3:])(level2(b'a.txt')) + GOOD + END,
    'first_header_level.lzh': (lambda a: a[:20] + b'\x07' + a[21:])(level0(b'a.txt')) + GOOD + END,
}

REG = {
    # T two bytes short, as LHa 2.01 for OS-9/68k writes it: read with the correction.
    'os9_68k_short_header_size.lzh':
        (lambda a: struct.pack('<H', struct.unpack('<H', a[:2])[0] - 2) + a[2:])(
            level2(b'os9.txt', with_crc=False, os_id=b'K')) + GOOD + END,
    # A first header whose header CRC is wrong reported "not an archive" instead of 32790.
    'first_header_bad_crc.lzh': level2(b'a.txt', bad_crc=True) + END,
}


def write(folder, files):
    for name, data in files.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    write(HERE, BAD)
    write(REGRESSION, REG)
