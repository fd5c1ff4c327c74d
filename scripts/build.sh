#!/bin/sh
# Configures and builds into build/ (or $BUILD_DIR). Extra arguments go to cmake;
# $BUILD_TARGETS, when set, names the targets to build instead of all.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="${BUILD_DIR:-$root/build}"
# Compiled objects are cached across build folders and clean clones: paths
# under the tree are hashed relative to it, wherever the clone lies (debug
# info may then name another clone's build folder).
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  if [ -z "${CCACHE_BASEDIR:-}" ]; then
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  fi
fi
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086 # one word per target
cmake --build "$build" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
