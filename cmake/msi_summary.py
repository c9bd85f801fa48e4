#!/usr/bin/env python3
"""Makes an MSI that wixl wrote repeatable: its summary information carries a package code that
wixl draws at random and the time of the build as its creation and last-save dates. This sets
the package code given and both dates to SOURCE_DATE_EPOCH, in place.

Usage: msi_summary.py PACKAGE.msi {PACKAGE-CODE} EPOCH
"""
import re
import struct
import sys

FILETIME_EPOCH = 116444736000000000  # 1601-01-01 to 1970-01-01 in 100 ns units

def main():
    path, package_code, epoch = sys.argv[1], sys.argv[2].upper(), int(sys.argv[3])
    data = bytearray(open(path, "rb").read())
    # PID_REVNUMBER (a VT_LPSTR of 39 bytes: the braced GUID and its terminator, padded to 40),
    # then PID_CREATE_DTM and PID_LASTSAVE_DTM (VT_FILETIME), as libmsi writes them in a row.
    pattern = re.compile(rb"\x1e\0\0\0\x27\0\0\0\{[0-9A-F-]{36}\}\0\0"
                         rb"\x40\0\0\0.{8}\x40\0\0\0.{8}", re.S)
    found = list(pattern.finditer(data))
    if len(found) != 1:
        sys.exit(f"{path}: {len(found)} summary information blocks found, expected one")
    if not re.fullmatch(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}", package_code):
        sys.exit(f"not a braced GUID: {package_code}")
    stamp = struct.pack("<Q", FILETIME_EPOCH + epoch * 10000000)
    block = (b"\x1e\0\0\0\x27\0\0\0" + package_code.encode() + b"\0\0"
             + b"\x40\0\0\0" + stamp + b"\x40\0\0\0" + stamp)
    start = found[0].start()
    data[start:start + len(block)] = block
    open(path, "wb").write(data)

main()
