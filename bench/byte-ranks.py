#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Prints a byte rank table of search/PairFind.cpp: how common each byte value
is in the text the tool searches, from 0 (rarest) to 255 (commonest).

Each source folder counts with the same weight, whatever its size: its byte
frequencies are normalised before they are added. The table used was made from
three folders of the benchmark corpora (bench/README.md): C and C++ headers,
documentation in English (both from the real tree) and Japanese prose in code
page 932:

  python3 bench/byte-ranks.py /var/tmp/tarnwell-bench/corpus/real/include \\
      /var/tmp/tarnwell-bench/corpus/real/doc /var/tmp/tarnwell-bench/corpus/ja-cp932

The UTF-8 table takes the UTF-8 documents (corpus/ja-utf8) in place of the
code page 932 ones.

Reads at most --limit bytes (default 64 MiB) from each folder, files in sorted
path order.
"""

import argparse
import os
import sys


def counts_of(folder, limit):
    counts = [0] * 256
    total = 0
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(root, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, 'rb') as f:
                data = f.read(limit - total)
            for b in range(256):
                counts[b] += data.count(bytes([b]))
            total += len(data)
            if total >= limit:
                return counts, total
    return counts, total


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('folders', nargs='+')
    parser.add_argument('--limit', type=int, default=64 << 20)
    args = parser.parse_args()
    weight = [0.0] * 256
    for folder in args.folders:
        counts, total = counts_of(folder, args.limit)
        if total == 0:
            sys.exit(f'no bytes in {folder}')
        for b in range(256):
            weight[b] += counts[b] / total
    # Rank by weight; ties (bytes never seen) by value, so the table is stable.
    order = sorted(range(256), key=lambda b: (weight[b], b))
    rank = [0] * 256
    for r, b in enumerate(order):
        rank[b] = r
    for row in range(0, 256, 16):
        print('    ' + ', '.join(f'{rank[b]:3d}' for b in range(row, row + 16)) + ',')


if __name__ == '__main__':
    main()
