#!/usr/bin/env bash
# Configures and builds into build/ (Release with debug info). Extra arguments go
# to cmake's configure step, for example -DTIDEWELL_WERROR=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TIDEWELL_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j "$(nproc)"
