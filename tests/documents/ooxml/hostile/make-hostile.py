#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Writes the hostile zip documents of tst_ooxml into this folder: each must
end fast with the right failure. Run from anywhere; needs only Python."""
import os
import struct
import zipfile
import zlib

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures")
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
DOCX_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.'
    'wordprocessingml.document.main+xml"/></Types>'
)


def path(name):
    return os.path.join(here, name)


def docx(name, document, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path(name), "w", method) as z:
        z.writestr("[Content_Types].xml", DOCX_TYPES)
        z.writestr("word/document.xml", document)


def bomb(name, size):
    """A docx whose body is one paragraph of `size` spaces, deflated."""
    head = f"<w:document {W}><w:body><w:p><w:r><w:t>".encode()
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("[Content_Types].xml", DOCX_TYPES)
        with z.open("word/document.xml", "w", force_zip64=size > 0x7FFFFFFF) as member:
            member.write(head)
            block = b" " * (1 << 20)
            for _ in range(size >> 20):
                member.write(block)


def patch_sizes(name, member, claimed):
    """Makes the local and central headers of `member` claim `claimed`
    inflated bytes (the data itself is left as it is)."""
    data = bytearray(open(path(name), "rb").read())
    encoded = member.encode()
    at = 0
    while True:
        at = data.find(encoded, at)
        if at < 0:
            break
        if data[at - 30:at - 26] == b"PK\x03\x04":
            struct.pack_into("<I", data, at - 30 + 22, claimed)
        elif data[at - 46:at - 42] == b"PK\x01\x02":
            struct.pack_into("<I", data, at - 46 + 24, claimed)
        at += 1
    open(path(name), "wb").write(data)


def set_encrypted_flag(name):
    """Sets the 'encrypted' bit of every member's headers."""
    data = bytearray(open(path(name), "rb").read())
    for signature, offset in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
        at = 0
        while (at := data.find(signature, at)) >= 0:
            data[at + offset] |= 1
            at += 4
    open(path(name), "wb").write(data)


# Truncated: a real document cut in the middle.
whole = open(os.path.join(fixtures, "second.docx"), "rb").read()
open(path("truncated.docx"), "wb").write(whole[: len(whole) // 2])

# Zip bombs: 1 GiB of spaces in about 1 MB, and 64 MiB whose headers claim 1 KiB.
bomb("bomb.docx", 1 << 30)
bomb("lying-bomb.docx", 64 << 20)
patch_sizes("lying-bomb.docx", "word/document.xml", 1024)

# Entity expansion in shared strings: nested entities a billion letters long.
entities = "".join(f'<!ENTITY e{i} "{"&e%d;" % (i - 1) * 10}">' for i in range(1, 10))
with zipfile.ZipFile(path("entities.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml",
               '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
               '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.'
               'spreadsheetml.sheet.main+xml"/></Types>')
    z.writestr("xl/workbook.xml", '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"/>')
    z.writestr("xl/_rels/workbook.xml.rels",
               '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="r1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
               'sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    z.writestr("xl/sharedStrings.xml",
               f'<?xml version="1.0"?><!DOCTYPE sst [<!ENTITY e0 "x">{entities}]>'
               '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>&e9;</t></si></sst>')

# An OpenDocument sheet repeating a row with text a million times, and a
# million empty ones with 16,384 repeated cells each.
CONTENT = (
    '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
    'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
    'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
    '<table:table table:name="S"><table:table-row table:number-rows-repeated="1000000">'
    '<table:table-cell><text:p>繰り返し</text:p></table:table-cell>'
    '<table:table-cell table:number-columns-repeated="16383"/></table:table-row>'
    '<table:table-row table:number-rows-repeated="1000000"><table:table-cell table:number-columns-repeated="16384"/>'
    '</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>'
)
with zipfile.ZipFile(path("million-rows.ods"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet", zipfile.ZIP_STORED)
    z.writestr("content.xml", CONTENT)

# Elements nested 100,000 deep.
docx("deep.docx", f"<w:document {W}>" + "<w:p>" * 100000 + "</w:p>" * 100000 + "</w:document>")

# Members marked encrypted.
docx("encrypted.docx", f"<w:document {W}><w:body/></w:document>", zipfile.ZIP_STORED)
set_encrypted_flag("encrypted.docx")

# A zip that is no document.
with zipfile.ZipFile(path("plain.zip"), "w") as z:
    z.writestr("notes.txt", "請求書 未払い")

# An OpenDocument text saved with a password: its manifest says so.
MANIFEST = (
    '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
    '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>'
    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml" manifest:size="900">'
    '<manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="AAAA">'
    '<manifest:algorithm manifest:algorithm-name="Blowfish CFB" manifest:initialisation-vector="AAAA"/>'
    '<manifest:key-derivation manifest:key-derivation-name="PBKDF2" manifest:iteration-count="1024" '
    'manifest:salt="AAAA"/></manifest:encryption-data></manifest:file-entry></manifest:manifest>'
)
with zipfile.ZipFile(path("encrypted.odt"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.text", zipfile.ZIP_STORED)
    z.writestr("content.xml", bytes(range(256)) * 4)
    z.writestr("META-INF/manifest.xml", MANIFEST)
