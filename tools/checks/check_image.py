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
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))  # tools/: pe, architectures
import pe  # noqa: E402
from architectures import MACHINE  # noqa: E402

UNWOUND_BY_TABLES = ("x64", "arm64")


def def_exports(path):
    """{name: ordinal} of a module-definition file, stdcall suffixes dropped."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            match = re.match(r"\s*([A-Za-z_]\w*)(?:@\d+)?\s+@(\d+)", line)
            if match:
                table[match.group(1)] = int(match.group(2))
    return table


def check(path, machine, stamp, wanted_exports):
    image = pe.read(path)
    faults = []
    if image.machine != MACHINE[machine]:
        faults.append(f"machine {image.machine:#x}, not {machine} ({MACHINE[machine]:#x})")
    if image.wide != (machine != "x86"):
        faults.append("PE32+ on x86 or PE32 on a 64-bit machine")
    if image.symbols_at or image.symbols:
        faults.append("not stripped (a symbol table)")
    if stamp is not None and image.stamp != stamp:
        faults.append(f"time stamp {image.stamp}, not {stamp}")
    for flag, name in ((pe.DYNAMIC_BASE, "DYNAMIC_BASE"), (pe.NX_COMPAT, "NX_COMPAT")):
        if not image.dll_characteristics & flag:
            faults.append(f"no {name}")
    if bool(image.dll_characteristics & pe.HIGH_ENTROPY_VA) != image.wide:
        faults.append("high-entropy ASLR " + ("missing" if image.wide else "on a 32-bit image"))
    if not image.directory(pe.BASERELOC_DIRECTORY)[1]:
        faults.append("no relocation table")
    if machine in UNWOUND_BY_TABLES and not image.directory(pe.EXCEPTION_DIRECTORY)[1]:
        faults.append("no unwind tables (.pdata)")
    is_dll = bool(image.characteristics & pe.FILE_DLL)
    if is_dll != path.lower().endswith(".dll"):
        faults.append("DLL flag does not fit the file name")
    if is_dll and wanted_exports is not None:
        named, slots = pe.exports(image)
        for name, ordinal in sorted(wanted_exports.items(), key=lambda item: item[1]):
            if name not in named:
                faults.append(f"export {name} (ordinal {ordinal}) missing")
            elif named[name] != ordinal:
                faults.append(f"export {name} at ordinal {named[name]}, not {ordinal}")
        for name in sorted(set(named) - set(wanted_exports)):
            faults.append(f"export {name} not in the module-definition file")
        for ordinal in sorted(slots - set(wanted_exports.values())):
            faults.append(f"ordinal {ordinal} exported, not in the module-definition file")
    print(f"{path}: {machine}, stamp {image.stamp}, " + ("; ".join(faults) if faults else "as expected"))
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
        except (pe.Malformed, struct.error, ValueError, OSError) as error:
            print(f"{path}: cannot read the image: {error}")
            good = False
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
