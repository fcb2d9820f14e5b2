#!/usr/bin/env python3
"""The rules of tools/windows-imports.txt as check_imports.py reads them: each row
of CASES is a one-line list, with the fault it must be refused for (a word of the
message) or None where it is a valid list. Exits 1 with one line per failure."""
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache files in the source tree
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "checks"))
import check_imports  # noqa: E402

CASES = [
    ("[allowed]\nkernel32 OpenProcess 95 3.51 both s", None),
    ("[too late]\npsapi EnumProcesses - 2000 both s", None),
    ("[allowed]\npsapi EnumProcesses - 2000 both s", "psapi"),
    ("[allowed]\npsapi EnumProcesses 95 3.1 both s", "psapi"),  # psapi is never imported, whatever it says
    ("[too late]\nntdll NtShutdownSystem - 3.51 both s", "ntdll"),
    ("[allowed]\nkernel32 CreateToolhelp32Snapshot 95 2000 both s", "NT 4.0"),
    ("[allowed]\nkernel32 GetTickCount64 - Vista both s", "Windows 95"),
    ("[too late]\nkernel32 OpenProcess 95 3.51 both s", "allowed"),
    ("[allowed]\nkernel32 OpenProcess 95 3.51 both s\nkernel32 OpenProcess 95 3.51 both s", "twice"),
    ("kernel32 OpenProcess 95 3.51 both s", "section"),
    ("[allowed]\nkernel32 OpenProcess 95 3.51 sometimes s", "kind"),
    ("[allowed]\nkernel32 OpenProcess 95 3.51 both", "expected"),
]


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "list.txt")
        for text, fault in CASES:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text + "\n")
            try:
                check_imports.read_list(path)
                refused = None
            except check_imports.ListError as error:
                refused = str(error)
            if fault is None and refused:
                failures.append(f"{text!r}: refused ({refused})")
            elif fault is not None and (refused is None or fault not in refused):
                failures.append(f"{text!r}: expected a fault naming {fault!r}, got {refused!r}")
    # The checked-in list itself is valid.
    try:
        check_imports.read_list(os.path.join(ROOT, "tools", "windows-imports.txt"))
    except check_imports.ListError as error:
        failures.append(str(error))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
