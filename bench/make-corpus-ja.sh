#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the Japanese corpus: real prose from Debian's Japanese documentation
# packages, converted to code page 932 with CR-LF line ends, as Tarnwell's
# users keep their files.
#   1. apt-get download of the packages below (pinned versions when the
#      archive still has them, so the corpus stays the same run after run),
#   2. dpkg-deb -x, keeping regular files only (links are dropped),
#   3. HTML, text and man pages (gzip ones unpacked) converted with
#      iconv -f UTF-8 -t CP932 -c, then LF -> CR-LF.
# Images, fonts, PDF and the like are left out.
set -euo pipefail
source "$(dirname "$0")/common.sh"

PACKAGES=(
  manpages-ja=0.5.0.0.20221215+dfsg-1
  manpages-ja-dev=0.5.0.0.20221215+dfsg-1
  debian-reference-ja=2.100
  debian-faq-ja=11.1
  gimp-help-ja=2.10.34-2
)

if corpus_done "$CORPUS_JA"; then
  echo "Japanese corpus already built: $CORPUS_JA"
  exit 0
fi

debs=$BENCH_DIR/debs
mkdir -p "$debs"
for pv in "${PACKAGES[@]}"; do
  name=${pv%%=*}
  if ! compgen -G "$debs/${name}_*.deb" >/dev/null; then
    (cd "$debs" && { apt-get download "$pv" 2>/dev/null || {
      echo "note: $pv is no longer in the archive; taking the current $name" >&2
      apt-get download "$name"
    }; })
  fi
done

corpus_start "$CORPUS_JA"
unpacked=$BENCH_DIR/ja-unpacked
rm -rf "$unpacked"
mkdir -p "$unpacked"
for deb in $(ls "$debs"/*.deb | LC_ALL=C sort); do
  dpkg-deb -x "$deb" "$unpacked"
done

python3 - "$unpacked" "$CORPUS_JA.partial" <<'PY'
import gzip, os, subprocess, sys

src, dst = sys.argv[1], sys.argv[2]
keep = ('.html', '.txt')
files = 0
total = 0
for root, dirs, names in os.walk(src):
    dirs.sort()
    for name in sorted(names):
        path = os.path.join(root, name)
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        rel = os.path.relpath(path, src)
        is_man = '/man/' in '/' + rel
        if name.endswith('.gz'):
            out_rel = rel[:-3]
            if not (is_man or out_rel.endswith(keep)):
                continue
            data = gzip.open(path).read()
        elif name.endswith(keep) or is_man:
            out_rel = rel
            data = open(path, 'rb').read()
        else:
            continue
        data = subprocess.run(['iconv', '-f', 'UTF-8', '-t', 'CP932', '-c'], input=data,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        out = os.path.join(dst, out_rel)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, 'wb') as f:
            f.write(data)
        files += 1
        total += len(data)
print(f'converted {files} files, {total / 1e6:.1f} MB')
PY
rm -rf "$unpacked"
corpus_finish "$CORPUS_JA"
echo "Japanese corpus: $CORPUS_JA"
