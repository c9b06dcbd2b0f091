#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a while.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Seeds come from scripts/make_fuzz_seeds.sh (our own encoder and synthetic files) plus
# the committed regression inputs; new findings land in fuzz/findings/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
bash "$root/scripts/setup.sh" >/dev/null
build=$root/build-fuzz
CC=clang CXX=clang++ bash "$root/scripts/build.sh" "$build" -DTEMBREL_FUZZ=ON -DTEMBREL_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
if [ -x "$root/scripts/make_fuzz_seeds.sh" ]; then
  bash "$root/scripts/make_fuzz_seeds.sh" "$root/build-fuzz/seeds" "$root/build"
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -name '*_fuzz' -printf '%f\n' | sort)
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  corpus=$root/build-fuzz/corpus/$t
  findings=$root/fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "$root/build-fuzz/seeds/$t" ] && seeds+=("$root/build-fuzz/seeds/$t")
  [ -d "$root/fuzz/regressions/$t" ] && seeds+=("$root/fuzz/regressions/$t")
  echo "== $t: ${seconds}s"
  "$build/fuzz/$t" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=262144 -artifact_prefix="$findings/" -print_final_stats=1 2>&1 |
    grep -E '^(#[0-9]+.*(DONE|pulse)|stat::|==[0-9]+==ERROR|SUMMARY)' || true
done
