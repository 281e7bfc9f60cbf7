#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Installs, with apt-get, whatever Tarnwell needs to build, run and test that this
# Debian machine lacks. Needs root or sudo; does nothing when all is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fontconfig qt6-translations-l10n
  fonts-noto-cjk fonts-noto-color-emoji
  clang-format python3
  xvfb xauth x11-utils imagemagick xdotool openbox
  dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
  dpkg-dev desktop-file-utils appstream file
  libzip-dev libpoppler-cpp-dev poppler-data libseccomp-dev libarchive-dev
  libdeflate-dev
)
# Fuzzing (fuzz/run.sh) needs clang and its libFuzzer runtime; nothing else does.
if [ "${TARNWELL_SETUP_FUZZ:-}" != "" ]; then
  packages+=(clang libclang-rt-dev)
fi
# The benchmarks (bench/) need ripgrep, and the slow file system libfuse3.
if [ "${TARNWELL_SETUP_BENCH:-}" != "" ]; then
  packages+=(ripgrep libfuse3-dev fuse3)
  # The document corpus (bench/make-corpus-documents.sh) and its peers.
  packages+=(libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
    ugrep p7zip-full poppler-utils docx2txt xlsx2csv antiword catdoc odt2txt unzip qt6-pdf-dev)
  # The archive corpus (make-corpus-archives.sh) and the mail floor (mail-floor.sh).
  packages+=(zip patch)
fi
# Remaking the document fixtures (tests/documents/*/fixtures/make-fixtures.sh)
# needs LibreOffice and a second producer; the fixtures are committed, so nothing
# else does.
if [ "${TARNWELL_SETUP_DOCFIXTURES:-}" != "" ]; then
  packages+=(libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
    python3-docx python3-openpyxl python3-odf)
fi
# A mail client run in batch mode for the mail fixtures (test data only).
if [ "${TARNWELL_SETUP_MAILFIXTURES:-}" != "" ]; then
  packages+=(mutt)
fi
# Remaking the archive fixtures (tests/documents/archive/fixtures/make-fixtures.sh)
# needs their producers; the fixtures are committed, so nothing else does.
if [ "${TARNWELL_SETUP_ARCHFIXTURES:-}" != "" ]; then
  packages+=(zip p7zip-full zstd xz-utils bzip2 jlha-utils genisoimage xorriso)
fi
if [ "${TARNWELL_SETUP_EXTRA:-}" != "" ]; then
  read -r -a extra <<<"$TARNWELL_SETUP_EXTRA"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
