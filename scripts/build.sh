#!/usr/bin/env bash
# Builds one configuration: host (default), host-asan, host-fuzz or win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
config=${1:-host}
case "$config" in
  host) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
  host-asan) args=(-DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON) ;;
  host-fuzz) args=(-DCMAKE_BUILD_TYPE=Debug -DVEXA_FUZZ=ON -DCMAKE_C_COMPILER=clang
                   -DCMAKE_CXX_COMPILER=clang++) ;;
  win64) args=(-DCMAKE_BUILD_TYPE=Release
               -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake") ;;
  *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$root/build/$config" -G Ninja "${args[@]}" >/dev/null
ninja -C "$root/build/$config" >/dev/null
