#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""PDFs from other producers, as their readers see them: a set of real PDFs
shipped in Debian's packages (pLaTeX/dvipdfmx, LuaTeX, XeTeX, pdfTeX and
Ghostscript documentation, much of it Japanese, some vertical with ruby),
and words taken from their text searched with tarnwell-find --documents.

  1. build (once): `apt-get download` the packages below, `dpkg-deb -x` them
     (nothing is installed), and keep each PDF of at most 3 MB in a folder of
     its own under $TARNWELL_BENCH_DIR/pdf/NNNN/, with its reference text,
     pdftotext -enc UTF-8 in its reading order (no -layout: the lines poppler
     finds, as a reader of the page reads them), beside it in refs/;
  2. sample: from each PDF (at most --most of each producer), --per words or pairs of words taken from one line
     of the reference text (seeded: the same sample each run). Keywords are
     taken as typed: the vertical forms of punctuation (U+FE10-FE19,
     U+FE30-FE48) as 「、」 for 「︑」, Arabic and Hebrew presentation forms as
     their letters, without the bidirectional embeddings pdftotext writes
     round right-to-left runs, and with the spaces and marks its reordering
     misplaces put back (see as_read, as_typed);
  3. search each with `tarnwell-find --documents` (default cp932 mode) on
     the PDF's own folder, for each --find given, and report the share found,
     by producer, with the misses in --misses.
  4. --speed: every PDF read on one thread (-j 1) for a word found nowhere,
     pages per second, the --find programs interleaved, medians of --runs.

    python3 bench/pdf-fidelity.py --find NAME=PATH [--find NAME=PATH ...]
        [--per 6] [--seed 39] [--most 60] [--misses FILE] [--speed] [--runs 3]
Needs poppler-utils (pdftotext, pdfinfo) and network access to Debian's
package archive for the first build.
"""
import argparse
import collections
import concurrent.futures
import glob
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

BENCH = os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench-pdf")
ROOT = os.path.join(BENCH, "pdf")
PACKAGES = ["texlive-lang-japanese", "texlive-lang-cjk", "texlive-xetex",
            "texlive-luatex", "ghostscript-doc", "texlive-latex-base-doc"]
MAX_BYTES = 3 << 20


def build():
    if os.path.isdir(ROOT):
        return
    debs = os.path.join(BENCH, "debs")
    tree = os.path.join(BENCH, "extracted")
    os.makedirs(debs, exist_ok=True)
    subprocess.run(["apt-get", "download", *PACKAGES], cwd=debs, check=True)
    for deb in sorted(glob.glob(os.path.join(debs, "*.deb"))):
        subprocess.run(["dpkg-deb", "-x", deb, tree], check=True)
    pdfs = sorted(p for p in glob.glob(os.path.join(tree, "**", "*.pdf"), recursive=True)
                  if os.path.isfile(p) and os.path.getsize(p) <= MAX_BYTES)
    staging = ROOT + ".new"
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(os.path.join(staging, "refs"))
    index = []
    for n, pdf in enumerate(pdfs):
        folder = os.path.join(staging, "%04d" % n)
        os.makedirs(folder)
        shutil.copy(pdf, os.path.join(folder, os.path.basename(pdf)))
        ref = os.path.join(staging, "refs", "%04d.txt" % n)
        subprocess.run(["pdftotext", "-enc", "UTF-8", pdf, ref],
                       stderr=subprocess.DEVNULL, check=False)
        info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True,
                              errors="replace").stdout
        producer = re.search(r"^Producer:\s*(.*)$", info, re.M)
        pages = re.search(r"^Pages:\s*(\d+)", info, re.M)
        index.append("%04d\t%s\t%s\t%s" % (n, pages.group(1) if pages else 0,
                                          producer.group(1) if producer else "?",
                                          os.path.relpath(pdf, tree)))
    with open(os.path.join(staging, "index.tsv"), "w") as f:
        f.write("\n".join(index) + "\n")
    os.rename(staging, ROOT)


def producer_class(producer):
    p = producer.lower()
    for name in ("xdvipdfmx", "dvipdfm", "luatex", "xetex", "pdftex", "ghostscript"):
        if name in p:
            return name
    return "other"


RTL = re.compile("[\u0590-\u08ff\ufb1d-\ufdff\ufe70-\ufeff\u200e\u200f\u202a-\u202e]")
VERTICAL_FORMS = {c: None for c in list(range(0xFE10, 0xFE1A)) + list(range(0xFE30, 0xFE49))}


# Bidirectional formatting characters (pdftotext wraps each run of a
# right-to-left page in embeddings): invisible, never typed.
BIDI_MARKS = re.compile("[\u200e\u200f\u202a-\u202e\u2066-\u2069]")


def presentation_form(c):
    """Arabic and Hebrew presentation forms (the letters' initial, medial,
    final shapes and ligatures), which a keyboard never types."""
    return 0xFB1D <= ord(c) <= 0xFDFF or 0xFE70 <= ord(c) <= 0xFEFE


# pdftotext sets each run of a right-to-left line in an embedding (LRE or
# RLE ... PDF) that holds, first, the space that comes before it on the page
# and after it in reading: "سابقا<LRE> ،<PDF>نضع" is "سابقا، نضع" as the
# page reads.
def as_read(line):
    """A line of pdftotext's text as the page reads (see above)."""
    out, held = [], []  # held: per open embedding, its leading spaces
    opening = False
    for c in line:
        if c in "\u202a\u202b":
            held.append([])
            opening = True
            out.append(c)
        elif c == " " and opening:
            held[-1].append(c)
        else:
            opening = False
            if c == "\u202c" and held:
                out.extend(held.pop())
            out.append(c)
    return "".join(out)


