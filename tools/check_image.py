#!/usr/bin/env python3
"""Checks the headers and the export table of shipped images, read from the files:
the machine, a stripped DLL or program, ASLR (with high entropy on 64-bit
machines), DEP, a relocation table, unwind tables where the machine unwinds by
them, the time stamp, and for a DLL the names of the module-definition file at
their ordinals and nothing else.

Usage: check_image.py --machine x86|x64|arm64 [--stamp EPOCH] [--def Quell.def] IMAGE...
Without --stamp (a build whose images carry the time of their link) the time
stamp is not checked.
Exits 1 with one line per difference.
"""
import argparse
import os
import re
import struct
import sys

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_version_resource import Image, Malformed, u16, u32  # noqa: E402  (the one PE reader of the tools)
from check_imports import c_string  # noqa: E402
from architectures import MACHINE  # noqa: E402

UNWOUND_BY_TABLES = ("x64", "arm64")
EXPORT_DIRECTORY, EXCEPTION_DIRECTORY, BASERELOC_DIRECTORY = 0, 3, 5
FILE_DLL = 0x2000
DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT = 0x40, 0x20, 0x100


def directory(image, index):
    return struct.unpack_from("<II", image.data, image.directories_at + 8 * index)


def def_exports(path):
    """{name: ordinal} of a module-definition file, stdcall suffixes dropped."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            match = re.match(r"\s*([A-Za-z_]\w*)(?:@\d+)?\s+@(\d+)", line)
            if match:
                table[match.group(1)] = int(match.group(2))
    return table


def exports(image):
    """({name: ordinal}, {ordinal of every slot with an address}) of the export directory."""
    rva, size = directory(image, EXPORT_DIRECTORY)
    if not rva or not size:
        return {}, set()
    at = image.offset(rva)
    base, functions, names, functions_rva, names_rva, ordinals_rva = struct.unpack_from("<IIIIII", image.data, at + 16)
    slots = {base + i for i in range(functions) if u32(image.data, image.offset(functions_rva) + 4 * i)}
    named = {}
    for i in range(names):
        name = c_string(image.data, image.offset(u32(image.data, image.offset(names_rva) + 4 * i)))
        named[name] = base + u16(image.data, image.offset(ordinals_rva) + 2 * i)
    return named, slots


def check(path, machine, stamp, wanted_exports):
    with open(path, "rb") as f:
        image = Image(f.read())
    data = image.data
    pe = u32(data, 0x3C)
    faults = []
    found_machine, _, found_stamp, symbols_at, symbols = struct.unpack_from("<HHIII", data, pe + 4)
    characteristics = u16(data, pe + 22)
    dll_characteristics = u16(data, pe + 24 + 70)
    if found_machine != MACHINE[machine]:
        faults.append(f"machine {found_machine:#x}, not {machine} ({MACHINE[machine]:#x})")
    if image.wide != (machine != "x86"):
        faults.append("PE32+ on x86 or PE32 on a 64-bit machine")
    if symbols_at or symbols:
        faults.append("not stripped (a symbol table)")
    if stamp is not None and found_stamp != stamp:
        faults.append(f"time stamp {found_stamp}, not {stamp}")
    for flag, name in ((DYNAMIC_BASE, "DYNAMIC_BASE"), (NX_COMPAT, "NX_COMPAT")):
        if not dll_characteristics & flag:
            faults.append(f"no {name}")
    if bool(dll_characteristics & HIGH_ENTROPY_VA) != image.wide:
        faults.append("high-entropy ASLR " + ("missing" if image.wide else "on a 32-bit image"))
    if not directory(image, BASERELOC_DIRECTORY)[1]:
        faults.append("no relocation table")
    if machine in UNWOUND_BY_TABLES and not directory(image, EXCEPTION_DIRECTORY)[1]:
        faults.append("no unwind tables (.pdata)")
    is_dll = bool(characteristics & FILE_DLL)
    if is_dll != path.lower().endswith(".dll"):
        faults.append("DLL flag does not fit the file name")
    if is_dll and wanted_exports is not None:
        named, slots = exports(image)
        for name, ordinal in sorted(wanted_exports.items(), key=lambda item: item[1]):
            if name not in named:
                faults.append(f"export {name} (ordinal {ordinal}) missing")
            elif named[name] != ordinal:
                faults.append(f"export {name} at ordinal {named[name]}, not {ordinal}")
        for name in sorted(set(named) - set(wanted_exports)):
            faults.append(f"export {name} not in the module-definition file")
        for ordinal in sorted(slots - set(wanted_exports.values())):
            faults.append(f"ordinal {ordinal} exported, not in the module-definition file")
    print(f"{path}: {machine}, stamp {found_stamp}, " + ("; ".join(faults) if faults else "as expected"))
    return not faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--machine", required=True, choices=MACHINE)
    parser.add_argument("--stamp", type=int)
    parser.add_argument("--def", dest="definition")
    parser.add_argument("images", nargs="+")
    arguments = parser.parse_args()
    wanted = def_exports(arguments.definition) if arguments.definition else None
    good = True
    for path in arguments.images:
        try:
            good = check(path, arguments.machine, arguments.stamp, wanted) and good
        except (Malformed, struct.error, ValueError, OSError) as error:
            print(f"{path}: cannot read the image: {error}")
            good = False
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
