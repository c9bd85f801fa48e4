#!/usr/bin/env python3
"""Writes the hand-made seed inputs of fuzz_command_line, fuzz_printer_subkey,
fuzz_tray_run_value and fuzz_spooler_records into corpus/<target without "fuzz_">/.

Each target's input layout is described at the top of its source file.
"""
import os
import struct


def units(text):
    return text.encode("utf-16-le", "surrogatepass")


def sz(text):
    return units(text) + b"\0\0"


def command_line(arguments, shift=False):
    return bytes([1 if shift else 0]) + units(arguments)


# Types by index: REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_NONE, ...
SZ, EXPAND_SZ, BINARY, DWORD, MULTI_SZ, NONE, QWORD, UNDEFINED = range(8)


def subkey(plain=None, ds_user=None, plain_type=SZ, ds_type=SZ, second=False, long_plain=False):
    flags = (1 if plain is not None else 0) | (2 if ds_user is not None else 0)
    flags |= (4 if second else 0) | (8 if long_plain else 0)
    plain = plain or b""
    length = len(plain) // 16 if long_plain else len(plain)
    return bytes([flags, plain_type, ds_type, length]) + plain + (ds_user or b"")


def run_value(value, type_=SZ, absent=False, running=False, keep=False):
    flags = type_ | (8 if absent else 0) | (16 if running else 0) | (32 if keep else 0)
    return bytes([flags]) + value


def fragment(index):  # one of the target's fixed texts
    return bytes([index << 2])


def raw(text):
    data = units(text)
    return bytes([1, len(text)]) + data


def long_text(steps, index=0):
    return bytes([2 | (steps << 2) | index])


EMPTY = bytes([3])


def monitor(name, dll=fragment(0), port=fragment(0)):
    return name + dll + port


def printer(name=fragment(0), driver=fragment(0), port=fragment(0), comment=EMPTY, location=EMPTY):
    return name + driver + port + comment + location


def records(monitors, drivers, printers, monitor_marks=0, printer_marks=0):
    data = bytes([len(monitors)]) + b"".join(monitors)
    data += bytes([len(drivers)]) + b"".join(drivers)
    data += bytes([len(printers)]) + b"".join(printers)
    return data + struct.pack("<HH", monitor_marks, printer_marks)


TRAY = "C:\\Apps\\Printer\\vextray.exe"
SEEDS = {
    "command_line": {
        "none": command_line(""),
        "install": command_line(" in"),
        "install_notray_shift": command_line(" in_notray", shift=True),
        "uninstall_owner": command_line(" un 65552 x"),
        "uninstall_owner_tab": command_line("\tUNINSTALL\t65580\tx"),
        "removetray": command_line(" removetray"),
        "queries": command_line(" onChkDrv -2147483649 99999999999"),
        "oninit_quoted": command_line(' "onInit" "" ""'),
        "def_set": command_line(' def.set'),
        "quotes_backslashes": command_line(' "a\\\\\\"b" c\\\\ "d'),
        "long_keyword": command_line(" " + "x" * 600),
    },
    "printer_subkey": {
        "plain": subkey(plain=sz("Settings1")),
        "ds_user": subkey(ds_user=sz("Settings2")),
        "both": subkey(plain=sz("A"), ds_user=sz("B"), second=True),
        "no_terminator": subkey(plain=b"S" * 64, ds_user=b"T" * 63),
        "fills_buffer": subkey(plain=b"S" * 63 + b"\0"),
        "too_long": subkey(plain=b"L" * 320 + b"\0", long_plain=True, ds_user=sz("Fallback")),
        "binary_dword": subkey(plain=b"\1\2\3\4", plain_type=DWORD, ds_user=b"xyz", ds_type=BINARY),
        "empty": subkey(plain=b"", ds_user=b"\0"),
        "odd_path": subkey(plain=sz("..\\..\\x\\"), ds_type=MULTI_SZ, ds_user=sz("a") + b"\0"),
    },
    "tray_run_value": {
        "registered": run_value(units(TRAY) + b"\0\0"),
        "running": run_value(units(TRAY) + b"\0\0", running=True),
        "kept": run_value(units(TRAY) + b"\0\0", keep=True),
        "absent": run_value(b"", absent=True),
        "no_terminator": run_value(units(TRAY)),
        "odd_size": run_value(units(TRAY) + b"\0"),
        "too_long": run_value(units("C:\\" + "x" * 300)),
        "fills_read": run_value(units("C:\\" + "y" * 261)),
        "dword": run_value(b"\1\0\0\0", type_=DWORD),
        "empty": run_value(b""),
    },
    "spooler_records": {
        "nothing": records([], [], []),
        "ours": records([monitor(fragment(0))], [fragment(0)],
                        [printer(), printer(name=fragment(2), port=fragment(1))]),
        "null_names": records([monitor(fragment(1)), monitor(fragment(0))], [fragment(0)],
                              [printer(), printer(name=fragment(1))], 0b001001, 0b0001_0110),
        "null_dll": records([monitor(fragment(0))], [fragment(0)], [printer()], 0b100, 0),
        "long_names": records([monitor(long_text(9), dll=long_text(20), port=long_text(5))],
                              [long_text(30)],
                              [printer(name=long_text(12), port=long_text(7),
                                       comment=long_text(40))]),
        "raw_names": records([monitor(raw("vexaWriter:"), dll=raw("m.dll"))], [raw("vexa")],
                             [printer(name=raw("P"), driver=raw("vexaWriter printer"))]),
        "empty_names": records([monitor(EMPTY, dll=EMPTY, port=EMPTY)], [EMPTY],
                               [printer(name=EMPTY, driver=fragment(0), port=EMPTY)]),
    },
}

here = os.path.dirname(os.path.abspath(__file__))
for target, seeds in SEEDS.items():
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
