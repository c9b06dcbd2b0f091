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
  qt6-base-dev libgl-dev
  libmpg123-dev libfftw3-dev libcli11-dev libunistring-dev
  # tools the tests and benchmarks use to make and check fixtures
  lame sox python3 python3-mutagen xvfb xauth
  # real taggers whose output the tag readers are tested on
  ffmpeg kid3-cli
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
