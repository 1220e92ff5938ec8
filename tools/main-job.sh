#!/usr/bin/env bash
# The main job on the bundled sample data: the stand-in's view of the sample data
# file, then a whole export of it as .eml files with attachments, named by subject.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
sample="$root/data/enron.pst"
out="${TIDEWELL_MAIN_JOB_OUT:-$root/build/main-job}"

echo "== the sample data file's folders (path, default item type, items) =="
"$bin/tidewell-outlook" --store "$sample" tree

echo
echo "== tidewell-export: every folder as .eml with attachments, named by subject, into $out =="
rm -rf "$out"
"$bin/tidewell-export" --store "$sample" --type eml-attachments --name subject \
  --out "$out/mail" --errors-csv "$out/errors.csv"
echo
echo "Written: $(find "$out/mail" -type f | wc -l) files in $(find "$out/mail" -mindepth 1 -type d | wc -l) folders"
