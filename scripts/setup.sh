#!/usr/bin/env bash
# Installs every Debian package Tembrel needs to build, test, benchmark and fuzz.
# Idempotent: packages already present are skipped, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # libraries
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  # Japanese glyphs for the windows and Qt's own texts in Japanese; a comma locale for
  # the windows' number formats
  fonts-noto-cjk qt6-translations-l10n locales
  libmpg123-dev libfftw3-dev libcli11-dev libunistring-dev
  # FLAC and Ogg sources, and resampling rates VQF has no bit rate for
  libsndfile1-dev libsoxr-dev
  # tools the tests and benchmarks use to make and check fixtures
  lame sox opus-tools flac vorbis-tools python3 python3-mutagen xvfb xauth
  # real taggers whose output the tag readers are tested on
  ffmpeg kid3-cli
  # installing: icons rendered at build time, and the checks of the installed files
  # (xdg-mime asks mimetype from libfile-mimeinfo-perl when no desktop session runs)
  librsvg2-bin desktop-file-utils appstream shared-mime-info xdg-utils libfile-mimeinfo-perl
  groff-base
  # the Debian package (dpkg-buildpackage, lintian)
  debhelper lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The window tests check that percentages keep their point under a comma locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  $SUDO sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
