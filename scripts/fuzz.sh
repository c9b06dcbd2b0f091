#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a while.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Seeds come from scripts/make_fuzz_seeds.sh (our own encoder and synthetic files) plus
# the committed regression inputs; a target's fuzz/<target>.dict is used when present.
# Crashing inputs land in fuzz/findings/<target>/; the script fails if any target found one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
bash "$root/scripts/setup.sh" >/dev/null
build=$root/build-fuzz
# Every target declared in fuzz/CMakeLists.txt.
mapfile -t all_targets < <(sed -n 's/^tembrel_fuzz_target(\([a-z0-9_]*\).*/\1/p' "$root/fuzz/CMakeLists.txt")
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

cmake -S "$root" -B "$build" -G Ninja -DTEMBREL_FUZZ=ON -DTEMBREL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# Only the fuzz binaries and the encoder that makes the VQF seeds.
cmake --build "$build" --target "${targets[@]}" tembrel-cli -- -j"$(nproc)"
bash "$root/scripts/make_fuzz_seeds.sh" "$build/seeds" "$build" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp
failed=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$root/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  inputs=("$corpus" "$build/seeds/$t")
  [ -d "$root/fuzz/regressions/$t" ] && inputs+=("$root/fuzz/regressions/$t")
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=32768
           -artifact_prefix="$findings/" -print_final_stats=1)
  [ -f "$root/fuzz/$t.dict" ] && options+=(-dict="$root/fuzz/$t.dict")
  echo "== $t: ${seconds}s"
  status=0
  "$build/fuzz/$t" "${inputs[@]}" "${options[@]}" > "$build/$t.log" 2>&1 || status=$?
  grep -E '^(#[0-9]+.*(INITED|DONE)|stat::|==[0-9]+==ERROR|SUMMARY|Done [0-9]+ runs)' \
    "$build/$t.log" || true
  if [ "$status" -ne 0 ]; then
    echo "!! $t failed (exit $status): see $build/$t.log and $findings/"
    failed+=("$t")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz targets with findings: ${failed[*]}"; exit 1; }
