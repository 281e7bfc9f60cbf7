#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Fails when a room includes a header of a room it may not depend on.

The rooms and what each may include are the table in docs/architecture.md
(between its "rooms: begin" and "rooms: end" lines); nothing here repeats it.
Checked, for every C and C++ file of every top-level folder:
  - a quoted include names a room from the repository root ("text/Cp932.h"),
    and that room is its own or one it may include (a generated "x.moc" of
    the same folder is the one bare name allowed);
  - where the table says "no" under OS headers, an angle include is the C++
    standard library (<vector>), Qt (<QString>, <QtCore/...>) or a compiler
    intrinsics header (<immintrin.h>), never an operating-system header;
  - a folder holding such files is a room of the table (build folders, those
    with a CMakeCache.txt, are skipped);
  - the table itself has no cycle.

  scripts/check-rooms.py [ROOT]    check the tree at ROOT (default: this one)
  scripts/check-rooms.py --self-test
                                   check that a copy of this tree passes, and
                                   that each of a few forbidden includes put
                                   into a copy makes the check fail
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Angle includes that say nothing of the operating system.
PORTABLE = re.compile(r"^(?:[a-z_]+"  # the C++ standard library: <vector>, <cerrno>
                      r"|Q\w+|Qt\w+/\w+"  # Qt: <QString>, <QtCore/qglobal.h>
                      r"|Qt\w+/q\w+\.h"
                      r"|\w*intrin\.h|arm_neon\.h|cpuid\.h)$")  # the compiler's
TABLE_BEGIN = "<!-- rooms: begin"
TABLE_END = "<!-- rooms: end"


def fail(message):
    sys.exit(f"check-rooms: {message}")


def read_table(root):
    """{room: (may include: set of rooms, or None for any; OS headers allowed)}"""
    path = os.path.join(root, "docs", "architecture.md")
    try:
        lines = open(path, encoding="utf-8").read().split("\n")
    except OSError as e:
        fail(f"cannot read the table of rooms: {e}")
    try:
        begin = next(i for i, l in enumerate(lines) if l.startswith(TABLE_BEGIN))
        end = next(i for i, l in enumerate(lines) if l.startswith(TABLE_END))
    except StopIteration:
        fail(f"{path}: no '{TABLE_BEGIN}' ... '{TABLE_END}' lines")
    rooms = {}
    for number, line in enumerate(lines[begin + 1:end], begin + 2):
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 4 or cells[0] in ("room", "") or set(cells[0]) <= set("-"):
            continue
        name = re.fullmatch(r"`(\w+)/`", cells[0])
        if not name:
            fail(f"{path}:{number}: a room is written as `name/`, not {cells[0]}")
        may = None if cells[2] == "any room" else set(re.findall(r"`(\w+)/`", cells[2]))
        if may is not None and not may and cells[2] not in ("–", "-"):
            fail(f"{path}:{number}: 'may include' is `room/`, ..., 'any room' or '–'")
        if cells[3] not in ("yes", "no"):
            fail(f"{path}:{number}: 'OS headers' is yes or no, not {cells[3]}")
        rooms[name.group(1)] = (may, cells[3] == "yes")
    if not rooms:
        fail(f"{path}: the table of rooms is empty")
    for room, (may, _) in rooms.items():
        unknown = (may or set()) - rooms.keys()
        if unknown:
            fail(f"{path}: {room}/ may include {', '.join(sorted(unknown))}, not rooms")
    check_acyclic(rooms, path)
    return rooms


def check_acyclic(rooms, path):
    state = {}

    def visit(room, trail):
        if state.get(room) == "done":
            return
        if state.get(room) == "open":
            fail(f"{path}: the rooms include each other: {' -> '.join(trail + [room])}")
        state[room] = "open"
        for below in sorted(rooms[room][0] or ()):
            if below != room:
                visit(below, trail + [room])
        state[room] = "done"

    for room in sorted(rooms):
        visit(room, [])


def source_files(root, folder):
    for parent, dirs, files in os.walk(os.path.join(root, folder)):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(parent, name)


