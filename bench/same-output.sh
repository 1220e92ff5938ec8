#!/usr/bin/env bash
# Exports a data file with every export type into a folder, with MIME boundaries
# replaced by a fixed text so that two exports compare byte for byte:
#   bench/same-output.sh FILE.pst OUT-DIR          writes OUT-DIR/{msg,txt,eml,eml-attachments}
#   bench/same-output.sh FILE.pst OUT-DIR REF-DIR  does the same, then compares with REF-DIR
# The attachments folder (--attachments-dir) is exported too, under OUT-DIR/files.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
pst="$1" out="$2" ref="${3:-}"
[ -x "$bin/tidewell-export" ] || { echo "build first: $bin/tidewell-export is missing" >&2; exit 2; }

rm -rf "$out" && mkdir -p "$out"
for type in msg txt eml eml-attachments; do
  extra=()
  [ "$type" = eml-attachments ] && extra=(--attachments-dir "$out/files")
  "$bin/tidewell-export" --store "$pst" --type "$type" --name subject --out "$out/$type" \
    --errors-csv "$out/$type.errors.csv" "${extra[@]}" >/dev/null 2>"$out/$type.stderr" || true
done
# A boundary is 34 letters and digits holding "=_"; it appears in the header
# parameter and on the delimiter lines.
find "$out/eml-attachments" -type f -name '*.eml' -print0 |
  xargs -0 -r perl -pi -e 's/(boundary="|^--)[0-9A-Za-z]*=_[0-9A-Za-z]*/$1BOUNDARY/g'

if [ -n "$ref" ]; then
  if diff -r "$ref" "$out" >"$out.diff"; then
    echo "same output: $(find "$out" -type f | wc -l) files"
  else
    echo "DIFFERENT output, see $out.diff" >&2
    head -20 "$out.diff" >&2
    exit 1
  fi
fi
