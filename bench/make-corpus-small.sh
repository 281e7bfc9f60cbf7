#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the "small" corpus: 50,000 small generated text files in 1,000 nested
# folders (three levels), CR-LF line ends, about a fifth of the files holding a
# few lines of Japanese in code page 932. A fixed seed makes every build the
# same byte for byte.
# Planted words, used by compare.py:
#   "quillwort"  in about 2 % of the files (the moderately rare word),
#   "amber" and "lantern" each in about 10 % of the files, on one line together
#   in about 1 %.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if corpus_done "$CORPUS_SMALL"; then
  echo "small corpus already built: $CORPUS_SMALL"
  exit 0
fi
corpus_start "$CORPUS_SMALL"
python3 - "$CORPUS_SMALL.partial" <<'PY'
import os, random, sys

out = sys.argv[1]
rng = random.Random(20260412)
syllables = ['ka', 'ri', 'to', 'mu', 'sen', 'dal', 'or', 'pe', 'lin', 've', 'cra', 'ust',
             'ne', 'bo', 'gi', 'thal', 'em', 'pro', 'sta', 'wi']
vocab = sorted({''.join(rng.choice(syllables) for _ in range(rng.randint(1, 4)))
                for _ in range(3000)} - {'amber', 'lantern', 'quillwort'})
weights = [1.0 / (i + 1) for i in range(len(vocab))]
japanese = [s.encode('cp932') for s in (
    'この設定はすべての利用者に適用されます。', '検索結果を一覧に表示します。',
    'ファイルを開けませんでした。', '日本語の文章を含む行です。',
    '半角ｶﾀｶﾅと全角カタカナが混ざった行。', '表示の速さを測るための文書です。')]

def line():
    return ' '.join(rng.choices(vocab, weights, k=rng.randint(3, 15))).encode()

files = 50000
for i in range(files):
    folder = os.path.join(out, f'd{i % 20:02}', f'e{i // 20 % 10}', f'f{i // 200 % 5}')
    os.makedirs(folder, exist_ok=True)
    lines = [line() for _ in range(rng.randint(3, 40))]
    if rng.random() < 0.2:
        for _ in range(rng.randint(1, 4)):
            lines.insert(rng.randrange(len(lines) + 1), rng.choice(japanese))
    r = rng.random()
    if r < 0.02:
        k = rng.randrange(len(lines))
        lines[k] += b' quillwort'
    if rng.random() < 0.1:
        lines[rng.randrange(len(lines))] += b' amber'
    if rng.random() < 0.1:
        lines[rng.randrange(len(lines))] += b' lantern'
    if rng.random() < 0.01:
        lines[rng.randrange(len(lines))] += b' lantern amber'
    with open(os.path.join(folder, f'n{i:05}.txt'), 'wb') as f:
        f.write(b'\r\n'.join(lines) + b'\r\n')
print(f'wrote {files} files')
PY
corpus_finish "$CORPUS_SMALL"
printf 'small corpus: %s files, %s\n' "$(find "$CORPUS_SMALL" -type f | wc -l)" \
  "$(du -sh --apparent-size "$CORPUS_SMALL" | cut -f1)"
