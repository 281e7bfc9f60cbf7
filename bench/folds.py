#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""What loose matching costs: each query with the folds on against the same
query exact, in one run, on a warm cache, default threads.

For every corpus and query the commands take turns --runs times (after one
warm-up run each, whose output is kept), and medians are compared:

- a query whose words hold a character no fold reaches (most kanji): each
  fold, and all three, within 1.3 times the exact run;
- any other query: within 3 times;
- -i with ASCII words on the real tree: faster than `rg -l -i -F` (ripgrep,
  Debian's package) on the same words, and the same files listed (ripgrep
  ends lines at LF only, so the sets are compared for one-word queries).

A folded search must list every file the exact one lists; the script says
where it does not. Build with -DCMAKE_BUILD_TYPE=Release (bench/README.md):

    python3 bench/folds.py --find build-bench/tools/tarnwell-find --runs 5
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

BENCH = pathlib.Path(os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench"))

FOLDS = {
    "case": ["-i"],
    "width": ["--ignore-width"],
    "kana": ["--ignore-kana"],
    "all": ["-i", "--ignore-width", "--ignore-kana"],
}

# (corpus, encoding mode, label, words, a character no fold reaches)
QUERIES = [
    ("real", "auto", "one ASCII word", ["release"], False),
    ("real", "auto", "two ASCII words", ["struct", "offset"], False),
    ("real", "cp932", "one ASCII word, cp932", ["mutex"], False),
    ("ja-cp932", "cp932", "kanji", ["設定"], True),
    ("ja-cp932", "cp932", "katakana", ["テスト"], False),
    ("ja-cp932", "cp932", "ASCII", ["socket"], False),
    ("ja-utf8", "utf-8", "kanji", ["設定"], True),
    ("ja-utf8", "utf-8", "katakana", ["テスト"], False),
    ("ja-utf8", "utf-8", "ASCII", ["socket"], False),
]


def run(cmd):
    start = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start, out.stdout


def files(out):
    return set(out.decode("utf-8", "surrogateescape").splitlines())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--find", required=True, help="the tarnwell-find to time")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--corpus", action="append", help="only these corpora")
    args = parser.parse_args()
    rg = shutil.which("rg")
    failures = 0
    for corpus, mode, label, words, stable in QUERIES:
        if args.corpus and corpus not in args.corpus:
            continue
        root = BENCH / "corpus" / corpus
        if not root.is_dir():
            print(f"{corpus}: not built (bench/make-corpus-*.sh)", file=sys.stderr)
            continue
        base = [args.find, "-r", "-E", mode]
        cmds = {"exact": base + [" ".join(words), str(root)]}
        for name, flags in FOLDS.items():
            cmds[name] = base + flags + [" ".join(words), str(root)]
        ascii_words = all(w.isascii() for w in words)
        if rg and corpus == "real" and ascii_words:
            cmds["rg -i -F"] = [rg, "-l", "-i", "-F", words[0], str(root)] if len(words) == 1 else None
            if cmds["rg -i -F"] is None:
                del cmds["rg -i -F"]
        times = {name: [] for name in cmds}
        listed = {}
        for name, cmd in cmds.items():
            listed[name] = files(run(cmd)[1])
        for _ in range(args.runs):
            for name, cmd in cmds.items():
                times[name].append(run(cmd)[0])
        med = {name: statistics.median(t) for name, t in times.items()}
        limit = 1.3 if stable else 3.0
        print(f"\n{corpus} ({mode}) {label}: {' '.join(words)}  "
              f"[exact {med['exact']:.3f} s, {len(listed['exact'])} files]")
        for name in FOLDS:
            ratio = med[name] / med["exact"]
            ok = ratio <= limit
            missing = len(listed["exact"] - listed[name])
            failures += (not ok) + (missing > 0)
            print(f"  {name:6} {med[name]:.3f} s  {ratio:4.2f}x exact (target {limit}x)"
                  f"{'' if ok else '  MISSED'}  {len(listed[name])} files"
                  f"{f'  {missing} exact files not listed' if missing else ''}")
        if "rg -i -F" in cmds:
            ratio = med["case"] / med["rg -i -F"]
            ok = ratio < 1.0
            failures += not ok
            differ = len(listed["case"] ^ listed["rg -i -F"])
            print(f"  rg -i -F {med['rg -i -F']:.3f} s: -i is {ratio:4.2f}x ripgrep (target < 1)"
                  f"{'' if ok else '  MISSED'}; files listed by one only: {differ}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
