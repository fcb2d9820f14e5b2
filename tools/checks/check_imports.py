#!/usr/bin/env python3
"""Checks that every function a shipped image imports is exported by Windows 95
and by Windows NT 4.0, so the loader finds all of them on both.

Usage: check_imports.py LIST IMAGE...
LIST is the checked-in table of importable functions (tools/windows-imports.txt).
Prints each import with the first Windows versions known to export it and exits
1 when an image imports a DLL or function the table does not allow, or the table
is wrong.
"""
import os
import struct
import sys

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))  # tools/: pe, architectures
import pe  # noqa: E402

# Present on every Windows 95 and NT 4.0 installation.
SYSTEM_DLLS = ("kernel32", "advapi32", "user32", "shell32")
# Looked up at run time where the system has them, never imported: no part of
# Windows 95 or NT 4.0, so the list keeps them under [too late] only.
LOOKED_UP_DLLS = ("psapi",)
NINE_X = ("95", "98", "Me")
NT = ("3.1", "3.5", "3.51", "4.0", "2000", "XP", "2003", "Vista", "7", "8", "8.1", "10")
KINDS = ("both", "nt-only")
SECTIONS = ("[allowed]", "[too late]")


class ListError(Exception):
    pass


class Entry:
    def __init__(self, dll, function, nine_x, nt, kind, source, section):
        self.dll, self.function, self.nine_x, self.nt = dll, function, nine_x, nt
        self.kind, self.source, self.section = kind, source, section

    def loads_on_95_and_nt4(self):
        return self.nine_x == "95" and self.nt != "-" and NT.index(self.nt) <= NT.index("4.0")

    def versions(self):
        nine_x = "no 9x" if self.nine_x == "-" else self.nine_x
        nt = "no NT" if self.nt == "-" else "NT " + self.nt
        return f"{nine_x} / {nt}"

    def why_too_late(self):
        lacking = []
        if self.nine_x != "95":
            lacking.append("Windows 95")
        if self.nt == "-" or NT.index(self.nt) > NT.index("4.0"):
            lacking.append("NT 4.0")
        return " and ".join(lacking) + " lack" + ("" if len(lacking) > 1 else "s") + " it"


def dll_key(name):
    name = name.lower()
    return name[:-4] if name.endswith(".dll") else name


def read_list(path):
    """{(dll, function): Entry}; raises ListError naming the line of the first fault."""
    entries = {}
    section = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue

            def fault(message):
                return ListError(f"{path}:{number}: {message}")

            if line.startswith("["):
                if line not in SECTIONS:
                    raise fault(f"unknown section {line}, expected one of {', '.join(SECTIONS)}")
                section = line
                continue
            fields = line.split(None, 5)
            if section is None:
                raise fault("row before the first section")
            if len(fields) < 6:
                raise fault("expected DLL FUNCTION 9X NT KIND SOURCE")
            dll, function, nine_x, nt, kind, source = fields
            dll = dll_key(dll)
            if dll not in SYSTEM_DLLS + LOOKED_UP_DLLS:
                raise fault(f"{dll}.dll is not one of {', '.join(SYSTEM_DLLS + LOOKED_UP_DLLS)}")
            if dll in LOOKED_UP_DLLS and section != "[too late]":
                raise fault(f"{dll}.dll is never imported: list {function} under [too late]")
            if nine_x not in NINE_X + ("-",):
                raise fault(f"9x version {nine_x!r} is none of {', '.join(NINE_X)}, -")
            if nt not in NT + ("-",):
                raise fault(f"NT version {nt!r} is none of {', '.join(NT)}, -")
            if kind not in KINDS:
                raise fault(f"kind {kind!r} is none of {', '.join(KINDS)}")
            if (dll, function) in entries:
                raise fault(f"{dll} {function} is listed twice")
            entry = Entry(dll, function, nine_x, nt, kind, source, section)
            if section == "[allowed]" and not entry.loads_on_95_and_nt4():
                raise fault(f"{function} is allowed, but {entry.why_too_late()} ({entry.versions()})")
            if section == "[too late]" and entry.loads_on_95_and_nt4():
                raise fault(f"{function} loads on Windows 95 and NT 4.0 ({entry.versions()}): list it as allowed")
            entries[(dll, function)] = entry
    return entries


def check_image(path, entries):
    """Prints the image's report; returns how many of its imports are not allowed."""
    rows, refused = [], 0
    for dll, function in pe.imports(pe.read(path)):
        key = dll_key(dll)
        entry = entries.get((key, function))
        if key not in SYSTEM_DLLS:
            verdict = f"not allowed: {dll} is none of the system DLLs allowed"
        elif entry is None:
            verdict = "not allowed: not in the list"
        elif entry.section != "[allowed]":
            verdict = f"not allowed: {entry.why_too_late()}"
        else:
            verdict = "OK" + (" (unverified)" if "unverified" in entry.source.lower() else "")
        refused += not verdict.startswith("OK")
        versions = entry.versions() if entry else ""
        kind = entry.kind if entry else ""
        rows.append((key, function, versions, kind, verdict))
    print(path)
    for key, function, versions, kind, verdict in rows:
        print(f"  {key:<9} {function:<30} {versions:<17} {kind:<8} {verdict}")
    print(f"{path}: {len(rows)} imports, {refused or 'none'} not allowed")
    return refused


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        entries = read_list(argv[1])
    except (ListError, OSError) as error:
        print(f"the list of importable functions is wrong: {error}")
        return 1
    failed = False
    for path in argv[2:]:
        try:
            failed = check_image(path, entries) > 0 or failed
        except (pe.Malformed, struct.error, ValueError, UnicodeDecodeError, OSError) as error:
            print(f"{path}: cannot read the import table: {error}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
