#!/usr/bin/env bash
# Builds the Windows package a second time, from a copy of the same sources in another folder,
# and compares every file it delivers with those of build/win64 (built first, unsigned): the
# package's files, the zip and its checksum list, the setup program and the MSI. Only what the
# package needs is built. Prints "reproducible: N of N files identical", and the files that differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
first=$root/build/win64
[ -f "$first/vexaWriter-package.sha256" ] || { echo "build/win64 is not built" >&2; exit 1; }
work=$(mktemp -d /tmp/vexaWriter-second-build.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The copy has no git history: the date of the commit comes through the environment.
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
export SOURCE_DATE_EPOCH
unset VEXA_SIGN_PKCS12
sources=$work/other/sources
mkdir -p "$sources"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 -I{} sh -c '[ ! -e "$1" ] || printf "%s\0" "$1"' _ {} | tar --null -T - -cf -) |
  tar -xf - -C "$sources"
second=$work/other/build
cmake -S "$sources" -B "$second" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$sources/cmake/mingw-w64-x86_64.cmake" >/dev/null
targets=(package_zip)
for target in setup msi_package; do
  ninja -C "$second" -t targets all | grep -q "^$target:" && targets+=("$target")
done
ninja -C "$second" "${targets[@]}" >/dev/null

files=()
while IFS= read -r file; do files+=("$file"); done < <(
  cd "$first" && find package -type f | sort
  for file in vexaWriter-package.zip vexaWriter-package.sha256 vexaWriter-setup.exe \
    vexaWriter.msi; do
    [ -f "$file" ] && echo "$file"
  done)
same=0
for file in "${files[@]}"; do
  if cmp -s "$first/$file" "$second/$file"; then
    same=$((same + 1))
  else
    echo "differs: $file"
  fi
done
echo "reproducible: $same of ${#files[@]} files identical"
[ "$same" -eq "${#files[@]}" ]
