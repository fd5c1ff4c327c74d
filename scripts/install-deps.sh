#!/bin/sh
# Installs every Debian package the build and the tests need. Idempotent and
# quick when everything is already there: apt runs only for missing packages.
set -eu

PACKAGES="
build-essential
cmake
ninja-build
ccache
pkg-config
openssl
tzdata
libssl-dev
zlib1g-dev
rapidjson-dev
libcurl4-openssl-dev
libcups2-dev
cups-daemon
cups-client
cups-core-drivers
libcairo2-dev
libpango1.0-dev
libxml2-dev
libpng-dev
fonts-liberation
fontconfig
libgtest-dev
libgmock-dev
clang
clang-format
lld
libclang-rt-dev
python3
python3-pytest
python3-websockets
python3-jwt
python3-cryptography
chromium
zbar-tools
file
dpkg-dev
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

# The browser test drives chromium with playwright-core from npm.
if ! command -v npm >/dev/null 2>&1; then
  missing="$missing nodejs npm"
fi

# npm packages of the browser test, pinned by tests/frontend/package-lock.json
# (playwright-core only: it downloads no browser).
npm_deps() {
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/frontend"
  if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.zentavo-lock" 2>/dev/null; then
    echo "install-deps: npm ci in tests/frontend"
    (cd "$dir" && npm ci --no-audit --no-fund >/dev/null)
    cp "$dir/package-lock.json" "$dir/node_modules/.zentavo-lock"
  fi
}

if [ -z "$missing" ]; then
  npm_deps
  exit 0
fi

echo "install-deps: installing$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends $missing; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends $missing
fi
npm_deps
