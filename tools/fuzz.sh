#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each one for a while on a
# copy of its seed inputs. The first argument is the seconds per target
# (default 60); further arguments name the targets to run (default all). An input that makes a target fail is left in build-fuzz/ as
# crash-*; copy it into tests/fuzz/seeds/<target>/ once the fault is mended,
# so that ctest replays it from then on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds="${1:-60}"
targets=(fuzz_rtf fuzz_html fuzz_address fuzz_nkf fuzz_blocks fuzz_ltp)
[ $# -gt 1 ] && targets=("${@:2}")
command -v clang++ >/dev/null || { echo "clang++ is missing (Debian package clang)" >&2; exit 2; }
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTIDEWELL_FUZZ=ON -DTIDEWELL_ASAN=ON -DTIDEWELL_WERROR=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
cd "$build"
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  cp -n "$root/tests/fuzz/seeds/$t/"* "$corpus/"
  echo "== $t: $seconds s"
  rc=0
  "$build/bin/$t" -max_total_time="$seconds" -max_len=65536 -timeout=10 -print_final_stats=1 \
    "$corpus" >"$build/$t.log" 2>&1 || rc=$?
  grep -E "^stat::(number_of_executed_units|new_units_added)" "$build/$t.log" || true
  if [ "$rc" -ne 0 ]; then
    tail -60 "$build/$t.log"
    exit 1
  fi
done
