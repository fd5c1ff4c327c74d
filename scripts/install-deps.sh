#!/bin/sh
# Installs every Debian package the build and the tests need. Idempotent and
# quick when everything is already there: apt runs only for missing packages.
set -eu

PACKAGES="
build-essential
cmake
ninja-build
pkg-config
openssl
tzdata
libssl-dev
zlib1g-dev
rapidjson-dev
libsimdjson-dev
libcurl4-openssl-dev
libgtest-dev
libgmock-dev
clang
libclang-rt-dev
python3
python3-pytest
python3-websockets
python3-jwt
python3-cryptography
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
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
