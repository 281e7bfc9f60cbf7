#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""The document benchmarks, in one run, warm cache, on the document corpus
(make-corpus-documents.sh: docx, odt, pdf, doc, rtf, xlsx, ods, xls, pptx,
odp, ppt made from the same text):
  1. tarnwell-find --documents against ugrep --filter with the converters a
     Linux user reaches for (pdftotext, docx2txt, xlsx2csv, odt2txt, antiword,
     catdoc, xls2csv, catppt), over the whole corpus and kind by kind, the
     same words, and the files each finds, each also set against the files
     whose plain text (documents-text/) holds the words on one line; and the
     three binary Office kinds (doc, xls, ppt) together in one run, in a
     folder of hard links (binary-kinds/), against ugrep with their three
     converters;
  2. per-document reading, one thread: tarnwell-find --documents -j 1 (one
     helper) on a word found nowhere against each converter run on every file
     of its kind (and, for PDF, pages per second against pdftotext);
  3. documents on against off on a plain text tree (ja-cp932), with the
     default threads and with -j 1, interleaved, with the load average;
  4. peak memory of the whole process tree (tarnwell-find and its helpers),
     sampled from /proc every 5 ms (the sum of the tree's resident sets).
    python3 bench/documents.py [--find PATH] [--runs N] [--kinds doc,xls,...]
                               [--parts 1,2,3,4] [--no-all-kinds] [--markdown FILE]
Ratios are ours to the peer's time in the same run: below 1 is faster.
"""
import argparse
import os
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench")
DOCS = os.path.join(BENCH, "corpus", "documents")
TEXT = os.path.join(BENCH, "documents-text")
SAMPLE = os.path.join(BENCH, "documents-sample")  # hard links: the per-document sample
BINARY = os.path.join(BENCH, "binary-kinds")  # hard links: doc, xls and ppt in one folder
BINARY_KINDS = ["doc", "xls", "ppt"]
PLAIN = os.path.join(BENCH, "corpus", "ja-cp932")
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# (words, what they are): found in many files, in few, a Latin word, two words
# on one line, a word found nowhere.
WORDS = [["インストール"], ["見つかりません"], ["Debian"], ["パッケージ", "設定"], ["存在しない語句"]]
NOWHERE = "存在しない語句"
WORDS_ALL = [" ".join(w) for w in WORDS]  # --words-all
WORDS_KIND = ["インストール", "パッケージ 設定"]  # --words-kind
# kind: the ugrep filter command, the per-file converter runs (label, argv with
# {} for the file). The converters write UTF-8 so the Japanese words can match.
PEERS = {
    "pdf": ("pdftotext % -", [("pdftotext", ["pdftotext", "{}", "-"])]),
    "docx": ("docx2txt % -", [("docx2txt", ["docx2txt", "{}", "-"])]),
    "xlsx": ("xlsx2csv -a %", [("xlsx2csv -a", ["xlsx2csv", "-a", "{}"])]),
    "pptx": ("unzip -p % ppt/slides/*.xml", [("unzip -p (slides' XML)", ["unzip", "-p", "{}", "ppt/slides/*.xml"])]),
    "odt": ("odt2txt %", [("odt2txt", ["odt2txt", "{}"])]),
    "ods": ("odt2txt %", [("odt2txt", ["odt2txt", "{}"])]),
    "odp": ("odt2txt %", [("odt2txt", ["odt2txt", "{}"])]),
    "doc": ("antiword -m UTF-8.txt %",
            [("antiword", ["antiword", "-m", "UTF-8.txt", "{}"]), ("catdoc", ["catdoc", "-d", "utf-8", "{}"])]),
    "rtf": ("catdoc -d utf-8 %", [("catdoc", ["catdoc", "-d", "utf-8", "{}"])]),
    "xls": ("xls2csv -d utf-8 %", [("xls2csv", ["xls2csv", "-d", "utf-8", "{}"])]),
    "ppt": ("catppt -d utf-8 %", [("catppt", ["catppt", "-d", "utf-8", "{}"])]),
}
OUT = []


def say(line=""):
    print(line, flush=True)
    OUT.append(line)


def tree_rss(root):
    """The resident set of `root` and every process below it, in KiB."""
    children = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(ppid, []).append(int(pid))
        except (OSError, ValueError, IndexError):
            pass
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        todo += children.get(pid, [])
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def run(cmd, sample=False):
    """Wall seconds, stdout lines, peak tree RSS in KiB (when sampled)."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    peak = 0
    if sample:
        while p.poll() is None:
            peak = max(peak, tree_rss(p.pid))
            time.sleep(0.005)
    out = p.communicate()[0]
    wall = time.perf_counter() - start
    return wall, sorted(l for l in out.decode("utf-8", "replace").split("\n") if l), peak


WARMUP = True


def interleaved(cmds, runs):
    """Median wall seconds of each command, taking turns, and each one's output
    of the first run (after one warm-up round, unless --no-warmup: the page
    cache is then warmed once at the start and the first run is timed too)."""
    times = [[] for _ in cmds]
    outs = [run(c)[1] for c in cmds] if WARMUP else None
    for _ in range(runs):
        for i, c in enumerate(cmds):
            wall, out, _ = run(c)
            times[i].append(wall)
            if outs is None or len(outs) <= i:
                outs = (outs or []) + [out]
    return [statistics.median(t) for t in times], outs


def ugrep_cmd(words, paths):
    filters = ",".join(sorted({f"{k}:{PEERS[k][0]}" for k in PEERS if PEERS[k][0]}))
    if len(words) == 1:
        pattern = ["-F", "-e", words[0]]
    else:  # all words on one line, in any order
        a, b = (re.escape(w) for w in words)
        pattern = ["-e", f"{a}.*{b}|{b}.*{a}"]
    return ["ugrep", "-r", "-l", f"--filter={filters}"] + pattern + paths


def expected(words, kinds):
    """The documents whose plain text holds every word on one line."""
    stems = set()
    for name in os.listdir(TEXT):
        with open(os.path.join(TEXT, name), encoding="utf-8") as f:
            if any(all(w in line for w in words) for line in f):
                stems.add(name[:-4])
    found = set()
    for k in kinds:
        for name in os.listdir(os.path.join(DOCS, k)):
            if name.rsplit(".", 1)[0] in stems:
                found.add(os.path.join(DOCS, k, name))
    return found


def differs(found, other):
    extra, missing = sorted(set(found) - set(other)), sorted(set(other) - set(found))
    if not extra and not missing:
        return "yes"
    short = lambda l: ", ".join(os.path.relpath(p, DOCS) for p in l[:4]) + (" …" if len(l) > 4 else "")
    return f"no (+{len(extra)} / -{len(missing)}: +[{short(extra)}] -[{short(missing)}])"


def linked(folder, kinds):
    """`folder`/KIND/ for each kind: hard links of the corpus's files."""
    for k in kinds:
        d = os.path.join(folder, k)
        os.makedirs(d, exist_ok=True)
        for n in os.listdir(os.path.join(DOCS, k)):
            if not os.path.exists(os.path.join(d, n)):
                os.link(os.path.join(DOCS, k, n), os.path.join(d, n))
    return folder


def part_search(find, kinds, runs, all_kinds=True):
    say("## tarnwell-find --documents against ugrep --filter\n")
    filters = ",".join(sorted({f"{k}:{PEERS[k][0]}" for k in PEERS if PEERS[k][0]}))
    say(f"ugrep: `ugrep -r -l --filter=\"{filters}\" -F -e WORD` (two words: `-e 'a.*b|b.*a'`); "
        f"Debian has no converter for pptx: the peer searches the slides' XML as `unzip -p` "
        f"writes it (a word split by formatting is not found there; the XML of a slide is one "
        f"line, so two words anywhere on a slide match).\n")
    say("| where | words | ours (s) | ugrep (s) | ours / ugrep | ours found | ugrep found | "
        "ours = text model | ugrep = ours |")
    say("|---|---|---:|---:|---:|---:|---:|---|---|")
    rows = [("all kinds", [DOCS], kinds, w) for w in WORDS if " ".join(w) in WORDS_ALL] if all_kinds else []
    if all(k in kinds for k in BINARY_KINDS):  # the three in one run, words of the kind rows
        rows += [("+".join(BINARY_KINDS), [linked(BINARY, BINARY_KINDS)], BINARY_KINDS, w)
                 for w in WORDS if " ".join(w) in WORDS_KIND]
    rows += [(k, [os.path.join(DOCS, k)], [k], w) for k in kinds if PEERS[k][0]
             for w in WORDS if " ".join(w) in WORDS_KIND]
    for where, paths, ks, words in rows:
        (ours, peer), (found, peer_found) = interleaved(
            [[find, "-r", "--documents", " ".join(words)] + paths, ugrep_cmd(words, paths)], runs)
        if paths == [BINARY]:  # named as in the corpus, to be set against the model
            found, peer_found = ([os.path.join(DOCS, os.path.relpath(p, BINARY)) for p in f]
                                 for f in (found, peer_found))
        model = expected(words, ks)
        say(f"| {where} | {' '.join(words)} | {ours:.2f} | {peer:.2f} | {ours / peer:.2f} | "
            f"{len(found)} | {len(peer_found)} | {differs(found, model)} | {differs(peer_found, found)} |")
    say()


def part_reading(find, kinds, runs, limit):
    say("## Reading every document of a kind, one thread\n")
    say(f"The first {limit or 'all'} documents of each kind (sorted by name; hard links in "
        f"`documents-sample/`). "
        f"Ours: `tarnwell-find -j 1 -r --documents {NOWHERE} KIND/` (one worker, one helper "
        f"process for the whole run); the peer: the converter run on each file in turn "
        f"(`for f in KIND/*; do CONVERTER \"$f\"; done >/dev/null`, a process per file, "
        f"as `ugrep --filter` runs it).\n")
    say("| kind | files | MB | ours (s) | ours docs/s | peer | peer (s) | ours / peer |")
    say("|---|---:|---:|---:|---:|---|---:|---:|")
    for k in kinds:
        d = os.path.join(DOCS, k)
        files = sorted(os.path.join(d, n) for n in os.listdir(d))
        if limit and len(files) > limit:  # the first `limit` files, in a folder of their own
            d = os.path.join(SAMPLE, k)
            os.makedirs(d, exist_ok=True)
            for f in files[:limit]:
                if not os.path.exists(os.path.join(d, os.path.basename(f))):
                    os.link(f, os.path.join(d, os.path.basename(f)))
            files = sorted(os.path.join(d, n) for n in os.listdir(d))
        mb = sum(os.path.getsize(f) for f in files) / 1e6
        peers = [p for p in PEERS[k][1] if shutil.which(p[1][0])]
        cmds = [[find, "-j", "1", "-r", "--documents", NOWHERE, d]]
        for _, argv in peers:
            line = " ".join('"$f"' if x == "{}" else shlex.quote(x) for x in argv)
            script = f"for f in \"$@\"; do {line}; done >/dev/null 2>&1"
            cmds.append(["sh", "-c", script, "sh"] + files)
        times, _ = interleaved(cmds, runs)
        if not peers:
            say(f"| {k} | {len(files)} | {mb:.1f} | {times[0]:.2f} | {len(files) / times[0]:.0f} | – | – | – |")
        for (label, _), t in zip(peers, times[1:]):
            say(f"| {k} | {len(files)} | {mb:.1f} | {times[0]:.2f} | {len(files) / times[0]:.0f} | "
                f"{label} | {t:.2f} | {times[0] / t:.2f} |")
        if k == "pdf":
            pages = 0
            for p in files:
                info = subprocess.run(["pdfinfo", p], stdout=subprocess.PIPE, text=True).stdout
                pages += int([l for l in info.split("\n") if l.startswith("Pages:")][0].split()[1])
            pdf_pages = (pages, times[0], times[1])
    say()
    if "pdf" in kinds:
        pages, ours, peer = pdf_pages
        say(f"PDF: {pages} pages; ours {pages / ours:.0f} pages/s, pdftotext per file "
            f"{pages / peer:.0f} pages/s: {peer / ours:.2f} times pdftotext's speed.\n")


def part_plain(find, runs):
    say("## Documents on against off on a plain text tree (ja-cp932)\n")
    say("| word | threads | off (s) | on (s) | on / off |")
    say("|---|---|---:|---:|---:|")
    for word in ["インストール", "設定", NOWHERE]:
        for threads in ([], ["-j", "1"]):
            (off, on), _ = interleaved([[find, "-r"] + threads + [word, PLAIN],
                                        [find, "-r", "--documents"] + threads + [word, PLAIN]],
                                       runs * 5)
            label = "-j 1" if threads else "default"
            say(f"| {word} | {label} | {off:.4f} | {on:.4f} | {on / off:.3f} |")
    say(f"\nload average after: {' '.join(f'{x:.1f}' for x in os.getloadavg())}\n")


def part_memory(find):
    say("## Peak memory of the process tree\n")
    hostile = tempfile.mkdtemp(prefix="tarnwell-hostile-")
    for d in ["tests/documents/pdf/fixtures", "tests/documents/legacy/fixtures/hostile"]:
        shutil.copytree(os.path.join(REPO, d), os.path.join(hostile, os.path.basename(os.path.dirname(d)) + "-" + os.path.basename(d)))
    for label, cmd in [("document corpus", [find, "-r", "--documents", WORDS[0][0], DOCS]),
                       ("doc, xls and ppt", [find, "-r", "--documents", WORDS[0][0],
                                             linked(BINARY, BINARY_KINDS)]),
                       ("hostile sets (pdf and legacy fixtures)", [find, "-r", "--documents", WORDS[0][0], hostile])]:
        wall, _, peak = run(cmd, sample=True)
        say(f"- {label}: {peak / 1024:.0f} MiB peak (sum of the tree's resident sets), {wall:.2f} s")
    shutil.rmtree(hostile)
    say()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--find", default=os.environ.get("TARNWELL_FIND", "build/tools/tarnwell-find"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--kinds", default=",".join(PEERS))
    ap.add_argument("--parts", default="1,2,3,4")
    ap.add_argument("--markdown")
    ap.add_argument("--reading-files", type=int, default=40,
                    help="documents of each kind read in part 2 (0: all)")
    ap.add_argument("--no-warmup", action="store_true")
    ap.add_argument("--words-all", help="words of the whole-corpus rows, comma-separated")
    ap.add_argument("--words-kind", help="words of the per-kind rows (and of the doc+xls+ppt row), comma-separated")
    ap.add_argument("--no-all-kinds", action="store_true",
                    help="leave out the rows over the whole corpus")
    a = ap.parse_args()
    global WARMUP, WORDS_ALL, WORDS_KIND
    WARMUP = not a.no_warmup
    if a.words_all:
        WORDS_ALL = a.words_all.split(",")
    if a.words_kind:
        WORDS_KIND = a.words_kind.split(",")
    if not WARMUP:  # the page cache, once
        subprocess.run(["sh", "-c", f"find {shlex.quote(DOCS)} -type f -exec cat {{}} + >/dev/null"])
    kinds = [k for k in a.kinds.split(",") if os.path.isdir(os.path.join(DOCS, k))]
    parts = a.parts.split(",")
    count = sum(len(os.listdir(os.path.join(DOCS, k))) for k in kinds)
    size = sum(os.path.getsize(os.path.join(DOCS, k, n)) for k in kinds for n in os.listdir(os.path.join(DOCS, k)))
    say(f"# Documents: {count} files, {size / 1e6:.0f} MB ({', '.join(kinds)}); "
        f"{a.runs} timed run(s) {'after a warm-up run' if WARMUP else 'on a warmed page cache, no warm-up run'}; "
        f"load average at start {os.getloadavg()[0]:.2f}\n")
    if "1" in parts:
        part_search(a.find, kinds, a.runs, not a.no_all_kinds)
    if "2" in parts:
        part_reading(a.find, kinds, a.runs, a.reading_files)
    if "3" in parts:
        part_plain(a.find, a.runs)
    if "4" in parts:
        part_memory(a.find)
    say(f"Load average at the end: {os.getloadavg()[0]:.2f}")
    if a.markdown:
        with open(a.markdown, "w") as f:
            f.write("\n".join(OUT) + "\n")


if __name__ == "__main__":
    sys.exit(main())
