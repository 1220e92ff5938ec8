#!/usr/bin/env bash
# Pictures of the windows on the sample data file, taken under a virtual display
# (Xvfb) with the Japanese fonts of fonts-noto-cjk: the main window with a folder
# listed and a mail previewed, both export dialogs, the folder-browse dialog and
# the error window. Usage: tools/screenshots.sh [OUTDIR] (default docs/screenshots).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TIDEWELL_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshots}"
bash "$root/tools/fetch-sample-data.sh"
cmake --build "$build" -j "$(nproc)" --target tidewell-screenshots
mkdir -p "$out"
export LANG="${LANG:-C.UTF-8}"
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96" "$build/bin/tidewell-screenshots" "$out"
