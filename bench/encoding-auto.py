#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""How 自動判別 decides the Japanese corpora, and what it costs.

Makes EUC-JP and ISO-2022-JP copies of the ja-utf8 corpus with iconv (under
$TARNWELL_BENCH_ENC_DIR, default /var/tmp/tarnwell-bench-enc), then:

1. decisions: every file of ja-utf8, ja-cp932 and the two copies decided by
   encoding-decide (the program's own rule); a file counts as decided as
   written when it is read in the encoding it was written in, or when it is
   plain ASCII without ESC (it reads the same in every encoding) and read as
   UTF-8. Targets: at least 99.9 % of each corpus; no file of ja-cp932 whose
   decision differs from the rule before EUC-JP and ISO-2022-JP.
   Then the hard case of the rule, short texts: the first one and the first
   three lines of each ja-utf8 file that hold a character beyond ASCII, in
   EUC-JP, in code page 932, and in code page 932 as half-width katakana
   (kana made half-width, the rest of the characters beyond ASCII dropped),
   each decided whole (encoding-decide --texts); reported, with how many are
   valid in both EUC-JP and code page 932 without a byte that settles them.
2. speed (unless --no-speed): tarnwell-find -r -j 1, median of --runs runs,
   interleaved, as ratios to a peer in the same run: auto on ja-cp932 to
   cp932 mode on it (target 1.1); auto on the EUC-JP copy to utf-8 mode on
   ja-utf8 (target 1.2); auto on the ISO-2022-JP copy to the same (target 2).

    cmake -S . -B build -DTARNWELL_BENCH=ON ...
    cmake --build build --target tarnwell-find encoding-decide
    python3 bench/encoding-auto.py --find build/tools/tarnwell-find \\
        --decide build/bench/encoding-decide --runs 5
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time
import unicodedata

BENCH = pathlib.Path(os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench"))
ENC = pathlib.Path(os.environ.get("TARNWELL_BENCH_ENC_DIR", "/var/tmp/tarnwell-bench-enc"))
UTF8 = BENCH / "corpus" / "ja-utf8"
CP932 = BENCH / "corpus" / "ja-cp932"
COPIES = {"EUC-JP": ENC / "corpus" / "ja-eucjp", "ISO-2022-JP": ENC / "corpus" / "ja-iso2022jp"}


def make_copy(charset, target):
    """The ja-utf8 corpus converted file by file; characters the charset lacks
    are dropped (iconv -c). Returns how many files lost some."""
    done = target.with_name(target.name + ".done")
    lossy_note = target.with_name(target.name + ".lossy")
    if done.exists() and target.is_dir():
        return int(lossy_note.read_text())
    partial = target.with_name(target.name + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    lossy = 0
    for source in sorted(UTF8.rglob("*")):
        if not source.is_file():
            continue
        out = partial / source.relative_to(UTF8)
        out.parent.mkdir(parents=True, exist_ok=True)
        with open(source, "rb") as f, open(out, "wb") as o:
            r = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", charset], stdin=f, stdout=o,
                               stderr=subprocess.DEVNULL)
        lossy += r.returncode != 0
    shutil.rmtree(target, ignore_errors=True)
    partial.rename(target)
    lossy_note.write_text(str(lossy))
    done.touch()
    return lossy


def decisions(decide, folder, written):
    out = subprocess.run([decide, str(folder)], check=True, capture_output=True).stdout
    files = right = changed = 0
    wrong = []
    for line in out.decode("utf-8", "replace").splitlines():
        new, old, plain, path = line.split("\t", 3)
        files += 1
        if new == written or (plain == "1" and new == "utf-8"):
            right += 1
        else:
            wrong.append(f"{new:12} {path}")
        changed += new != old
    return files, right, changed, wrong


def half_width_table():
    table = {}
    for cp in range(0xFF61, 0xFFA0):
        table.setdefault(unicodedata.normalize("NFKC", chr(cp)), chr(cp))
    marks = {"\u3099": "\uff9e", "\u309a": "\uff9f"}
    for cp in range(0x30A1, 0x30FB):
        d = unicodedata.normalize("NFD", chr(cp))
        if chr(cp) not in table and len(d) == 2 and d[0] in table and d[1] in marks:
            table[chr(cp)] = table[d[0]] + marks[d[1]]
    return table


def to_half_width(line, table):
    out = []
    for ch in line:
        if "\u3041" <= ch <= "\u3096":
            ch = chr(ord(ch) + 0x60)
        if ch in table or ord(ch) < 0x80:
            out.append(table.get(ch, ch))
    return "".join(out)


def ambiguous(b):
    """Valid in EUC-JP (as Python reads it) and without a byte that settles it."""
    if any(x >= 0xE0 or x in (0x8E, 0x8F) for x in b) or all(x < 0x80 for x in b):
        return False
    try:
        b.decode("euc_jp")
        return True
    except UnicodeDecodeError:
        return False


def short_texts(decide):
    table = half_width_table()
    sets = {}
    for source in sorted(UTF8.rglob("*")):
        if not source.is_file():
            continue
        lines = [l.strip() for l in source.read_text("utf-8", "replace").splitlines()
                 if any(ord(c) >= 0x80 for c in l)]
        for n in (1, 3):
            text = "\n".join(lines[:n])
            half = "\n".join(to_half_width(l, table) for l in lines[:n])
            for name, b, written in (
                    (f"EUC-JP, {n} line(s)", text.encode("euc_jp", "ignore"), "euc-jp"),
                    (f"cp932, {n} line(s)", text.encode("cp932", "ignore"), "cp932"),
                    (f"cp932 half-width, {n} line(s)", half.encode("cp932", "ignore"), "cp932")):
                if sum(x >= 0x80 for x in b) >= 3 and b"\0" not in b:
                    sets.setdefault(name, []).append((b, written))
    print("## Short texts\n")
    print("| texts | count | decided as written | share | valid in both, unsettled |")
    print("|---|---|---|---|---|")
    for name, items in sets.items():
        out = subprocess.run([decide, "--texts"], input=b"\0".join(b for b, _ in items),
                             check=True, capture_output=True).stdout.decode().split()
        right = sum(d == w for d, (_, w) in zip(out, items))
        both = sum(ambiguous(b) for b, _ in items)
        print(f"| {name} | {len(items)} | {right} | {100.0 * right / len(items):.2f} % | {both} |")
    print()


def time_run(find, args):
    start = time.perf_counter()
    subprocess.run([find, "-r", "-j", "1", "-s"] + args, stdout=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--find", default="build/tools/tarnwell-find")
    parser.add_argument("--decide", default="build/bench/encoding-decide")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--keyword", default="議事録 送付")
    parser.add_argument("--no-speed", action="store_true")
    args = parser.parse_args()
    for corpus in (UTF8, CP932):
        if not corpus.is_dir():
            sys.exit(f"{corpus} is missing: see bench/README.md")

    print("## Decisions of 自動判別\n")
    print("| corpus | files | decided as written | share | decision changed |")
    print("|---|---|---|---|---|")
    ok = True
    rows = [("ja-utf8", UTF8, "utf-8"), ("ja-cp932", CP932, "cp932")]
    for charset, folder in COPIES.items():
        lossy = make_copy(charset, folder)
        print(f"<!-- {folder.name}: {lossy} files lost characters {charset} lacks -->")
        rows.append((folder.name, folder, charset.lower()))
    for name, folder, written in rows:
        files, right, changed, wrong = decisions(args.decide, folder, written)
        share = 100.0 * right / files if files else 0.0
        print(f"| {name} | {files} | {right} | {share:.2f} % | {changed} |")
        ok = ok and share >= 99.9 and (written != "cp932" or changed == 0)
        for w in wrong[:10]:
            print(f"<!-- not as written: {w} -->")
    print()
    short_texts(args.decide)

    if not args.no_speed:
        kw = args.keyword
        peers = [
            ("cp932 mode, ja-cp932", ["-E", "cp932", kw, str(CP932)]),
            ("auto, ja-cp932", ["-E", "auto", kw, str(CP932)]),
            ("utf-8 mode, ja-utf8", ["-E", "utf-8", kw, str(UTF8)]),
            ("auto, ja-eucjp", ["-E", "auto", kw, str(COPIES["EUC-JP"])]),
            ("euc-jp mode, ja-eucjp", ["-E", "euc-jp", kw, str(COPIES["EUC-JP"])]),
            ("auto, ja-iso2022jp", ["-E", "auto", kw, str(COPIES["ISO-2022-JP"])]),
        ]
        times = {name: [] for name, _ in peers}
        for _, a in peers:  # warm the page cache
            time_run(args.find, a)
        for _ in range(args.runs):
            for name, a in peers:
                times[name].append(time_run(args.find, a))
        med = {name: statistics.median(t) for name, t in times.items()}
        print(f"## Speed (tarnwell-find -r -j 1, median of {args.runs}, keyword {kw})\n")
        print("| search | seconds |")
        print("|---|---|")
        for name, _ in peers:
            print(f"| {name} | {med[name]:.3f} |")
        print()
        print("| ratio | value | target |")
        print("|---|---|---|")
        for a, b, target in [
            ("auto, ja-cp932", "cp932 mode, ja-cp932", 1.1),
            ("auto, ja-eucjp", "utf-8 mode, ja-utf8", 1.2),
            ("euc-jp mode, ja-eucjp", "utf-8 mode, ja-utf8", None),
            ("auto, ja-iso2022jp", "utf-8 mode, ja-utf8", 2.0),
        ]:
            r = med[a] / med[b]
            print(f"| {a} / {b} | {r:.2f} | {target or '-'} |")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
