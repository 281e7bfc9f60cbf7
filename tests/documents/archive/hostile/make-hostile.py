#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Remakes the hostile archives, each small, each meant to cost the reader
far more than its size unless its limits hold while it inflates:
  flat-bomb.tar.bz2 eight members of 128 MiB of zeros each, in a few hundred bytes
  nested-bomb.zip   zips of zips of zips (as 42.zip), zeros at the bottom
  sparse.tar        GNU tar holding a sparse member of 1,000,000,000 bytes
  lying.gz          gzip whose length field (ISIZE) says 1 byte
  climbing.zip      member names that climb out with ../ and an absolute one
  deep.zip          archives nested deeper than the reader enters
  bad-name.lzh      an LZH member name that is neither UTF-8 nor code page 932
  cut-sfx.exe       a program holding an LZH header whose member is cut short
Python's zipfile, gzip and GNU tar write them, the LZH ones are written from
the format's description (LHA's level 0 header); nothing else is needed."""
import bz2, gzip, io, os, struct, subprocess, tarfile, tempfile, zipfile

here = os.path.dirname(os.path.abspath(__file__))
MiB = 1 << 20


def zip_bytes(members, method=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", method, compresslevel=9) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, (2026, 1, 1, 0, 0, 0))
            info.compress_type = method
            z.writestr(info, data)
    return buf.getvalue()


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


class Zeros(io.RawIOBase):
    def __init__(self, size):
        self.left = size

    def readable(self):
        return True

    def readinto(self, b):
        n = min(len(b), self.left)
        b[:n] = bytes(n)
        self.left -= n
        return n


with bz2.BZ2File(os.path.join(here, "flat-bomb.tar.bz2"), "wb", compresslevel=9) as f:
    with tarfile.open(fileobj=f, mode="w", format=tarfile.GNU_FORMAT) as t:
        for i in range(8):
            info = tarfile.TarInfo("zeros%d.txt" % i)
            info.size = 128 * MiB
            info.mtime = 0
            t.addfile(info, io.BufferedReader(Zeros(info.size)))
zeros = bytes(8 * MiB)
level = zip_bytes([("zeros%d.txt" % i, zeros) for i in range(2)])
for depth in range(3):
    level = zip_bytes([("level%d-%d.zip" % (depth, i), level) for i in range(8)])
write("nested-bomb.zip", level)
with tempfile.TemporaryDirectory() as tmp:
    sparse = os.path.join(tmp, "sparse.bin")
    with open(sparse, "wb") as f:
        f.truncate(1_000_000_000)
        f.seek(500_000_000)
        f.write(b"middle")
    subprocess.run(["tar", "--sparse", "--format=gnu", "-C", tmp, "-cf",
                    os.path.join(here, "sparse.tar"), "sparse.bin"], check=True)
lying = bytearray(gzip.compress(b"lying length\n" * 1000, mtime=0))
lying[-4:] = (1).to_bytes(4, "little")
write("lying.gz", bytes(lying))
write("climbing.zip", zip_bytes([("../../escaped.txt", b"climbing out\n"),
                                 ("/etc/absolute.txt", b"absolute name\n"),
                                 ("a/../../b.txt", b"back and out\n")]))
deep = zip_bytes([("bottom.txt", b"at the bottom\n")])
for depth in range(7):
    deep = zip_bytes([("d%d.zip" % depth, deep)])
write("deep.zip", deep)


def crc16(data):
    """LHA's CRC-16 (polynomial A001, reflected, from 0)."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xA001 if crc & 1 else 0)
    return crc


def lzh_member(name, data, packed=None):
    """A stored (-lh0-) member under a level 0 header."""
    header = (b"-lh0-" + struct.pack("<IIHHBBB", len(data) if packed is None else packed,
                                     len(data), 0, 0x5C21, 0x20, 0, len(name))
              + name + struct.pack("<H", crc16(data)))
    return bytes([len(header), sum(header) & 0xFF]) + header + data


write("bad-name.lzh", lzh_member(b"\x81 x.txt", b"neither name\r\n")
      + lzh_member(b"after.txt", b"after\r\n") + b"\0")
write("cut-sfx.exe", b"MZ" + bytes(1000) + lzh_member(b"cut.txt", b"cut short", packed=1 << 20))
