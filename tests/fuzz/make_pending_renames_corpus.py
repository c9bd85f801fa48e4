#!/usr/bin/env python3
"""Writes the hand-made seed inputs of fuzz_pending_renames into corpus/pending_renames/.

Each input is a 4-byte header (flags, failing allocation, split) and the value's bytes; the
layout is described at the top of fuzz_pending_renames.cpp.
"""
import os
import struct

MULTI_SZ, SZ, BINARY, DWORD, NONE = 0, 1, 2, 3, 4
CHANGES, ABSENT, FAIL_ALLOCATION = 8, 16, 32


def units(text):
    return text.encode("utf-16-le", "surrogatepass")


def strings(*items):
    return b"".join(units(item) + b"\0\0" for item in items) + b"\0\0"


def seed(value, type_=MULTI_SZ, flags=0, failing=0, split=0):
    return bytes([type_ | flags, failing]) + struct.pack("<H", split) + value


DELETION = strings("\\??\\C:\\d\\x.dll", "")
SEEDS = {
    "absent": seed(b"", flags=ABSENT),
    "zero_bytes": seed(b""),
    "one_byte": seed(b"A"),
    "only_closing_string": seed(b"\0\0"),
    "single_string": seed(units("\\??\\C:\\d\\x.dll") + b"\0\0\0\0"),
    "deletion": seed(DELETION),
    "held_deletion": seed(strings("\\??\\C:\\d\\held.dll", "")),
    "rename": seed(strings("\\??\\C:\\d\\x.dll", "\\??\\C:\\d\\y.dll")),
    "directory": seed(strings("\\??\\C:\\d\\sub", "")),
    "three_strings": seed(strings("\\??\\C:\\d\\x.dll", "", "\\??\\C:\\d\\held.dll")),
    "empty_strings": seed(b"\0\0" * 6),
    "short_prefixes": seed(strings("\\??", "", "\\??\\", "", "\\??C:\\d\\x.dll", "", "\\", "")),
    "odd_size": seed(DELETION + b"\x41"),
    "no_terminator": seed(units("C:\\d\\x.dll") + b"\0\0" + units("C:\\d\\held.dll")),
    "no_terminator_odd": seed(units("C:\\d\\x.dll") + b"\0\0" + units("C:\\d\\held.dll")[:-1]),
    "reg_sz": seed(DELETION, type_=SZ),
    "reg_binary": seed(DELETION, type_=BINARY),
    "reg_dword": seed(b"AAAA", type_=DWORD),
    "reg_none_odd": seed(b"\x5c\x00\x3f", type_=NONE),
    "unpaired_surrogates": seed(strings("\ud800C:\\d\\x.dll", "\udfff")),
    "our_files": seed(strings("\\??\\C:\\Windows\\System32\\zqvmon64.dll", "",
                              "\\??\\C:\\Windows\\System32\\ZQVDRV64.DLL", "")),
    "grows_between_reads": seed(DELETION + strings("\\??\\C:\\d\\held.dll", ""),
                                flags=CHANGES, split=len(DELETION)),
    "shrinks_between_reads": seed(DELETION + b"\\\0", flags=CHANGES, split=len(DELETION)),
    "odd_between_reads": seed(DELETION + DELETION[:-3], flags=CHANGES, split=len(DELETION)),
    "allocation_buffer": seed(DELETION, flags=FAIL_ALLOCATION, failing=1),
    "allocation_array": seed(DELETION, flags=FAIL_ALLOCATION, failing=2),
    "allocation_copy": seed(strings("\\??\\C:\\d\\x.dll", "", "C:\\d\\held.dll", ""),
                            flags=FAIL_ALLOCATION, failing=5),
}

if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "pending_renames")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
