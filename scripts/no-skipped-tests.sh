#!/usr/bin/env bash
# Fails when the last ctest run in BUILD_DIR skipped any test. CI holds every test to
# run: setup.sh installs every tool a test needs, and every fault a test sets up (a
# folder that refuses writes, a full file system) must be possible on the CI machine.
# Usage: scripts/no-skipped-tests.sh BUILD_DIR
set -euo pipefail
log="$1/Testing/Temporary/LastTest.log"
if [ ! -f "$log" ]; then
  echo "no-skipped-tests: $log is missing; run ctest first" >&2
  exit 1
fi
# The markers GoogleTest and QTest write for a skipped test, whatever CTest made of it.
skipped=$(awk '
  /^[0-9]+\/[0-9]+ Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name) }
  /^\[  SKIPPED \] |^SKIP   : / { if (!(name in seen)) { seen[name] = 1; print name } }
' "$log")
if [ -n "$skipped" ]; then
  echo "no-skipped-tests: these tests were skipped in $1:" >&2
  echo "$skipped" | sed 's/^/  /' >&2
  exit 1
fi
echo "no-skipped-tests: no test was skipped in $1"