# A word never begins with a combining mark: pdftotext, reversing a
# right-to-left run character by character, puts a mark a producer drew
# after its base before it ("َش" for "شَ").
LEADING_MARKS = re.compile("^([\u0591-\u05c7\u0610-\u061a\u064b-\u065f\u0670"
                           "\u06d6-\u06ed]+)(.)")


def as_typed(word):
    import unicodedata
    word = LEADING_MARKS.sub("\\2\\1", BIDI_MARKS.sub("", word))
    return "".join(unicodedata.normalize("NFKC", c)
                   if ord(c) in VERTICAL_FORMS or presentation_form(c) else c
                   for c in word)


def usable(token):
    return len(token) >= 2 and any(c.isalpha() for c in token)


def sample(per, seed, most):
    """(folder, producer class, keyword) for at most `most` PDFs of each
    producer, chosen at random (the same each run)."""
    rng = random.Random(seed)
    rows = [row.rstrip("\n").split("\t")
            for row in open(os.path.join(ROOT, "index.tsv"), encoding="utf-8")]
    rng.shuffle(rows)
    taken = collections.Counter()
    out = []
    for n, _pages, producer, _path in rows:
        taken[producer_class(producer)] += 1
        if taken[producer_class(producer)] > most:
            continue
        try:
            text = open(os.path.join(ROOT, "refs", n + ".txt"), encoding="utf-8",
                        errors="replace").read()
        except OSError:
            continue
        lines = [as_read(line).split() for line in text.splitlines()]
        lines = [[as_typed(t)[:16] for t in line if usable(t)] for line in lines]
        lines = [line for line in lines if line]
        if not lines:
            continue
        for k in range(per):
            line = rng.choice(lines)
            if k % 2 and len(line) >= 2:
                i = rng.randrange(len(line) - 1)
                keyword = line[i] + " " + line[i + 1]
            else:
                keyword = rng.choice(line)
            if "\ufffd" not in keyword:
                out.append((n, producer_class(producer), keyword))
    return out


def found(find, folder, keyword):
    run = subprocess.run([find, "--documents", "-s", keyword, os.path.join(ROOT, folder)],
                         capture_output=True, timeout=300)
    return run.returncode == 0 and run.stdout.strip() != b""


def fidelity(finds, keywords, misses_path):
    results = {}
    for name, find in finds:
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            hits = list(pool.map(lambda k: found(find, k[0], k[2]), keywords))
        results[name] = hits
        by = collections.defaultdict(lambda: [0, 0])
        for (_, cls, _), hit in zip(keywords, hits):
            by[cls][0] += hit
            by[cls][1] += 1
        total = sum(hits)
        print("%s: %d of %d found (%.1f %%)" % (name, total, len(hits),
                                                100.0 * total / max(1, len(hits))))
        for cls in sorted(by):
            print("  %-10s %4d of %4d (%.1f %%)" % (cls, by[cls][0], by[cls][1],
                                                    100.0 * by[cls][0] / by[cls][1]))
        # Right-to-left scripts apart: pdftotext writes them in logical order
        # with bidirectional marks, the reader's words come in visual order.
        rtl = [RTL.search(k[2]) is not None for k in keywords]
        left = [hit for hit, r in zip(hits, rtl) if not r]
        print("  right-to-left words: %d of %d found; without them %d of %d (%.1f %%)"
              % (sum(hit for hit, r in zip(hits, rtl) if r), sum(rtl), sum(left), len(left),
                 100.0 * sum(left) / max(1, len(left))))
    if misses_path:
        with open(misses_path, "w", encoding="utf-8") as f:
            for i, (n, cls, keyword) in enumerate(keywords):
                row = "".join("+" if results[name][i] else "-" for name, _ in finds)
                if "-" in row:
                    f.write("%s\t%s\t%s\t%s\n" % (row, n, cls, keyword))


def speed(finds, runs):
    pages = sum(int(row.split("\t")[1]) for row in open(os.path.join(ROOT, "index.tsv")))
    times = {name: [] for name, _ in finds}
    word = "該当しない語ZQXJ"
    for _ in range(runs):
        for name, find in finds:
            start = time.monotonic()
            subprocess.run([find, "--documents", "-s", "-r", "-j", "1", word, ROOT],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            times[name].append(time.monotonic() - start)
    first = statistics.median(times[finds[0][0]])
    for name, _ in finds:
        t = statistics.median(times[name])
        print("%s: %d pages in %.2f s, %.1f pages/s (%.3f of %s's time)"
              % (name, pages, t, pages / t, t / first, finds[0][0]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--find", action="append", required=True,
                        help="NAME=PATH of a tarnwell-find to measure")
    parser.add_argument("--per", type=int, default=6)
    parser.add_argument("--seed", type=int, default=39)
    parser.add_argument("--most", type=int, default=60,
                        help="PDFs sampled of each producer at most")
    parser.add_argument("--misses")
    parser.add_argument("--speed", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    finds = [tuple(f.split("=", 1)) for f in args.find]
    build()
    keywords = sample(args.per, args.seed, args.most)
    fidelity(finds, keywords, args.misses)
    if args.speed:
        speed(finds, args.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
