#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs it. Leak reports from third-party libraries are suppressed by name in
# scripts/lsan.supp, each with its reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build-asan" -DTEMBREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cd "$root/build-asan"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp
ctest --output-on-failure -j"$(nproc)" --timeout 900
