#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need.
# Non-interactive and idempotent: nothing is fetched when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev
  qt6-base-dev qt6-qpa-plugins fonts-noto-cjk libqt6svg6 qt6-translations-l10n xvfb xauth
  qt6-tools-dev qt6-tools-dev-tools
  libpff-dev libbfio-dev libgsf-1-dev libpcre2-dev libicu-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 pst-utils pff-tools nkf libemail-outlook-message-perl libemail-address-perl
  time
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node.js with npm fetches the sample data; a machine that already has them keeps its own.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
