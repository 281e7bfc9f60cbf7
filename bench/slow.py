#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Storage that waits: the searchers on slowfs (bench/slowfs.c), a passthrough
in which every request waits --delay microseconds and the kernel's caches are
off, so the time goes to requests in flight, not to the processor.

Trees: 'small' is one top folder of the 50,000-file corpus (d00), 'ja' the
Japanese documents. Per delay and tree, every command runs --runs times, the
commands taking turns; medians of wall time. Commands: the floor (the walk
alone, floor -w, and the walk with 64 readers, floor -t 64), tarnwell-find as built (--find) at its default and -j 16 /
-j 64, a second tarnwell-find (--base, e.g. a copy of an earlier build) alike,
and rg with its default threads.

Mounting needs root; otherwise the script says it skips and exits 0.

  python3 bench/slow.py --find build-bench/tools/tarnwell-find \\
      --base /var/tmp/tarnwell-bench/bin/tarnwell-find-main --runs 3 \\
      --markdown /var/tmp/tarnwell-bench/result-slow.md
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402

BENCH_SRC = compare.BENCH_SRC
BENCH_DIR = compare.BENCH_DIR
TREES = {
    'small': (os.path.join(BENCH_DIR, 'corpus', 'small', 'd00'), 'quillwort'),
    'ja': (os.path.join(BENCH_DIR, 'corpus', 'ja-cp932'), 'socket'),
}


def slowfs(*args):
    return subprocess.run(['bash', os.path.join(BENCH_SRC, 'slowfs.sh'), *args]).returncode


def tree_size(root):
    files = folders = 0
    for _, dirs, names in os.walk(root):
        folders += 1
        files += len(names)
    return files, folders


def plan_for(mount, word, find, base, floor, skip_rg):
    plan = [('floor: walk alone', [floor, '-w', mount]),
            ('floor, 64 readers', [floor, '-t', '64', mount])]
    for label, binary in (('tarnwell-find', find), ('main tarnwell-find', base)):
        if not binary:
            continue
        plan.append((f'{label}', [binary, '-r', word, mount]))
        if label == 'main tarnwell-find':
            plan.append((f'{label} -j 16', [binary, '-r', '-j', '16', word, mount]))
            plan.append((f'{label} -j 64', [binary, '-r', '-j', '64', word, mount]))
    if not skip_rg:
        plan.append(('rg', ['rg', '-l', '-uuu', word, mount]))
    return plan


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--find', default=os.environ.get('TARNWELL_FIND'))
    parser.add_argument('--base', help='a second tarnwell-find to compare with')
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--delay', type=int, action='append',
                        help='microseconds per request (repeatable; default 1000 and 5000)')
    parser.add_argument('--tree', action='append', choices=sorted(TREES))
    parser.add_argument('--no-rg-at', type=int, action='append', default=[],
                        help='leave rg out at this delay (it takes minutes)')
    parser.add_argument('--markdown')
    args = parser.parse_args()
    if os.geteuid() != 0 or not os.path.exists('/dev/fuse'):
        print('slow file system skipped: mounting it needs root and /dev/fuse')
        return 0
    floor = compare.build_floor()
    if slowfs('build') != 0:
        sys.exit('cannot build slowfs')
    report = [compare.machine_line(),
              f'load average at the start: {os.getloadavg()[0]:.1f}']
    mount = tempfile.mkdtemp(prefix='slowfs-mnt-')
    tmp = tempfile.mkdtemp(prefix='slowfs-out-')
    try:
        for delay in args.delay or [1000, 5000]:
            for tree in args.tree or ['small', 'ja']:
                source, word = TREES[tree]
                if not os.path.isdir(source):
                    report.append(f'\n{tree}: {source} missing (build the corpus first)')
                    continue
                files, folders = tree_size(source)
                plan = plan_for(mount, word, args.find, args.base, floor,
                                delay in args.no_rg_at)
                times = [[] for _ in plan]
                sets = {}
                if slowfs('start', source, mount, str(delay)) != 0:
                    sys.exit('cannot mount slowfs')
                try:
                    for _ in range(args.runs):
                        for i, (label, argv) in enumerate(plan):
                            out = os.path.join(tmp, f'out{i}')
                            wall = compare.run_once(argv, {}, out)[0]
                            times[i].append(wall)
                            if 'find' in label or label == 'rg':
                                sets[label] = compare.listed_files(out)
                            print(f'{delay} us {tree} {label}: {wall:.2f} s', flush=True)
                finally:
                    slowfs('stop', mount)
                med = [statistics.median(t) for t in times]
                by = {label: med[i] for i, (label, _) in enumerate(plan)}
                report.append(f'\n### {delay / 1000:g} ms per request, {tree}: {files} files in '
                              f'{folders} folders, "{word}", {args.runs} runs\n')
                report.append('| command | wall s (median) | × main default | × rg |')
                report.append('|---|---:|---:|---:|')
                base = by.get('main tarnwell-find')
                rg = by.get('rg')
                for label, t in by.items():
                    vs_base = f'{t / base:.2f}' if base else '–'
                    vs_rg = f'{t / rg:.3f}' if rg else '–'
                    report.append(f'| `{label}` | {t:.2f} | {vs_base} | {vs_rg} |')
                finds = {k: v for k, v in sets.items() if 'find' in k}
                if len({frozenset(v) for v in finds.values()}) > 1:
                    report.append('\n**tarnwell-find runs listed different files**')
                if 'rg' in sets and finds:
                    some = next(iter(finds.values()))
                    report.append(f'\nfiles: tarnwell-find {len(some)}, rg {len(sets["rg"])}')
    finally:
        os.rmdir(mount)
    report.append(f'\nload average at the end: {os.getloadavg()[0]:.1f}')
    text = '\n'.join(report) + '\n'
    print(text)
    if args.markdown:
        with open(args.markdown, 'w') as f:
            f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
