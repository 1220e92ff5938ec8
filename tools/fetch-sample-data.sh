#!/usr/bin/env bash
# Fetches the sample Outlook data files of the npm package pst-extractor 1.12.0
# into data/, which git ignores: enron.pst (71 mails) and two offline caches
# (.ost) of an Outlook.com mailbox.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
files=(
  "enron.pst 6152489de3472be6f1f840935d34b6dbf5f62b025dd015929ea9cf66eb5a5b46"
  "pstextractortest@outlook.com.ost daacd8d441428634e103b7c1e37fe1e5909256cc917551667049b5e84dfcf5f0"
  "pstextractortestpdf@outlook.com.ost c914f1f9eea55da0eb3884d063acf18a109fcb34cdd7dda623770f117ff63918"
)

present() { [ -f "$root/data/$1" ] && echo "$2  $root/data/$1" | sha256sum -c --status; }

missing=0
for entry in "${files[@]}"; do
  set -- $entry
  present "$1" "$2" || missing=1
done
[ "$missing" -eq 0 ] && exit 0

mkdir -p "$root/data"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent pst-extractor@1.12.0 >/dev/null)
tar -xzf "$work"/pst-extractor-1.12.0.tgz -C "$work" package/example/testdata
for entry in "${files[@]}"; do
  set -- $entry
  present "$1" "$2" && continue
  src="$work/package/example/testdata/$1"
  if ! echo "$2  $src" | sha256sum -c --status; then
    echo "$1 from pst-extractor 1.12.0 does not have the expected checksum" >&2
    exit 1
  fi
  mv "$src" "$root/data/$1.part"
  mv "$root/data/$1.part" "$root/data/$1"
  echo "Sample data: $root/data/$1"
done
