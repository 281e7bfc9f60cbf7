#!/bin/sh
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT

# Puts single-point faults into the engine one at a time, rebuilds the
# engine-only build and runs the engine's test programs against each. Prints,
# for each fault, whether a test caught it (killed), none did (survived), or its
# text is no longer in the code (no longer applies: the code changed; update the
# fault to the new form). Not part of CI: a full run takes a while.
#
#   scripts/mutants.sh [-n] [-l LIST] [NAME ...]
#
# LIST: the faults (default scripts/mutants.list; its head says the format).
# A list with a "tests: NAME ..." line builds and runs only those test
# programs, in that order (scripts/mutants-documents.list: the documents').
# NAME: run only these faults. -n: build and run nothing; say for each fault
# whether its text is found once in its file (exit 1 when one is not). Variables: BUILD_DIR (default build-mutants, an
# engine-only build configured on first use), MUTANTS_JOBS (build jobs, 2),
# QTEST_FUNCTION_TIMEOUT (ms a test function may take, 120000: a fault that
# makes a test hang is killed then).
# Each file is put back as it was after its fault, also when interrupted.
# Exit status: 0 when every fault that applies was killed or is marked
# equivalent, 1 when one survived, 2 when the run itself could not go on.

set -eu
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'EOF'
import os, re, shutil, signal, subprocess, sys, time

# The engine-only build's test programs, quickest first: a fault is killed by
# the first that fails, and the rest are not run. Tests not named here run last.
FIRST = ["tst_tokenizer", "tst_fuzz_matcher", "tst_fuzz_decoder", "tst_fuzz_viewer",
         "tst_fuzz_number", "tst_matcher", "tst_lineindex", "tst_cp932", "tst_settings",
         "tst_fuzz_settings", "tst_search_run", "tst_tarnwell_find", "tst_parallel_run"]

args = sys.argv[1:]
list_path = "scripts/mutants.list"
dry_run = False
while args and args[0] in ("-n", "-l"):
    if args[0] == "-n":
        dry_run = True
        args = args[1:]
    elif len(args) >= 2:
        list_path = args[1]
        args = args[2:]
    else:
        break
if args and args[0].startswith("-"):
    print("usage: scripts/mutants.sh [-n] [-l LIST] [NAME ...]", file=sys.stderr)
    sys.exit(2)
only = set(args)
build = os.environ.get("BUILD_DIR", "build-mutants")
jobs = os.environ.get("MUTANTS_JOBS", "2")


class Mutant:
    def __init__(self, name, path, note):
        self.name, self.path, self.note = name, path, note
        self.old, self.new = [], []


LIST_TESTS = []


def parse(path):
    mutants = []
    for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
        if line.startswith("#") or not line.strip():
            continue
        if line.startswith("tests:"):
            LIST_TESTS.extend(line[len("tests:"):].split())
            continue
        if line.startswith("@ "):
            fields = line[2:].split(None, 2)
            if len(fields) < 2:
                sys.exit(f"{path}:{number}: '@ NAME FILE [equivalent: WHY]' expected")
            mutants.append(Mutant(fields[0], fields[1], fields[2] if len(fields) > 2 else ""))
        elif line[:1] in "-+" and mutants and line[1:2] in ("", " "):
            (mutants[-1].old if line[0] == "-" else mutants[-1].new).append(line[2:])
        else:
            sys.exit(f"{path}:{number}: not understood: {line}")
    for m in mutants:
        if not m.old:
            sys.exit(f"{path}: {m.name} has no '-' text")
    names = [m.name for m in mutants]
    if len(names) != len(set(names)):
        sys.exit(f"{path}: a name is used twice")
    return mutants


# A fault that makes a test hang ends it after this long per test function
# (Qt Test's own watchdog), and counts as killed.
test_env = dict(os.environ)
test_env.setdefault("QTEST_FUNCTION_TIMEOUT", "120000")


def run(command, log):
    with open(log, "ab") as out:
        return subprocess.call(command, stdin=subprocess.DEVNULL, stdout=out,
                               stderr=subprocess.STDOUT, env=test_env)


def build_all(log):
    targets = ["--target"] + LIST_TESTS if LIST_TESTS else []
    return run(["cmake", "--build", build, "-j", jobs] + targets, log) == 0


