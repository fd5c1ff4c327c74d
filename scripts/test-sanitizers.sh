#!/bin/sh
# Builds the unit tests and the fuzz corpus replays under AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ (or $ASAN_BUILD_DIR) and runs
# them: the first report of either sanitizer, or any leak, fails the run. The
# black-box tests stay with the ordinary build (scripts/test.sh).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ASAN_BUILD_DIR:-$root/build-asan}"
# -O1 with line tables only: a cold build takes about 12 CPU-minutes instead
# of 20 at -O2 -g, and reports still name the file and line.
BUILD_DIR="$build" BUILD_TARGETS=unit_tests "$root/scripts/build.sh" -DZENTAVO_ASAN=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$build"
ctest --output-on-failure -j2 -L 'unit|fuzz'
