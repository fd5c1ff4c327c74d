#!/bin/sh
# Fails when a tracked C or C++ file does not follow .clang-format; lists the
# files. `scripts/check-format.sh --fix` rewrites them instead.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
if ! command -v clang-format >/dev/null 2>&1; then
  echo "check-format: clang-format is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
files=$(git ls-files '*.c' '*.cpp' '*.h' | grep -v -e '/node_modules/' -e '^frontend/')
if [ "${1:-}" = "--fix" ]; then
  # shellcheck disable=SC2086
  clang-format -i $files
  exit 0
fi
bad=""
for f in $files; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
done
if [ -n "$bad" ]; then
  echo "check-format: these files do not follow .clang-format (run scripts/check-format.sh --fix):" >&2
  for f in $bad; do echo "  $f" >&2; done
  exit 1
fi
echo "check-format: $(echo "$files" | wc -l) files follow .clang-format"
