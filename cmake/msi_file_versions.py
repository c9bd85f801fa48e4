#!/usr/bin/env python3
"""Fills the File table's Version and Language columns of an MSI that wixl wrote, which leaves
them empty: Windows Installer replaces a versioned file on disk only with a file whose Version it
knows to be newer, so an upgrade needs them. Each file of the package that carries a version
resource gets its fixed file version (VS_FIXEDFILEINFO) and the language of its first
translation; a file without one (the help file) stays unversioned.

Usage: msi_file_versions.py PACKAGE.msi PACKAGE-FOLDER
"""
import os
import struct
import subprocess
import sys

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
TRANSLATION = "Translation\0".encode("utf-16-le")


def version_of(data):
    """(version text, language number) of a PE file's version resource, or None."""
    at = data.find(FIXED_SIGNATURE)
    if at < 0:
        return None
    _, _, ms, ls = struct.unpack_from("<4I", data, at)
    version = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    at = data.find(TRANSLATION, at)
    if at < 0:
        return version, None
    value = (at + len(TRANSLATION) + 3) & ~3  # the value starts on a 32-bit boundary
    return version, struct.unpack_from("<H", data, value)[0]


def main():
    msi, folder = sys.argv[1], sys.argv[2]
    paths = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            paths.setdefault(name.lower(), os.path.join(parent, name))
    rows = subprocess.run(["msiinfo", "export", msi, "File"], check=True, capture_output=True,
                          text=True).stdout.splitlines()[3:]
    for row in rows:
        key, _, name = row.split("\t")[:3]
        name = name.split("|")[-1]  # "SHORT|long name"
        if name.lower() not in paths:
            sys.exit(f"{msi}: {name} is not in {folder}")
        found = version_of(open(paths[name.lower()], "rb").read())
        if not found:
            continue
        version, language = found
        language = "NULL" if language is None else f"'{language}'"
        subprocess.run(["msibuild", msi, "-q",
                        f"UPDATE `File` SET `Version` = '{version}', `Language` = {language} "
                        f"WHERE `File` = '{key}'"], check=True)


if __name__ == "__main__":
    main()
