#!/bin/sh
# The README's test command: installs what is missing, builds, and runs every
# test (unit and black-box); then the unit tests and fuzz seed corpora again
# under AddressSanitizer and UBSan (scripts/test-sanitizers.sh); then checks
# that every C and C++ file follows .clang-format (scripts/check-format.sh).
# Exits non-zero on any failure.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$@"
build="${BUILD_DIR:-$root/build}"
(cd "$build" && ctest --output-on-failure -j2)
"$root/scripts/test-sanitizers.sh"
"$root/scripts/check-format.sh"
