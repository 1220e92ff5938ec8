#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temporary prefix holds the
# programs, the converter where they find it, the help file and the desktop
# integration files, and the installed exporter works from another folder.
#   check_install.sh BUILD_DIR SAMPLE_PST
set -euo pipefail
build="$1"
sample="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix with space"

cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
need() {
  if [ ! -e "$prefix/$1" ]; then
    echo "missing from the installed tree: $1"
    fail=1
  fi
}
arch="$(gcc -print-multiarch 2>/dev/null || true)"
need bin/tidewell-export
need bin/tidewell-outlook
[ ! -e "$build/bin/tidewell" ] || need bin/tidewell
need "lib/${arch:+$arch/}tidewell/libnkf32.so"
[ ! -e "$build/bin/tidewell.qch" ] || need share/tidewell/tidewell.qch
need share/applications/org.example.tidewell.desktop
need share/icons/hicolor/scalable/apps/tidewell.svg
need share/metainfo/org.example.tidewell.metainfo.xml
need share/mime/packages/tidewell.xml
for page in tidewell tidewell-export tidewell-outlook; do
  need "share/man/man1/$page.1.gz"
done
[ "$fail" -eq 0 ] || exit 1

# Nothing of the tests or the build tools is installed.
if find "$prefix" -name '*test*' -o -name 'tidewell-mk*' | grep -q .; then
  echo "test or build files installed:"; find "$prefix" -name '*test*' -o -name 'tidewell-mk*'
  exit 1
fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/org.example.tidewell.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.example.tidewell.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net "$prefix/share/metainfo/org.example.tidewell.metainfo.xml"
fi
for page in tidewell tidewell-export tidewell-outlook; do
  warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)"
  if [ -n "$warnings" ]; then
    echo "$page.1: $warnings"
    exit 1
  fi
done

# Run from another folder, with the build tree out of sight: the exporter must
# find its converter in the installed tree and export the sample.
cd "$tmp"
"$prefix/bin/tidewell-export" --help >/dev/null
env -u LD_LIBRARY_PATH "$prefix/bin/tidewell-export" --store "$sample" --type eml --name subject \
  --out "$tmp/out" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
count="$(find "$tmp/out" -name '*.eml' | wc -l)"
[ "$count" -gt 0 ] || { echo "the installed exporter wrote no mail"; exit 1; }
echo "installed tree complete; the installed exporter wrote $count mails"
