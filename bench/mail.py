#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
"""Saved Japanese mail against the same text as plain files.

Builds (once) 10,000 messages from the ja-utf8 corpus's files, cut into
pieces of up to 60 lines, written by Python's email package the way Japanese
mailers send them: ISO-2022-JP 7bit (where the text fits JIS X 0208),
UTF-8 base64, UTF-8 quoted-printable and Shift_JIS 8bit in turn, each with
an encoded Japanese subject; and beside them the same bodies as UTF-8 text
files. Then times `tarnwell-find -r --documents -E auto` on the messages
against `tarnwell-find -r -E utf-8` (documents off) on the text, interleaved,
best of N runs, and checks that both find the same set of pieces.

  python3 bench/mail.py --find build/tools/tarnwell-find [--runs 5]

Corpus: $TARNWELL_BENCH_DIR/corpus/mail-ja (default under
/var/tmp/tarnwell-bench-mail); it reads $TARNWELL_SOURCE_CORPUS (default
/var/tmp/tarnwell-bench/corpus/ja-utf8), which make-corpus-ja-utf8.sh builds.
"""

import argparse
import os
import shutil
import subprocess
import time
from email.header import Header
from email.mime.text import MIMEText

BENCH = os.environ.get("TARNWELL_BENCH_DIR", "/var/tmp/tarnwell-bench-mail")
SOURCE = os.environ.get("TARNWELL_SOURCE_CORPUS", "/var/tmp/tarnwell-bench/corpus/ja-utf8")
CORPUS = os.path.join(BENCH, "corpus", "mail-ja")
COUNT = 10_000
KEYWORDS = ["設定 ファイル", "パッケージ", "インストール 方法", "漢字"]


def pieces():
    files = []
    for root, _, names in os.walk(SOURCE):
        for name in sorted(names):
            files.append(os.path.join(root, name))
    files.sort()
    while True:
        for path in files:
            with open(path, "rb") as f:
                text = f.read().decode("utf-8", "replace").replace("\r\n", "\n").replace("\r", "\n")
            lines = [l for l in text.split("\n")]
            for at in range(0, len(lines), 60):
                piece = "\n".join(lines[at:at + 60]).strip("\n")
                if piece:
                    yield os.path.basename(path), piece + "\n"


def message(i, name, body):
    kind = i % 4
    subject = "資料 %d: %s" % (i, name)
    if kind == 0:
        try:
            body.encode("iso-2022-jp")
            m = MIMEText(body, "plain", "iso-2022-jp")
            m["Subject"] = Header(subject, "iso-2022-jp")
        except UnicodeError:
            kind = 1
    if kind in (1, 2):
        m = MIMEText(body, "plain", "utf-8")
        if kind == 2:
            del m["Content-Transfer-Encoding"]
            m.set_payload(__import__("quopri").encodestring(body.encode("utf-8")).decode("ascii"))
            m["Content-Transfer-Encoding"] = "quoted-printable"
        m["Subject"] = Header(subject, "utf-8")
    if kind == 3:
        try:
            raw = body.encode("cp932")
        except UnicodeError:
            raw = None
        if raw is None:
            m = MIMEText(body, "plain", "utf-8")
        else:
            m = MIMEText("", "plain")
            m.set_payload(raw)
            del m["Content-Type"], m["Content-Transfer-Encoding"]
            m["Content-Type"] = "text/plain; charset=Shift_JIS"
            m["Content-Transfer-Encoding"] = "8bit"
        m["Subject"] = Header(subject, "utf-8")
    m["From"] = "sender%d@example.jp" % i
    m["To"] = "team@example.jp"
    m["Date"] = "Wed, 01 Apr 2026 09:30:00 +0900"
    return m.as_bytes()


def build():
    if os.path.exists(CORPUS + ".done"):
        return
    shutil.rmtree(CORPUS, ignore_errors=True)
    for sub in ("mail", "text"):
        os.makedirs(os.path.join(CORPUS, sub))
    source = pieces()
    for i in range(COUNT):
        name, body = next(source)
        folder = "%03d" % (i // 100)
        for sub in ("mail", "text"):
            os.makedirs(os.path.join(CORPUS, sub, folder), exist_ok=True)
        with open(os.path.join(CORPUS, "mail", folder, "%05d.eml" % i), "wb") as f:
            f.write(message(i, name, body))
        with open(os.path.join(CORPUS, "text", folder, "%05d.txt" % i), "wb") as f:
            f.write(body.encode("utf-8"))
    open(CORPUS + ".done", "w").close()


def timed(cmd):
    start = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    return time.perf_counter() - start, out.stdout.decode().split("\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--find", required=True)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    build()
    print("| keyword | mail, documents on (s) | text, documents off (s) | ratio | found |")
    print("|---|---|---|---|---|")
    for keyword in KEYWORDS:
        mail_cmd = [args.find, "-r", "--documents", "-E", "auto", keyword, os.path.join(CORPUS, "mail")]
        text_cmd = [args.find, "-r", "-E", "utf-8", keyword, os.path.join(CORPUS, "text")]
        best = [float("inf"), float("inf")]
        found = [None, None]
        for _ in range(args.runs):
            for k, cmd in enumerate((mail_cmd, text_cmd)):
                seconds, lines = timed(cmd)
                best[k] = min(best[k], seconds)
                found[k] = {os.path.basename(l).split(".")[0] for l in lines if l}
        same = "same %d" % len(found[0]) if found[0] == found[1] else \
            "DIFFER: %d mail, %d text" % (len(found[0]), len(found[1]))
        print("| %s | %.3f | %.3f | %.2f× | %s |" % (keyword, best[0], best[1], best[0] / best[1], same))


if __name__ == "__main__":
    main()
