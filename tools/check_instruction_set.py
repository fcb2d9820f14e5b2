#!/usr/bin/env python3
"""Fails when the image holds an instruction that a 386 lacks.

Windows 95 runs on a 386; the library must too. Usage: check_instruction_set.py OBJDUMP DLL
"""
import re
import subprocess
import sys

# 486 and later: compare-exchange, exchange-add, byte swap, conditional moves,
# processor identification, time stamps, MMX and SSE registers, fast system calls.
LATER = re.compile(r"\t(cmpxchg\w*|xadd\w*|bswap|cmov\w+|fcmov\w+|f[u]?comip?|cpuid|rdtsc\w*|sysenter|sysexit)\b"
                   r"|%[xy]?mm\d")


def main() -> int:
    objdump, dll = sys.argv[1], sys.argv[2]
    listing = subprocess.run([objdump, "-d", dll], check=True, capture_output=True, text=True).stdout
    found = [line.strip() for line in listing.splitlines() if LATER.search(line)]
    for line in found:
        print("not for a 386:", line)
    print(f"{dll}: {'no' if not found else len(found)} instructions beyond the 386")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
