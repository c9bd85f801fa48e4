#!/usr/bin/env bash
# Signs Windows files in place with Authenticode (osslsigncode, SHA-256) when a signing
# certificate is configured; does nothing otherwise. The build calls it for every exe and DLL
# of the package, the custom action DLL, the setup program and the MSI.
#   VEXA_SIGN_PKCS12         the PKCS#12 file holding the certificate and its private key
#   VEXA_SIGN_PASSWORD       its password
#   VEXA_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server
set -euo pipefail
[ -n "${VEXA_SIGN_PKCS12:-}" ] || exit 0
# The password goes through a file only this account can read, not the command line.
umask 077
pass=$(mktemp)
trap 'rm -f "$pass"' EXIT
printf '%s' "${VEXA_SIGN_PASSWORD:-}" >"$pass"
timestamp=()
[ -n "${VEXA_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$VEXA_SIGN_TIMESTAMP_URL")
for file in "$@"; do
  rm -f "$file.signed"
  osslsigncode sign -pkcs12 "$VEXA_SIGN_PKCS12" -readpass "$pass" -h sha256 -n vexaWriter \
    "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv -f "$file.signed" "$file"
done
