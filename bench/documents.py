#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""The document benchmarks, in one run, warm cache:
  1. tarnwell-find --documents against ugrep --filter (pdftotext, docx2txt,
     xlsx2csv) on the document corpus (make-corpus-documents.sh), the same
     words, and the files each finds;
  2. PDF pages per second: tarnwell-find --documents -j 1 (one helper) against
     pdftotext run on each PDF;
  3. documents on against off on a plain text tree (ja-cp932), with the
     default threads and with -j 1, interleaved, with the load average;
  4. peak memory of the whole process tree (tarnwell-find and its helpers),
     sampled from /proc every 5 ms (the sum of the tree's resident sets).
    python3 bench/documents.py [--find PATH] [--runs N] [--kinds pdf,docx,...]
                               [--parts documents,pages,plain,memory]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

BENCH = os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench")
DOCS = os.path.join(BENCH, "corpus", "documents")
PLAIN = os.path.join(BENCH, "corpus", "ja-cp932")
WORDS = ["インストール", "パッケージ", "設定", "ファイル", "見つかりません"]
FILTERS = "pdf:pdftotext % -,docx:docx2txt % -,xlsx:xlsx2csv %"


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


def run(cmd, sample=False, shell=False):
    """Wall seconds, stdout lines, peak tree RSS in KiB (when sampled)."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, shell=shell)
    peak = 0
    if sample:
        while p.poll() is None:
            peak = max(peak, tree_rss(p.pid))
            time.sleep(0.005)
    out = p.communicate()[0]
    wall = time.perf_counter() - start
    return wall, sorted(l for l in out.decode("utf-8", "replace").split("\n") if l), peak


def median(cmd, runs, shell=False):
    results = [run(cmd, shell=shell) for _ in range(runs)]
    return statistics.median(r[0] for r in results), results[0][1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--find", default=os.environ.get("TARNWELL_FIND", "build/tools/tarnwell-find"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--kinds", default="pdf")
    ap.add_argument("--parts", default="documents,pages,plain,memory")
    a = ap.parse_args()
    parts = a.parts.split(",")
    kinds = a.kinds.split(",")
    dirs = [os.path.join(DOCS, k) for k in kinds]

    if "documents" in parts:
        documents_part(a, kinds, dirs)
    if "pages" in parts:
        pages_part(a)
    if "plain" in parts:
        plain_part(a)
    if "memory" in parts:
        memory_part(a)


def documents_part(a, kinds, dirs):
    print(f"## Documents: {', '.join(kinds)} ({sum(len(os.listdir(d)) for d in dirs)} files)\n")
    print("| word | tarnwell-find --documents (s) | ugrep --filter (s) | ratio | found | same files |")
    print("|---|---|---|---|---|---|")
    for word in WORDS:
        ours, found = median([a.find, "-r", "--documents", word] + dirs[:1], a.runs) \
            if len(dirs) == 1 else median([a.find, "-r", "--documents", word, DOCS], a.runs)
        peer, peer_found = median(["ugrep", "-r", "-l", "-F", f"--filter={FILTERS}", "-e", word] + dirs, a.runs)
        same = "yes" if found == peer_found else f"no: only ours {sorted(set(found) - set(peer_found))[:3]}, only ugrep {sorted(set(peer_found) - set(found))[:3]}"
        print(f"| {word} | {ours:.3f} | {peer:.3f} | {ours / peer:.2f}× | {len(found)} | {same} |")


def pages_part(a):
    pdfs = sorted(os.path.join(DOCS, "pdf", n) for n in os.listdir(os.path.join(DOCS, "pdf")))
    pages = 0
    for p in pdfs:
        info = subprocess.run(["pdfinfo", p], stdout=subprocess.PIPE, text=True).stdout
        pages += int([l for l in info.split("\n") if l.startswith("Pages:")][0].split()[1])
    ours, _ = median([a.find, "-j", "1", "--documents", "存在しない語", os.path.join(DOCS, "pdf")], a.runs)
    script = "for f in \"$@\"; do pdftotext \"$f\" - ; done >/dev/null"
    peer, _ = median(["sh", "-c", script, "sh"] + pdfs, a.runs)
    print(f"\n## PDF pages per second, one thread: {len(pdfs)} PDFs, {pages} pages\n")
    print(f"tarnwell-find --documents -j 1: {pages / ours:.0f} pages/s ({ours:.3f} s); "
          f"pdftotext per file: {pages / peer:.0f} pages/s ({peer:.3f} s); "
          f"ratio {peer / ours:.2f} of pdftotext's speed\n")


def plain_part(a):
    print("## Documents on against off on a plain text tree (ja-cp932)\n")
    print("| word | threads | off (s) | on (s) | on / off |")
    print("|---|---|---|---|---|")
    for word in WORDS[:3]:
        for threads in ([], ["-j", "1"]):
            times = {"off": [], "on": []}
            for _ in range(a.runs * 5):  # interleaved
                times["off"].append(run([a.find, "-r"] + threads + [word, PLAIN])[0])
                times["on"].append(run([a.find, "-r", "--documents"] + threads + [word, PLAIN])[0])
            off, on = statistics.median(times["off"]), statistics.median(times["on"])
            label = "-j 1" if threads else "default"
            print(f"| {word} | {label} | {off:.4f} | {on:.4f} | {on / off:.3f}× |")
    print(f"\nload average after: {' '.join(f'{x:.1f}' for x in os.getloadavg())}\n")


def memory_part(a):
    print("\n## Peak memory of the process tree\n")
    for label, cmd in [("document corpus", [a.find, "-r", "--documents", WORDS[0], DOCS]),
                       ("hostile set", [a.find, "-r", "--documents", WORDS[0],
                                        "tests/documents/pdf/fixtures"])]:
        wall, _, peak = run(cmd, sample=True)
        print(f"- {label}: {peak / 1024:.0f} MiB peak (sum of the tree's resident sets), {wall:.2f} s")


if __name__ == "__main__":
    sys.exit(main())
