#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Times tarnwell-find -r against ripgrep, GNU grep and ugrep on the benchmark
corpora, in one run, on a warm cache (or, with --cold, a cold one), and checks
the files it lists.

Every command of a corpus is run once to warm the cache (that run's output is
the file set that is checked), then the commands take turns, --runs times, so
that drift of the machine touches them all alike. Medians are reported, with
ratios to the reference ripgrep run of the query, to ripgrep with its default
threads and to the floor (bench/floor, which only reads every byte of every
file, on one thread; its two-thread run is shown beside it).

With --cold (root only) the page cache is dropped before every timed run
(sync; echo 3 > /proc/sys/vm/drop_caches), and only the queries the cold-cache
targets name are run: the real tree, the rare word and the word found nowhere.

File sets: the peers end lines at LF and match raw bytes; Tarnwell ends lines
at CR-LF or a lone CR and matches code-page-932 text. So each query's expected
set is computed here from Tarnwell's own rules (a small model of the decoder,
run on every file that holds the raw bytes of every word) and tarnwell-find
must list exactly that set. Peers are compared with it too, and where they
differ the report says so; for single-word ASCII queries on text that is not
code page 932 they should agree with it except where a double-byte character
swallows the word's first byte.

Build the corpora first (bench/make-corpus-*.sh); see bench/README.md.
"""

import argparse
import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BENCH_SRC = os.path.dirname(os.path.abspath(__file__))
BENCH_DIR = os.environ.get('TARNWELL_BENCH_DIR', '/var/tmp/tarnwell-bench')
DEFAULT_FIND = os.environ.get('TARNWELL_FIND', os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'build-bench', 'tools', 'tarnwell-find'))

# Queries, picked by looking at the corpora: a word in about 1-5 % of the files,
# two words (Tarnwell wants both on one line), a Japanese word common in the
# prose, and a word found nowhere.
# The Japanese documents' queries, in every encoding of them.
JA_QUERIES = [
    ('rare', ['socket']),
    ('two words', ['GIMP', 'layer']),
    ('Japanese', ['設定']),
    ('nowhere', ['Qzxjvwarbl']),
]

CORPORA = {
    'real': {
        'dir': 'corpus/real',
        'queries': [
            ('rare', ['mutex']),
            ('common bytes', ['snprintf']),
            ('two words', ['struct', 'offset']),
            ('nowhere', ['Qzxjvwarbl']),
        ],
    },
    'ja-cp932': {
        'dir': 'corpus/ja-cp932',
        'queries': JA_QUERIES,
    },
    'small': {
        'dir': 'corpus/small',
        'queries': [
            ('rare', ['quillwort']),
            ('two words', ['lantern', 'amber']),
            ('nowhere', ['Qzxjvwarbl']),
        ],
    },
    # The encoding modes (bench/make-corpus-ja-utf8.sh): the same documents in
    # their own UTF-8, and half of them converted to code page 932.
    'ja-utf8': {
        'dir': 'corpus/ja-utf8',
        'mode': 'utf-8',
        'queries': JA_QUERIES,
    },
    'ja-mixed': {
        'dir': 'corpus/ja-mixed',
        'mode': 'auto',
        'queries': [
            ('rare', ['socket']),
            ('Japanese', ['設定']),
            ('nowhere', ['Qzxjvwarbl']),
        ],
    },
}

# Extra rows of tarnwell-find in another encoding mode, per corpus (with
# --modes): auto beside cp932 on the code page 932 corpus, auto beside utf-8
# on the UTF-8 one. Each row is checked against the model of its own mode.
EXTRA_MODES = {'ja-cp932': ['auto'], 'ja-utf8': ['auto']}

# ---------------------------------------------------------------------------
# The model of Tarnwell's matching, used for the expected file sets.
# Lines end at CR-LF or a lone CR. Within a line a lead byte (81-9F, E0-FC)
# and the next byte form one unit unless the lead is the line's last byte or
# the next byte is 00; a unit that is not a character becomes U+30FB.

LINE_END = re.compile(rb'\r\n|\r')
UNIT = re.compile(rb'[\x81-\x9f\xe0-\xfc][^\x00]|[\x00-\xff]', re.DOTALL)


def decode_line(line):
    out = []
    for unit in UNIT.findall(line):
        if unit[0] < 0x80:
            out.append(chr(unit[0]))
            continue
        try:
            text = unit.decode('cp932')
        except UnicodeDecodeError:
            text = '\u30fb'
        out.append(text if len(text) == 1 else '\u30fb')
    return ''.join(out)


def model_matches(data, words, raw_words):
    if not all(w in data for w in raw_words):
        return False
    for line in LINE_END.split(data):
        if all(w in line for w in raw_words):
            text = decode_line(line)
            if all(w in text for w in words):
                return True
    return False


# The other modes: lines end at CR-LF, a lone CR or a lone LF. utf-8 reads
# every file as UTF-8 (an error is U+FFFD, which no query holds), after a
# byte order mark; auto reads a file with a UTF-8 mark or valid UTF-8
# throughout as UTF-8, one with a UTF-16 mark as UTF-16, any other as code
# page 932 with the model above.
ANY_LINE_END = re.compile(r'\r\n|\r|\n')
ANY_LINE_END_BYTES = re.compile(rb'\r\n|\r|\n')


def text_matches(text, words):
    return any(all(w in line for w in words) for line in ANY_LINE_END.split(text))


def mode_matches(data, words, mode):
    if mode == 'cp932':
        return model_matches(data, words, [w.encode('cp932', 'ignore') for w in words])
    if data.startswith(b'\xef\xbb\xbf'):
        return text_matches(data[3:].decode('utf-8', 'replace'), words)
    if mode == 'utf-8':
        return text_matches(data.decode('utf-8', 'replace'), words)
    if data.startswith(b'\xff\xfe') or data.startswith(b'\xfe\xff'):
        codec = 'utf-16-le' if data[0] == 0xFF else 'utf-16-be'
        return text_matches(data[2:].decode(codec, 'replace'), words)
    try:
        return text_matches(data.decode('utf-8'), words)
    except UnicodeDecodeError:
        pass
    try:
        raw = [w.encode('cp932') for w in words]
    except UnicodeEncodeError:
        return False
    for line in ANY_LINE_END_BYTES.split(data):
        if all(w in line for w in raw) and all(w in decode_line(line) for w in words):
            return True
    return False


def expected_sets(root, queries, mode='cp932'):
    """Expected file set for every query, in one pass over the corpus."""
    tests = []
    for name, words in queries:
        if mode == 'cp932':
            raw = [w.encode('cp932') for w in words]
            tests.append((name, lambda data, words=words, raw=raw: model_matches(data, words, raw)))
        else:
            tests.append((name, lambda data, words=words: mode_matches(data, words, mode)))
    sets = {name: set() for name, _ in queries}
    for folder, dirs, files in os.walk(root):
        for f in files:
            path = os.path.join(folder, f)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, 'rb') as fh:
                data = fh.read()
            for name, matches in tests:
                if matches(data):
                    sets[name].add(path)
    return sets


# ---------------------------------------------------------------------------
# Commands


def regex_all_on_line(words):
    """A regex that finds lines (LF-ended, for the peers) holding every word."""
    if len(words) == 1:
        return re.escape(words[0])
    if len(words) != 2:
        raise ValueError('peer regexes are written for one or two words')
    a, b = (re.escape(w) for w in words)
    return f'{a}.*{b}|{b}.*{a}'


def rg_bytes_pattern(word):
    return ''.join(f'(?-u:\\x{b:02x})' for b in word.encode('cp932'))


def commands(find, corpus, words, peers=True, mode='cp932', extra_modes=(), baseline=None):
    """(tool, argv, env, is_reference) for one query; the reference is the rg
    run whose semantics are closest to Tarnwell's: rg -E shift_jis for a
    non-ASCII word, plain rg -j1 otherwise. 'rg' (default threads) is the
    peer as people run it. peers=False leaves out grep and ugrep. baseline: another
    build of tarnwell-find (the one before a change), timed beside it (in cp932
    mode only: an older build may not know -E). mode: the encoding mode of the
    tarnwell-find rows (on a UTF-8 corpus, rg reads the words as UTF-8, as it
    does by default); extra_modes: one more tarnwell-find row each."""
    ascii_only = all(w.isascii() for w in words)
    c_env = {'LC_ALL': 'C'}
    cmds = []
    mode_args = [] if mode == 'cp932' else ['-E', mode]
    programs = [('tarnwell-find', find)]
    if find and baseline and mode == 'cp932':
        programs.append(('tarnwell-find (baseline)', baseline))
    for name, program in programs:
        if not program:
            continue
        cmds.append((name, [program] + mode_args + ['-r', ' '.join(words), corpus],
                     {'LC_ALL': 'C.UTF-8'}, False))
        cmds.append((name.replace('tarnwell-find', 'tarnwell-find -j1'),
                     [program, '-j1'] + mode_args + ['-r', ' '.join(words), corpus],
                     {'LC_ALL': 'C.UTF-8'}, False))
    if find:
        for extra in extra_modes:
            cmds.append((f'tarnwell-find -E {extra}',
                         [find, '-E', extra, '-r', ' '.join(words), corpus],
                         {'LC_ALL': 'C.UTF-8'}, False))
    if mode != 'cp932':
        # UTF-8 text: rg reads the words as they are.
        if len(words) == 1:
            args = ['-F', '--', words[0], corpus]
        else:
            args = ['-e', regex_all_on_line(words), corpus]
        cmds.append(('rg -j1', ['rg', '-j1', '-l', '-uuu'] + args, c_env, True))
        cmds.append(('rg', ['rg', '-l', '-uuu'] + args, c_env, False))
        return cmds
    rg = ['rg', '-j1', '-l', '-uuu']
    rg_default = ['rg', '-l', '-uuu']
    if ascii_only:
        if len(words) == 1:
            args = ['-F', '--', words[0], corpus]
        else:
            # (?-u): "." must match any byte, as code page 932 text is not UTF-8.
            args = ['-e', '(?-u)' + regex_all_on_line(words), corpus]
        cmds.append(('rg -j1', rg + args, c_env, True))
        cmds.append(('rg', rg_default + args, c_env, False))
    else:
        if len(words) != 1:
            raise ValueError('non-ASCII queries are single words here')
        args = ['-E', 'shift_jis', '-F', '--', words[0], corpus]
        cmds.append(('rg -j1 -E shift_jis', rg + args, c_env, True))
        cmds.append(('rg -E shift_jis', rg_default + args, c_env, False))
        cmds.append(('rg -j1 (bytes)', rg + ['-e', rg_bytes_pattern(words[0]), corpus], c_env,
                     False))
    if not peers:
        return cmds
    cmds += grep_commands(corpus, words)
    return [c for c in cmds if c[0].split()[0] not in MISSING_PEERS]


# Optional peers that are not installed: their rows are left out (and said so).
MISSING_PEERS = set()


def grep_commands(corpus, words):
    c_env = {'LC_ALL': 'C'}
    cmds = []
    raw = [w.encode('cp932') for w in words]
    if len(words) == 1:
        cmds.append(('grep', [b'grep', b'-rlF', b'--', raw[0], corpus.encode()], c_env, False))
        cmds.append(('ugrep -J1', [b'ugrep', b'-J1', b'-rl', b'-.', b'-U', b'-F', b'--', raw[0],
                                   corpus.encode()], c_env, False))
    else:
        pattern = regex_all_on_line(words).encode('cp932')
        cmds.append(('grep', [b'grep', b'-rlE', b'-e', pattern, corpus.encode()], c_env, False))
        cmds.append(('ugrep -J1', [b'ugrep', b'-J1', b'-rl', b'-.', b'-U', b'-e', pattern,
                                   corpus.encode()], c_env, False))
    return cmds


def drop_caches():
    subprocess.run(['sync'], check=True)
    with open('/proc/sys/vm/drop_caches', 'w') as f:
        f.write('3\n')


def can_drop_caches():
    return os.geteuid() == 0 and os.access('/proc/sys/vm/drop_caches', os.W_OK)


def run_once(argv, env, out_path, cold=False):
    full_env = dict(os.environ)
    full_env.update(env)
    if cold:
        drop_caches()
    # Output goes to a regular file: GNU grep stops at the first match when its
    # output is /dev/null, which would flatter it.
    with open(out_path, 'wb') as out:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        proc = subprocess.run(argv, stdout=out, stderr=subprocess.PIPE, env=full_env)
        elapsed = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
    if proc.returncode not in (0, 1):
        err = proc.stderr.decode(errors='replace').strip()
        raise RuntimeError(f'{argv[0]!r} exited with {proc.returncode}: {err[:300]}')
    return elapsed, cpu, after.ru_utime - before.ru_utime


def listed_files(out_path):
    with open(out_path, 'rb') as f:
        return {os.fsdecode(line) for line in f.read().split(b'\n') if line}


def build_floor():
    binary = os.path.join(BENCH_DIR, 'bin', 'floor')
    source = os.path.join(BENCH_SRC, 'floor.cpp')
    if not os.path.exists(binary) or os.path.getmtime(binary) < os.path.getmtime(source):
        os.makedirs(os.path.dirname(binary), exist_ok=True)
        subprocess.run(['g++', '-std=c++20', '-O2', '-pthread', '-o', binary, source], check=True)
    return binary


def machine_line():
    cpu = ''
    try:
        with open('/proc/cpuinfo') as f:
            cpu = next((l.split(':', 1)[1].strip() for l in f if l.startswith('model name')), '')
    except OSError:
        pass
    versions = []
    for tool in (['rg', '--version'], ['grep', '--version'], ['ugrep', '--version']):
        try:
            out = subprocess.run(tool, capture_output=True, text=True).stdout.splitlines()
            versions.append(out[0].strip() if out else tool[0])
        except OSError:
            versions.append(tool[0] + ' missing')
    return (f'{cpu}, {os.cpu_count()} cores, Linux {platform.release()}; '
            + '; '.join(versions))


def fmt_ms(seconds):
    return f'{seconds * 1000:.0f}' if seconds >= 0.1 else f'{seconds * 1000:.1f}'


def startup_costs(find, floor, runs, tmp, report):
    """Each tool on an empty folder: the fixed cost of starting a process,
    which weighs on the small Japanese corpus."""
    empty = os.path.join(tmp, 'empty')
    os.mkdir(empty)
    plan = [('floor', [floor, empty], {})]
    plan += [(tool, argv, env) for tool, argv, env, _ in commands(find, empty, ['Qzxjvwarbl'])]
    walls = {tool: [] for tool, _, _ in plan}
    cpus = {tool: [] for tool, _, _ in plan}
    out = os.path.join(tmp, 'startup-out')
    for _ in range(max(runs, 10)):
        for tool, argv, env in plan:
            wall, cpu, _ = run_once(argv, env, out)
            walls[tool].append(wall)
            cpus[tool].append(cpu)
    report.append('\n### Start-up: each tool on an empty folder\n')
    report.append('| tool | wall ms | CPU ms |')
    report.append('|---|---:|---:|')
    for tool, _, _ in plan:
        report.append(f'| {tool} | {fmt_ms(statistics.median(walls[tool]))} | '
                      f'{fmt_ms(statistics.median(cpus[tool]))} |')


def gui_search(gui, words, root, runs, mode='cp932'):
    """Median in-process time (s) of MainWindow's search and the files it listed."""
    env = dict(os.environ, LC_ALL='C.UTF-8')
    env.setdefault('QT_QPA_PLATFORM', 'offscreen')
    proc = subprocess.run([gui, '--runs', str(runs), '--list', '-r', '-E', mode,
                           ' '.join(words), root], capture_output=True, env=env)
    if proc.returncode != 0:
        raise RuntimeError(f'gui-search failed: {proc.stderr.decode(errors="replace")[:300]}')
    lines = proc.stdout.split(b'\n')
    fields = lines[0].decode().split()
    values = dict(zip(fields[0::2], fields[1::2]))
    return float(values['median_ms']) / 1000, {os.fsdecode(l) for l in lines[1:] if l}


