#!/usr/bin/env bash
# The main job on the bundled sample data.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
sample="$root/data/enron.pst"

echo "== the sample data file's folders (path, default item type, items) =="
"$bin/tidewell-outlook" --store "$sample" tree
