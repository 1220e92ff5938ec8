#!/usr/bin/env bash
# Builds the Debian package from the build tree (cpack -G DEB) and checks it:
# its file list holds the programs, the converter, the help file and the desktop
# files, nothing of the tests, and lintian reports no error.
#   tools/package.sh            -> build/tidewell_<version>_<arch>.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TIDEWELL_BUILD_DIR:-$root/build}"

cmake --build "$build" -j "$(nproc)"
(cd "$build" && rm -f tidewell_*.deb && cpack -G DEB >/dev/null)
deb="$(ls "$build"/tidewell_*.deb)"
echo "$deb"

arch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
list="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')"
fail=0
for f in /usr/bin/tidewell /usr/bin/tidewell-export /usr/bin/tidewell-outlook \
         "/usr/lib/$arch/tidewell/libnkf32.so" /usr/share/tidewell/tidewell.qch \
         /usr/share/applications/org.example.tidewell.desktop \
         /usr/share/icons/hicolor/scalable/apps/tidewell.svg \
         /usr/share/metainfo/org.example.tidewell.metainfo.xml \
         /usr/share/mime/packages/tidewell.xml \
         /usr/share/man/man1/tidewell.1.gz /usr/share/man/man1/tidewell-export.1.gz \
         /usr/share/man/man1/tidewell-outlook.1.gz \
         /usr/share/doc/tidewell/copyright /usr/share/doc/tidewell/changelog.gz; do
  grep -qxF "$f" <<<"$list" || { echo "missing from the package: $f"; fail=1; }
done
if grep -E 'test|mkpst|mkversion|screenshots|/include/|\.a$' <<<"$list"; then
  echo "the package holds files it should not"
  fail=1
fi
# The version table survives the package's stripping.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
grep -q '\.tidewell_version' <<<"$(readelf -S "$tmp/usr/bin/tidewell")" || { echo "no version table in tidewell"; fail=1; }
grep -q 'libqt6help6' <<<"$(dpkg-deb -f "$deb" Depends)" || { echo "Depends lacks the help library"; fail=1; }
[ "$fail" -eq 0 ] || exit 1

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb"
fi
echo "package checked"