def check(root):
    rooms = read_table(root)
    problems = []
    for folder in sorted(os.listdir(root)):
        top = os.path.join(root, folder)
        if folder.startswith(".") or not os.path.isdir(top):
            continue
        if os.path.exists(os.path.join(top, "CMakeCache.txt")):
            continue  # a build folder
        files = list(source_files(root, folder))
        if folder not in rooms:
            if files:
                problems.append(f"{os.path.relpath(files[0], root)}: {folder}/ is no room "
                                "of docs/architecture.md")
            continue
        may, os_headers = rooms[folder]
        for path in files:
            rel = os.path.relpath(path, root)
            try:
                text = open(path, encoding="utf-8", errors="replace").read()
            except OSError as e:
                problems.append(f"{rel}: {e}")
                continue
            for number, line in enumerate(text.split("\n"), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                kind, name = m.groups()
                where = f"{rel}:{number}: #include {kind}{name}{'>' if kind == '<' else kind}"
                if kind == "<":
                    if not os_headers and not PORTABLE.match(name):
                        problems.append(f"{where}: {folder}/ includes no operating-system "
                                        "header (put the call behind platform/)")
                    continue
                target = name.split("/", 1)[0] if "/" in name else None
                if target is None:
                    if not name.endswith(".moc"):
                        problems.append(f"{where}: name the room from the repository root")
                elif target not in rooms:
                    problems.append(f"{where}: {target}/ is no room")
                elif target != folder and may is not None and target not in may:
                    problems.append(f"{where}: {folder}/ may not include {target}/")
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-rooms: {len(problems)} include(s) break the rooms of "
              "docs/architecture.md", file=sys.stderr)
    return not problems


def self_test(root):
    """A copy of the tree passes; each fault put into it, one at a time, fails
    the check, which names the file and the rule."""
    faults = [
        # (file, line added at its top, what the report names)
        ("text/Cp932.h", '#include "search/SearchRun.h"', "text/ may not include search/"),
        ("search/Walk.cpp", "#include <unistd.h>", "search/ includes no operating-system"),
        ("text/Unicode.cpp", "#include <sys/types.h>", "text/ includes no operating-system"),
        ("platform/PathOpen.h", '#include "viewer/LineIndex.h"', "platform/ may not include"),
        ("viewer/LineIndex.cpp", '#include "Cp932.h"', "name the room from the repository"),
        ("scratch/Loose.cpp", '#include "text/Cp932.h"', "scratch/ is no room"),
    ]
    script = os.path.abspath(__file__)
    failures = 0
    with tempfile.TemporaryDirectory(prefix="check-rooms-") as work:
        clean = os.path.join(work, "clean")
        shutil.copytree(root, clean, ignore=copy_filter(root))

        def run(tree):
            return subprocess.run([sys.executable, script, tree], capture_output=True,
                                  text=True)

        result = run(clean)
        if result.returncode != 0:
            print(f"self-test: the unchanged copy fails:\n{result.stderr}", file=sys.stderr)
            failures += 1
        for rel, line, expected in faults:
            path = os.path.join(clean, rel)
            existed = os.path.exists(path)
            old = open(path, encoding="utf-8").read() if existed else ""
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(line + "\n" + old)
            result = run(clean)
            if existed:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(old)
            else:
                os.remove(path)
                if not os.listdir(os.path.dirname(path)):
                    os.rmdir(os.path.dirname(path))
            if result.returncode == 0 or f"{rel}:" not in result.stderr \
                    or expected not in result.stderr:
                print(f"self-test: '{line}' in {rel} was not reported as '{expected}'\n"
                      f"{result.stderr}", file=sys.stderr)
                failures += 1
    print(f"self-test: {len(faults) + 1 - failures} of {len(faults) + 1} cases as expected")
    return failures == 0


def copy_filter(root):
    """Copies the table and the source files, not build folders or anything else."""
    def ignore(folder, names):
        skipped = []
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isdir(path):
                if name.startswith(".") or os.path.exists(os.path.join(path, "CMakeCache.txt")):
                    skipped.append(name)
            elif not (name.endswith(SOURCE_SUFFIXES) or name == "architecture.md"):
                skipped.append(name)
        return skipped
    return ignore


def main():
    args = sys.argv[1:]
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if args == ["--self-test"]:
        sys.exit(0 if self_test(here) else 1)
    if len(args) > 1 or (args and args[0].startswith("-")):
        print(__doc__.strip(), file=sys.stderr)
        sys.exit(2)
    sys.exit(0 if check(args[0] if args else here) else 1)


if __name__ == "__main__":
    main()