def test_names():
    listing = subprocess.run(["ctest", "--test-dir", build, "-N"], capture_output=True,
                             text=True).stdout
    names = re.findall(r"Test +#\d+: (\S+)", listing)
    if LIST_TESTS:
        missing = [t for t in LIST_TESTS if t not in names]
        if missing:
            sys.exit("not tests of " + build + ": " + " ".join(missing))
        return LIST_TESTS
    return [t for t in FIRST if t in names] + [t for t in names if t not in FIRST]


def first_failing_test(log):
    for test in TESTS:
        if run(["ctest", "--test-dir", build, "-R", f"^{test}$", "--output-on-failure",
                "--no-tests=error"], log) != 0:
            return test
    return None


mutants = parse(list_path)
if only:
    unknown = only - {m.name for m in mutants}
    if unknown:
        sys.exit("unknown fault: " + " ".join(sorted(unknown)))
    mutants = [m for m in mutants if m.name in only]


def occurrences(m):
    """How often the fault's text is in its file; None when the file is gone."""
    try:
        original = open(m.path, "rb").read()
    except OSError:
        return None, None
    return original, original.decode("utf-8").count("\n".join(m.old))


def why_not(found, original):
    return "file gone" if original is None else (
        "text not found" if found == 0 else f"text found {found} times")


if dry_run:
    width = max([len(m.name) for m in mutants] + [4])
    missing = 0
    for m in mutants:
        original, found = occurrences(m)
        verdict = "applies" if found == 1 else "no longer applies"
        missing += found != 1
        detail = "" if found == 1 else why_not(found, original)
        print(f"{verdict:<18} {m.name:<{width}} {m.path} {detail}".rstrip())
    sys.exit(1 if missing else 0)

if not os.path.exists(os.path.join(build, "build.ninja")):
    configure = ["cmake", "-S", ".", "-B", build, "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DTARNWELL_GUI=OFF"]
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    if subprocess.call(configure, stdout=subprocess.DEVNULL) != 0:
        sys.exit(2)
log_dir = os.path.join(build, "mutants")
os.makedirs(log_dir, exist_ok=True)

# Every test must pass without a fault, or every fault would look killed.
base_log = os.path.join(log_dir, "baseline.log")
open(base_log, "w").close()
if not build_all(base_log):
    sys.exit(f"the build without a fault fails: see {base_log}")
TESTS = test_names()
if not TESTS:
    sys.exit(f"no tests in {build}")
failing = first_failing_test(base_log)
if failing:
    sys.exit(f"{failing} fails without a fault: see {base_log}")

# The file under a fault, put back on every way out.
restore = {}


def put_back(*_):
    for path, text in restore.items():
        with open(path, "wb") as f:
            f.write(text)
    restore.clear()
    if _:
        sys.exit(2)


signal.signal(signal.SIGTERM, put_back)
signal.signal(signal.SIGINT, put_back)

counts = {"killed": 0, "survived": 0, "no longer applies": 0, "does not build": 0}
equivalent_survivors = 0
width = max([len(m.name) for m in mutants] + [4])
start = time.time()
try:
    for m in mutants:
        old, new = "\n".join(m.old), "\n".join(m.new)
        log = os.path.join(log_dir, m.name + ".log")
        open(log, "w").close()
        original, found = occurrences(m)
        detail = ""
        if found != 1:
            verdict = "no longer applies"
            detail = why_not(found, original)
        else:
            restore[m.path] = original
            with open(m.path, "wb") as f:
                f.write(original.decode("utf-8").replace(old, new).encode("utf-8"))
            if not build_all(log):
                verdict = "does not build"
            else:
                failing = first_failing_test(log)
                verdict = "killed" if failing else "survived"
                detail = f"by {failing}" if failing else ""
            put_back()
        if verdict == "survived" and m.note:
            equivalent_survivors += 1
            detail = m.note
        counts[verdict] += 1
        print(f"{verdict:<18} {m.name:<{width}} {m.path} {detail}".rstrip(), flush=True)
finally:
    put_back()

# Put the build back to the code as it is.
build_all(os.path.join(log_dir, "rebuild.log"))
judged = counts["killed"] + counts["survived"] - equivalent_survivors
share = f"{100 * counts['killed'] / judged:.0f} %" if judged else "-"
print(f"mutants: {len(mutants)}, killed {counts['killed']}, survived {counts['survived']} "
      f"({equivalent_survivors} equivalent), no longer applies {counts['no longer applies']}, "
      f"does not build {counts['does not build']}; killed {share} of the non-equivalent "
      f"that apply ({time.time() - start:.0f} s)")
sys.exit(1 if counts["survived"] > equivalent_survivors else 0)
EOF
