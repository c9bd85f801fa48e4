#!/usr/bin/env bash
# Two checks of the Windows package, each ending with one line:
#   reproducible  two builds of the same sources, copied to different folders and built at
#                 different times, must give byte-identical files (every package file, the zip
#                 and its checksum list, the setup program, the MSI; unsigned):
#                 "reproducible: N of N files identical"
#   signatures    the first of those builds again, signed with a throwaway certificate (openssl),
#                 and every signature verified: "signatures: N verified"
# Only the package's targets are built (no test tools). Work folders: build/package-builds/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/package-builds
targets=(package_zip setup msi_package)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}

# The tracked and new files of the working tree, copied to $1/src (replacing an older copy).
copy_sources() {
  rm -rf "$1/src"
  mkdir -p "$1/src"
  (cd "$root" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) |
    tar -xf - -C "$1/src"
}
build() {  # build FOLDER: configures and builds the package targets of FOLDER/src in FOLDER/b
  cmake -S "$1/src" -B "$1/b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$1/src/cmake/mingw-w64-x86_64.cmake" >/dev/null
  ninja -C "$1/b" "${targets[@]}" >/dev/null
}
# The files compared and signed, relative to a build folder.
outputs() {
  (cd "$1" && find package -type f | sort && ls vexaWriter-package.zip vexaWriter-package.sha256 \
    vexaWriter-setup.exe vexaWriter.msi)
}

reproducible() {
  rm -rf "$work"
  copy_sources "$work/first"
  build "$work/first"
  sleep 2
  copy_sources "$work/second/elsewhere"
  build "$work/second/elsewhere"
  local first=$work/first/b second=$work/second/elsewhere/b total=0 same=0 file
  for file in $(outputs "$first"); do
    total=$((total + 1))
    if cmp -s "$first/$file" "$second/$file"; then
      same=$((same + 1))
    else
      echo "differs: $file"
    fi
  done
  echo "reproducible: $same of $total files identical"
  [ "$same" -eq "$total" ] && [ "$total" -ge 10 ]
}

signatures() {
  copy_sources "$work/first"  # the build folder stays: only the signed files are made again
  local keys=$work/keys
  rm -rf "$keys"
  mkdir -p "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=vexaWriter test signing' \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" \
    2>/dev/null
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -passout pass:throwaway \
    -out "$keys/signing.p12"
  VEXA_SIGN_PKCS12=$keys/signing.p12 VEXA_SIGN_PASSWORD=throwaway build "$work/first"
  local folder=$work/first/b verified=0 total=0 file
  for file in $(outputs "$folder" | grep -E '\.(exe|dll|msi)$') \
    setup/msi_actions/vexaMsiActions.dll; do
    total=$((total + 1))
    if osslsigncode verify -CAfile "$keys/cert.pem" -in "$folder/$file" >/dev/null 2>&1; then
      verified=$((verified + 1))
    else
      echo "not verified: $file"
    fi
  done
  # The package zip and checksums were made from the signed files.
  (cd "$folder" && sha256sum -c --quiet vexaWriter-package.sha256) || return 1
  echo "signatures: $verified verified"
  [ "$verified" -eq "$total" ]
}

case "${1:-}" in
  reproducible) reproducible ;;
  signatures) signatures ;;
  *) echo "usage: package_builds.sh reproducible|signatures" >&2; exit 2 ;;
esac
