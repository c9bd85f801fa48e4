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
# Quiet when it works; the whole output when it does not (ninja prints compiler errors on its
# standard output).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S "$root" -B "$root/build/$config" -G Ninja "${args[@]}" >"$log" 2>&1 ||
  ! ninja -C "$root/build/$config" >>"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
