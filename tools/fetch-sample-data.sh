#!/usr/bin/env bash
# Fetches the sample Outlook data file enron.pst (71 mails) from the npm package
# pst-extractor 1.12.0 and caches it in data/, which git ignores.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dest="$root/data/enron.pst"
sha256="6152489de3472be6f1f840935d34b6dbf5f62b025dd015929ea9cf66eb5a5b46"

if [ -f "$dest" ] && echo "$sha256  $dest" | sha256sum -c --status; then
  exit 0
fi

mkdir -p "$root/data"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent pst-extractor@1.12.0 >/dev/null)
tar -xzf "$work"/pst-extractor-1.12.0.tgz -C "$work" package/example/testdata/enron.pst
if ! echo "$sha256  $work/package/example/testdata/enron.pst" | sha256sum -c --status; then
  echo "enron.pst from pst-extractor 1.12.0 does not have the expected checksum" >&2
  exit 1
fi
mv "$work/package/example/testdata/enron.pst" "$dest.part"
mv "$dest.part" "$dest"
echo "Sample data: $dest"
