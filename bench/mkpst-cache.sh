#!/usr/bin/env bash
# Makes the benchmark data files with tidewell-mkpst --synthetic and keeps them
# in bench/cache/, which git ignores through the .gitignore the script puts there: 10,000 and 100,000 mails with 8 KB
# attachments, Japanese and English texts. A file is made again only when it
# is missing or tidewell-mkpst is newer. Prints each file's path; use one with
#   TIDEWELL_BENCH_FILES=$(bash bench/mkpst-cache.sh 10000) bash bench/export-bench.sh
# (an argument picks one size; without one, both are made).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
cache="$root/bench/cache"
mkpst="$bin/tidewell-mkpst"
[ -x "$mkpst" ] || { echo "build first: $mkpst is missing" >&2; exit 2; }

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000)
mkdir -p "$cache"
[ -f "$cache/.gitignore" ] || echo "*" >"$cache/.gitignore"
for n in "${sizes[@]}"; do
  case "$n" in ''|*[!0-9]*) echo "not a mail count: $n" >&2; exit 2 ;; esac
  file="$cache/synthetic-$n-8kb-ja.pst"
  if [ ! -f "$file" ] || [ "$mkpst" -nt "$file" ]; then
    "$mkpst" --synthetic "$n" --attachment-kb 8 --japanese "$file.part" >&2
    mv "$file.part" "$file"
  fi
  echo "$file"
done
