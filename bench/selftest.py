#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Checks the benchmark's own tools: the model that compare.py uses for the
expected file sets, and the floor's byte count. Run: python3 bench/selftest.py"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402


class ModelTest(unittest.TestCase):
    def test_decoding_units(self):
        cases = [
            (b'abc', 'abc'),
            (b'\x90\xdd\x92\xe8', '設定'),
            (b'\x95\x5c', '表'),  # trail byte 5C is not a backslash
            (b'a\x81', 'a\u30fb'),  # lead byte as the line's last byte
            (b'\x81\x00a', '\u30fb\x00a'),  # NUL after a lead is not consumed
            (b'\x85\x40z', '\u30fbz'),  # a pair that is no character takes both bytes
            (b'\xb1\x80\xa0\xfd', '\uff71\x80\uf8f0\uf8f1'),
        ]
        for raw, text in cases:
            with self.subTest(raw=raw):
                self.assertEqual(compare.decode_line(raw), text)

    def test_matching_rules(self):
        def matches(data, *words):
            return compare.model_matches(data, list(words), [w.encode('cp932') for w in words])

        self.assertTrue(matches(b'x amber y lantern\r\nz', 'amber', 'lantern'))
        self.assertFalse(matches(b'amber\r\nlantern', 'amber', 'lantern'))
        self.assertFalse(matches(b'amber\rlantern', 'amber', 'lantern'))
        self.assertTrue(matches(b'amber\nlantern', 'amber', 'lantern'))  # LF ends no line
        # The first letter of the word is the trail byte of a double-byte unit.
        self.assertFalse(matches(b'\x83mutex', 'mutex'))
        self.assertTrue(matches(b'\x83mmutex', 'mutex'))
        self.assertTrue(matches(b'\x81\r\nmutex', 'mutex'))  # the line end cuts the pair
        self.assertFalse(matches(b'\x90\xdd\x92', '設定'))


class FloorTest(unittest.TestCase):
    def test_reads_every_regular_file_once(self):
        floor = compare.build_floor()
        with tempfile.TemporaryDirectory() as tmp:
            sizes = {'a': 0, 'b/c': 300000, 'b/.hidden': 17, 'b/d/e/f': 5}
            for rel, size in sizes.items():
                path = os.path.join(tmp, rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, 'wb') as f:
                    f.write(b'x' * size)
            os.symlink(os.path.join(tmp, 'b'), os.path.join(tmp, 'link'))
            os.mkfifo(os.path.join(tmp, 'fifo'))
            out = subprocess.run([floor, tmp], capture_output=True, text=True, timeout=20)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(out.stdout.strip(),
                             f'{len(sizes)} files, {sum(sizes.values())} bytes')


if __name__ == '__main__':
    unittest.main()
