#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine (as root), skipping what
# is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake ninja-build g++ clang libclang-rt-14-dev clang-format libgtest-dev googletest \
           mingw-w64 wine wine64 xvfb xauth imagemagick x11-utils nsis \
           wixl msitools osslsigncode openssl python3 zip; do
  have "$pkg" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
