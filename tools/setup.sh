#!/usr/bin/env bash
# From a fresh Debian 12 machine: installs the dependencies, fetches the sample
# data and builds everything. Then, with a display, it starts the desktop program
# on the sample data file; without one it runs the main job, the command-line
# export of the sample data file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
bash "$root/tools/fetch-sample-data.sh"
bash "$root/tools/build.sh"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the desktop program on $root/data/enron.pst"
  exec "${TIDEWELL_BUILD_DIR:-$root/build}/bin/tidewell" "$root/data/enron.pst"
fi
bash "$root/tools/main-job.sh"
