#!/usr/bin/env bash
# Builds the Outlook stand-in and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-asan"
# With the sanitizers, GCC's array-bounds warning takes QByteArray's shared
# empty buffer for the array behind every constData() it cannot prove filled,
# even after a size check; AddressSanitizer checks those reads at run time.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_ASAN=ON -DTIDEWELL_WERROR=ON \
  -DCMAKE_CXX_FLAGS=-Wno-array-bounds
cmake --build "$build" -j "$(nproc)" --target pst_tests mkpst_tests tidewell-outlook
# glib keeps caches for the life of the process; they are not leaks of ours.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/tools/lsan-suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
"$build/bin/pst_tests"
# The own reader against libpff on written files.
"$build/bin/mkpst_tests" --gtest_filter='OwnReaderTest.*'
