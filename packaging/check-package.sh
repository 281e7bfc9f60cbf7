#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the Debian package from BUILD_DIR (an already configured build tree),
# validates its desktop entry and AppStream metainfo, installs it with dpkg -i
# into a throw-away root with its own dpkg database, and starts the installed
# programs from there. The system's own packages are never touched.
#
#   bash packaging/check-package.sh BUILD_DIR
#
# Needs dpkg-dev (dpkg-shlibdeps), desktop-file-utils and appstream; must run
# as root (dpkg insists, even for a private root).
set -euo pipefail

fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

[ $# -eq 1 ] || { echo "usage: bash packaging/check-package.sh BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd) || fail "no build directory $1"
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build tree (no CPackConfig.cmake)"
for tool in cpack dpkg dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || fail "$tool is missing (bash scripts/setup.sh installs it)"
done
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin" # dpkg looks for ldconfig there

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwell-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "check-package: building"
cmake --build "$build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "build"; }
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "check-package: built $(basename "$deb")"

# Control fields: dependencies computed from the binaries, plus the font and
# the toolkit's Japanese translation.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tarnwell ] || fail "Package is '$(field Package)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for dep in libc6 libqt6core6 libqt6widgets6 fonts-ipafont-gothic qt6-translations-l10n \
  poppler-data libpoppler-cpp0v5 libseccomp2 libarchive13 libdeflate0; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
echo "check-package: Depends: $depends"
recommends=$(field Recommends)
for rec in fonts-noto-cjk fonts-noto-color-emoji; do
  grep -Eq "(^|, )$rec( |,|$)" <<<"$recommends" || fail "Recommends lacks $rec: $recommends"
done

# A private root with an empty dpkg database.
root="$work/root"
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers" "$root/usr/bin"
touch "$admin/status" "$admin/available"
force=--force-depends
[ "$(id -u)" -eq 0 ] || force="$force,not-root"
dpkg_root() { dpkg --root="$root" --admindir="$admin" --log=/dev/null "$force" "$@"; }
dpkg_root -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
dpkg_root -s tarnwell | grep -q '^Status: install ok installed' || fail "dpkg does not list tarnwell as installed"
dpkg_root -L tarnwell >"$work/files"

app_id=$(sed -n 's/^ *<id>\(.*\)<\/id>.*/\1/p' "$root"/usr/share/metainfo/*.metainfo.xml 2>/dev/null | head -n1)
[ -n "$app_id" ] || fail "no metainfo file under /usr/share/metainfo"
for f in /usr/bin/tarnwell /usr/bin/tarnwell-find /usr/libexec/tarnwell/tarnwell-docreader \
  /usr/libexec/tarnwell/tarnwell-pdfreader \
  "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml" \
  /usr/share/icons/hicolor/32x32/apps/tarnwell.png /usr/share/icons/hicolor/scalable/apps/tarnwell.svg \
  /usr/share/man/man1/tarnwell-find.1.gz /usr/share/man/man1/tarnwell.1.gz \
  /usr/share/doc/tarnwell/copyright; do
  grep -qxF "$f" "$work/files" || fail "the package lacks $f"
  [ -s "$root$f" ] || fail "$f is empty or missing after dpkg -i"
done
file "$root/usr/share/icons/hicolor/32x32/apps/tarnwell.png" | grep -q 'PNG image data, 32 x 32' ||
  fail "the 32x32 icon is not a 32 x 32 PNG"

python3 "$(dirname "$0")/check-copyright.py" "$root/usr/share/doc/tarnwell/copyright" MIT ||
  fail "/usr/share/doc/tarnwell/copyright is not a well-formed DEP-5 file naming MIT for the program"
grep -q '<project_license>MIT</project_license>' "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo names no MIT project licence"

desktop="$root/usr/share/applications/$app_id.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app_id.desktop"
grep -qx 'Categories=Utility;' "$desktop" || fail "the desktop entry lacks Categories=Utility;"
grep -q '^Name\[ja\]=' "$desktop" && grep -q '^Comment\[ja\]=' "$desktop" ||
  fail "the desktop entry lacks a Japanese name or comment"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/32x32/apps/$icon.png" ] || fail "the entry's icon '$icon' is not installed"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli rejects $app_id.metainfo.xml"; }

if command -v man >/dev/null; then
  for page in tarnwell-find.1.gz tarnwell.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page $page has warnings: $warnings"
  done
fi

# Start the installed programs from the private root.
help=$("$root/usr/bin/tarnwell-find" --help 2>&1) || fail "tarnwell-find --help exits $?: $help"
grep -q 'tarnwell-find' <<<"$help" || fail "tarnwell-find --help prints no usage: $help"
mkdir -p "$work/tree/sub"
printf 'alpha beta\r\n' >"$work/tree/sub/hit.txt"
printf 'alpha\r\nbeta\r\n' >"$work/tree/miss.txt"
found=$("$root/usr/bin/tarnwell-find" -r 'alpha beta' "$work/tree") || fail "tarnwell-find -r exits $?"
[ "$found" = "$work/tree/sub/hit.txt" ] || fail "tarnwell-find found '$found'"
# Documents: the installed tarnwell-find starts the installed reader helper.
cp "$(dirname "$0")/../tests/documents/pdf/fixtures/text.pdf" "$work/tree/sub/doc.pdf"
found=$("$root/usr/bin/tarnwell-find" -r --documents '見積書 納品書' "$work/tree") ||
  fail "tarnwell-find --documents exits $?"
[ "$found" = "$work/tree/sub/doc.pdf" ] || fail "tarnwell-find --documents found '$found'"
# ... and the helper for the other kinds, which must not load poppler.
rm "$work/tree/sub/doc.pdf"
cp "$(dirname "$0")/../tests/documents/legacy/fixtures/sample.doc" "$work/tree/sub/old.doc"
found=$("$root/usr/bin/tarnwell-find" -r --documents 'plantedone' "$work/tree") ||
  fail "tarnwell-find --documents exits $? on a .doc"
[ "$found" = "$work/tree/sub/old.doc" ] || fail "tarnwell-find --documents found '$found' for a .doc"
libs=$(ldd "$root/usr/libexec/tarnwell/tarnwell-docreader") || fail "ldd tarnwell-docreader"
if grep -q poppler <<<"$libs"; then fail "tarnwell-docreader links poppler"; fi
grep -q poppler <<<"$(ldd "$root/usr/libexec/tarnwell/tarnwell-pdfreader")" ||
  fail "tarnwell-pdfreader does not link poppler"
# The desktop program must come up on a display and keep running until stopped.
# Its settings go to a private folder, so the user's own are never read or written.
status=0
HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/tarnwell" >"$work/gui.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$work/gui.log" >&2; fail "the installed tarnwell ended with status $status at start-up"; }

dpkg_root -r tarnwell >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -r"; }
left=$(find "$root" -path "$admin" -prune -o -type f -print | head -n5)
[ -z "$left" ] || fail "dpkg -r left files behind: $left"

echo "check-package: OK ($(basename "$deb"): built, validated, installed with dpkg -i, started, removed)"