COLD_QUERIES = {'real': ('rare', 'nowhere')}


def bench_corpus(name, setup, find, floor, runs, tmp, report, gui=None, cold=False,
                 modes=False, baseline=None):
    root = os.path.join(BENCH_DIR, setup['dir'])
    if not os.path.isdir(root):
        report.append(f'\n(corpus {name} not built: run bench/make-corpus-*.sh)\n')
        return []
    queries = setup['queries']
    if cold:
        queries = [q for q in queries if q[0] in COLD_QUERIES.get(name, ())]
        if not queries:
            return []
    mode = setup.get('mode', 'cp932')
    extra_modes = EXTRA_MODES.get(name, []) if modes else []
    expected = expected_sets(root, queries, mode)
    expected_extra = {m: expected_sets(root, queries, m) for m in extra_modes}
    floor_cmd = ('floor', [floor, root], {}, False)
    floor2_cmd = ('floor -t 2', [floor, '-t', '2', root], {}, False)
    plan = [(None, floor_cmd), (None, floor2_cmd)]
    for qname, words in queries:
        for cmd in commands(find, root, words, peers=not cold, mode=mode,
                            extra_modes=extra_modes, baseline=baseline):
            plan.append((qname, cmd))

    times = {i: [] for i in range(len(plan))}
    cpus = {i: [] for i in range(len(plan))}
    users = {i: [] for i in range(len(plan))}
    sets = {}
    # Warm-up, which also gives the file sets.
    for i, (qname, (tool, argv, env, _)) in enumerate(plan):
        out = os.path.join(tmp, f'out{i}')
        run_once(argv, env, out)
        if qname is not None:
            sets[i] = listed_files(out)
    # The window's search, in-process: one search per program start, in turn
    # with the other commands so that it sees the same load; its own timing
    # leaves out the program's start-up.
    gui_times = {qname: [] for qname, _ in queries}
    gui_sets = {}
    if gui and not cold:
        for qname, words in queries:
            gui_sets[qname] = gui_search(gui, words, root, 1, mode)[1]
    for _ in range(runs):
        for i, (_, (tool, argv, env, _)) in enumerate(plan):
            wall, cpu, user = run_once(argv, env, os.path.join(tmp, f'out{i}'), cold)
            times[i].append(wall)
            cpus[i].append(cpu)
            users[i].append(user)
        for qname, words in queries:
            if qname in gui_sets:
                gui_times[qname].append(gui_search(gui, words, root, 1, mode)[0])
    median = {i: statistics.median(t) for i, t in times.items()}
    cpu_median = {i: statistics.median(t) for i, t in cpus.items()}
    user_median = {i: statistics.median(t) for i, t in users.items()}
    gui_rows = {q: (statistics.median(gui_times[q]), got) for q, got in gui_sets.items()}
    floor_time = median[0]
    floor_cpu = cpu_median[0]

    files = sum(len(fs) for _, _, fs in os.walk(root))
    cache = 'cold cache' if cold else 'warm cache'
    if mode != 'cp932':
        report.append(f'\n(tarnwell-find reads {name} with -E {mode}.)')
    report.append(f'\n### {name} ({cache}): {files} files; floor {fmt_ms(floor_time)} ms wall, '
                  f'{fmt_ms(floor_cpu)} ms CPU; floor on two threads {fmt_ms(median[1])} ms '
                  f'wall ({median[1] / floor_time:.2f}× floor), {fmt_ms(cpu_median[1])} ms CPU\n')
    report.append('| query | words | tool | wall ms | CPU ms | × rg ref | × rg | × floor | '
                  'CPU × rg ref | CPU × floor | files | same set as expected |')
    report.append('|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---|')
    misses = []
    for qname, words in queries:
        rows = [i for i, (q, _) in enumerate(plan) if q == qname]
        ref = next(i for i in rows if plan[i][1][3])
        rg_default = next(i for i in rows if plan[i][1][0] in ('rg', 'rg -E shift_jis'))
        find_row = next((i for i in rows if plan[i][1][0] == 'tarnwell-find'), None)
        for i in rows:
            tool = plan[i][1][0]
            got = sets[i]
            exp = expected[qname]
            if tool.startswith('tarnwell-find -E '):
                extra = tool.split()[-1]
                exp = expected_extra[extra][qname]
                # auto: at most 1.1x the corpus's own mode.
                if find_row is not None and median[i] / median[find_row] > 1.1:
                    misses.append(f'{name}/{qname}: -E {extra} at '
                                  f'{median[i] / median[find_row]:.2f}x -E {mode} (target 1.1x)')
            if got == exp:
                same = 'yes'
            else:
                same = f'no (+{len(got - exp)} / -{len(exp - got)})'
            r_ref = median[i] / median[ref]
            r_rg = median[i] / median[rg_default]
            r_floor = median[i] / floor_time
            c_ref = cpu_median[i] / cpu_median[ref]
            c_floor = cpu_median[i] / floor_cpu
            report.append(f'| {qname} | {" ".join(words)} | {tool} | {fmt_ms(median[i])} | '
                          f'{fmt_ms(cpu_median[i])} | {r_ref:.2f} | {r_rg:.2f} | {r_floor:.2f} | '
                          f'{c_ref:.2f} | {c_floor:.2f} | {len(got)} | {same} |')
            if tool.startswith('tarnwell-find') and got != exp:
                misses.append(f'{name}/{qname}: {tool} lists {len(got)} files, '
                              f'expected {len(exp)}; e.g. extra {sorted(got - exp)[:3]}, '
                              f'missing {sorted(exp - got)[:3]}')
            if tool == 'tarnwell-find':
                # Warm: at most 0.75× the one-thread floor; cold: 0.6×. Faster than rg.
                limit = 0.6 if cold else 0.75
                if r_floor > limit or r_rg >= 1.0:
                    misses.append(f'{name}/{qname} ({cache}): tarnwell-find at {r_floor:.2f}× '
                                  f'floor and {r_rg:.2f}× rg (targets {limit}× and below 1.0×)')
        exp = expected[qname]
        if qname in gui_rows:
            wall, got = gui_rows[qname]
            same = 'yes' if got == exp else f'no (+{len(got - exp)} / -{len(exp - got)})'
            report.append(f'| {qname} | {" ".join(words)} | window (in-process) | {fmt_ms(wall)} '
                          f'| – | {wall / median[ref]:.2f} | {wall / median[rg_default]:.2f} | '
                          f'{wall / floor_time:.2f} | – | – | {len(got)} | {same} |')
            if find_row is not None and wall / median[find_row] > 1.1:
                misses.append(f'{name}/{qname}: the window at {wall / median[find_row]:.2f}× '
                              f'tarnwell-find (target 1.1×)')
    if baseline and find and mode == 'cp932':
        report.append(f'\n{name}: tarnwell-find against the baseline build, query by query '
                      '(this build / baseline; below 1: faster now). CPU is user + system; '
                      'user alone is the program\'s own work, without the kernel\'s copying '
                      'of the files\n')
        report.append('| query | words | threads | wall ms | baseline wall ms | × | CPU ms | '
                      'baseline CPU ms | × | user ms | baseline user ms | × |')
        report.append('|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|')
        for qname, words in queries:
            rows = {plan[i][1][0]: i for i, (q, _) in enumerate(plan) if q == qname}
            for label, now, before in (('default', 'tarnwell-find', 'tarnwell-find (baseline)'),
                                       ('-j1', 'tarnwell-find -j1',
                                        'tarnwell-find -j1 (baseline)')):
                a, b = rows[now], rows[before]
                report.append(f'| {qname} | {" ".join(words)} | {label} | {fmt_ms(median[a])} | '
                              f'{fmt_ms(median[b])} | {median[a] / median[b]:.2f} | '
                              f'{fmt_ms(cpu_median[a])} | {fmt_ms(cpu_median[b])} | '
                              f'{cpu_median[a] / cpu_median[b]:.2f} | '
                              f'{fmt_ms(user_median[a])} | {fmt_ms(user_median[b])} | '
                              f'{user_median[a] / max(user_median[b], 1e-6):.2f} |')
    return misses


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--find', default=DEFAULT_FIND, help='path of tarnwell-find')
    ap.add_argument('--runs', type=int, default=7, help='timed runs per command (median)')
    ap.add_argument('--corpus', action='append', choices=sorted(CORPORA),
                    help='corpus to run (repeatable; default all)')
    ap.add_argument('--markdown', help='also write the report to this file')
    ap.add_argument('--gui', help='path of gui-search (bench/CMakeLists.txt): also time the '
                    "window's own search, in-process")
    ap.add_argument('--baseline', help='path of another tarnwell-find build (the one before a '
                    'change): timed in the same rounds, compared query by query')
    ap.add_argument('--cold', action='store_true',
                    help='drop the page cache before every timed run (root only); the real '
                    'tree, its rare word and its word found nowhere')
    ap.add_argument('--modes', action='store_true',
                    help='also run tarnwell-find in the other encoding modes where they '
                    'matter (auto on ja-cp932 and ja-utf8)')
    args = ap.parse_args()
    if args.cold and not can_drop_caches():
        print('cold-cache mode skipped: dropping the page cache needs root '
              '(/proc/sys/vm/drop_caches)')
        return 0

    find = args.find if os.access(args.find, os.X_OK) else None
    if not shutil.which('rg'):
        sys.exit('rg (ripgrep) is not installed')
    for tool in ('grep', 'ugrep'):
        if not shutil.which(tool):
            MISSING_PEERS.add(tool)
    floor = build_floor()
    cache = ('Cold cache: the page cache dropped before every timed run.' if args.cold else
             'Warm cache.')
    report = [f'Machine: {machine_line()}', '',
              f'{cache} Runs per command: {args.runs} after one warm-up run; medians. '
              f'Load average at start: {os.getloadavg()[0]:.2f}.',
              'Wall time is what a user waits; CPU time (user + system) is steadier '
              'when other work shares the machine.']
    if not find:
        report.append(f'tarnwell-find not found at {args.find}: peers and floor only.')
    for tool in sorted(MISSING_PEERS):
        report.append(f'{tool} is not installed: its rows are left out.')
    misses = []
    with tempfile.TemporaryDirectory(prefix='tarnwell-bench-') as tmp:
        if not args.cold:
            startup_costs(find, floor, args.runs, tmp, report)
        for name in args.corpus or list(CORPORA):
            misses += bench_corpus(name, CORPORA[name], find, floor, args.runs, tmp, report,
                                   args.gui, args.cold, args.modes, args.baseline)
    report.append(f'Load average at end: {os.getloadavg()[0]:.2f}.')
    if find:
        report.append('')
        report.append('Targets missed:' if misses else 'tarnwell-find met every target.')
        report += [f'- {m}' for m in misses]
    text = '\n'.join(report) + '\n'
    print(text)
    if args.markdown:
        with open(args.markdown, 'w') as f:
            f.write(text)
    return 1 if misses else 0


if __name__ == '__main__':
    sys.exit(main())
