#!/usr/bin/env bash
# Installs what is missing, builds, and runs Tembrel's main job on the paths given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >&2
bash "$root/scripts/build.sh" "$root/build" >&2
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$root/build/app/tembrel" ]; then
  exec "$root/build/app/tembrel" "$@"
fi
exec "$root/build/cli/tembrel-cli" "$@"
