#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Installs the build tree into a throw-away prefix and checks that everything
# lands in its FHS place, that no program carries a run path, and that the
# installed tarnwell-find answers exactly as the build tree's copy does.
#   install-tree.sh BUILD_DIR BUILT_TARNWELL_FIND
set -euo pipefail
build=$1
built_find=$2
fail() {
  echo "install-tree: FAILED: $*" >&2
  exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwell-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install"; }

for f in bin/tarnwell bin/tarnwell-find libexec/tarnwell/tarnwell-docreader \
  libexec/tarnwell/tarnwell-pdfreader share/man/man1/tarnwell-find.1.gz share/man/man1/tarnwell.1.gz \
  share/icons/hicolor/16x16/apps/tarnwell.png share/icons/hicolor/32x32/apps/tarnwell.png \
  share/icons/hicolor/64x64/apps/tarnwell.png share/icons/hicolor/scalable/apps/tarnwell.svg \
  share/doc/tarnwell/copyright; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/bin/tarnwell-find" ] || fail "bin/tarnwell-find is not executable"
others=$(cd "$prefix" && ls | grep -vx -e bin -e libexec -e share || true)
[ -z "$others" ] || fail "installed outside bin/, libexec/ and share/: $others"
desktop=("$prefix"/share/applications/*.desktop)
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
[ -f "${desktop[0]}" ] && [ -f "${metainfo[0]}" ] || fail "no desktop entry or metainfo installed"
[ "$(basename "${desktop[0]}" .desktop)" = "$(basename "${metainfo[0]}" .metainfo.xml)" ] ||
  fail "the desktop entry and the metainfo do not share one identifier"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "${desktop[0]}" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "${metainfo[0]}" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
fi

# A small tree: a code-page-932 file, a sub-folder, CR-only and LF-only lines.
tree="$work/tree"
mkdir -p "$tree/sub"
printf '\x8c\xa9\x90\xcf 2024\r\n' >"$tree/cp932.txt" # 見積 2024
printf 'one\rtwo 2024 \x8c\xa9\x90\xcf\r' >"$tree/sub/cr.txt"
printf '\x8c\xa9\x90\xcf\n2024\n' >"$tree/lf.txt"
printf 'nothing here\r\n' >"$tree/sub/none.txt"
keyword=$(printf '\xe8\xa6\x8b\xe7\xa9\x8d 2024') # 見積 2024 in UTF-8

# Both copies run from a folder holding broken libraries of the names they
# load: the loader must never look for a library in the current folder.
planted="$work/planted"
mkdir -p "$planted"
for lib in libQt6Core.so.6 libstdc++.so.6 libgcc_s.so.1; do
  echo "not a library" >"$planted/$lib"
done
for program in "$built_find" "$prefix/bin/tarnwell-find" "$prefix/bin/tarnwell" \
  "$prefix/libexec/tarnwell/tarnwell-docreader" "$prefix/libexec/tarnwell/tarnwell-pdfreader"; do
  if readelf -d "$program" | grep -Eq '\((RUNPATH|RPATH)\)'; then
    fail "$program has a run path: $(readelf -d "$program" | grep -E 'RUNPATH|RPATH')"
  fi
done

# Only the PDF reader links poppler: the helper for the other kinds starts without it.
libs=$(ldd "$prefix/libexec/tarnwell/tarnwell-docreader") || fail "ldd tarnwell-docreader"
if grep -q poppler <<<"$libs"; then fail "tarnwell-docreader links poppler"; fi
grep -q poppler <<<"$(ldd "$prefix/libexec/tarnwell/tarnwell-pdfreader")" ||
  fail "tarnwell-pdfreader does not link poppler"

compare() {
  local a b sa=0 sb=0
  a=$(cd "$planted" && "$built_find" "$@" 2>&1) || sa=$?
  b=$(cd "$planted" && "$prefix/bin/tarnwell-find" "$@" 2>&1) || sb=$?
  [ "$a" = "$b" ] && [ "$sa" = "$sb" ] ||
    fail "tarnwell-find $* differs: build tree ($sa) '$a', installed ($sb) '$b'"
  echo "$sa"
}
[ "$(compare -r "$keyword" "$tree")" = 0 ] || fail "nothing found below $tree"
[ "$(compare "$keyword" "$tree")" = 0 ] || fail "nothing found in $tree"
[ "$(compare nomatch "$tree")" = 1 ] || fail "a keyword that is nowhere was found"
[ "$(compare --help)" = 0 ] || fail "--help"
[ "$(compare)" = 2 ] || fail "no arguments is not a usage error"
echo "install-tree: OK"
