#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Parses a machine-readable Debian copyright file (DEP-5) and fails when it is
not well formed: the header names the format, every Files paragraph has a
Copyright and a License field, and every licence named without its text has a
stand-alone License paragraph.

    python3 packaging/check-copyright.py FILE [REQUIRED-LICENCE-FOR-*]
"""
import re
import sys

FORMAT = "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"


def paragraphs(text):
    """Yields each paragraph as a dict of field -> (first line, continuation lines)."""
    para, last = {}, None
    for number, line in enumerate(text.split("\n"), 1):
        if line.strip() == "":
            if para:
                yield para
            para, last = {}, None
        elif line[0] in " \t":
            if last is None:
                raise ValueError(f"line {number}: continuation line outside a field")
            para[last][1].append(line[1:])
        elif line.startswith("#"):
            continue
        else:
            m = re.match(r"^([!-9;-~][!-9;-~]*):(.*)$", line)
            if not m:
                raise ValueError(f"line {number}: not a field: {line!r}")
            last = m.group(1)
            if last in para:
                raise ValueError(f"line {number}: field {last} twice in one paragraph")
            para[last] = (m.group(2).strip(), [])
    if para:
        yield para


def check(text, required):
    paras = list(paragraphs(text))
    if not paras or paras[0].get("Format", ("",))[0] != FORMAT:
        raise ValueError("the first paragraph must be the header with Format: " + FORMAT)
    named, texts, star = set(), set(), None
    for p in paras[1:]:
        if "Files" in p:
            for field in ("Copyright", "License"):
                if field not in p or not (p[field][0] or p[field][1]):
                    raise ValueError(f"Files: {p['Files'][0]} lacks {field}")
            short, body = p["License"]
            if not short:
                raise ValueError(f"Files: {p['Files'][0]} names no licence")
            (texts if body else named).add(short)
            if "*" in p["Files"][0].split():
                star = short
        elif "License" in p:
            short, body = p["License"]
            if not body:
                raise ValueError(f"stand-alone License: {short} has no text")
            texts.add(short)
        else:
            raise ValueError(f"a paragraph with neither Files nor License: {sorted(p)}")
    if named - texts:
        raise ValueError("licences named without their text: " + ", ".join(sorted(named - texts)))
    if star is None:
        raise ValueError("no Files: * paragraph")
    if required and star != required:
        raise ValueError(f"Files: * is under {star}, not {required}")


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        with open(sys.argv[1], encoding="utf-8") as f:
            check(f.read(), sys.argv[2] if len(sys.argv) == 3 else None)
    except (OSError, UnicodeDecodeError, ValueError) as e:
        print(f"check-copyright: {sys.argv[1]}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
