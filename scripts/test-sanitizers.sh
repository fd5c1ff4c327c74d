#!/bin/sh
# Builds the unit tests and the fuzz corpus replays under AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ (or $ASAN_BUILD_DIR) and runs
# them: the first report of either sanitizer, or any leak, fails the run. The
# black-box tests stay with the ordinary build (scripts/test.sh).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ASAN_BUILD_DIR:-$root/build-asan}"
BUILD_DIR="$build" BUILD_TARGETS=unit_tests "$root/scripts/build.sh" -DZENTAVO_ASAN=ON
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$build"
ctest --output-on-failure -j2 -L 'unit|fuzz'
