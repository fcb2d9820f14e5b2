#!/usr/bin/env python3
"""Fails when an image holds an instruction that a 386 lacks.

Windows 95 runs on a 386; every shipped binary must too.
Usage: check_instruction_set.py OBJDUMP IMAGE...
"""
import re
import subprocess
import sys

# 486 and later: compare-exchange, exchange-add, byte swap, conditional moves,
# processor identification, time stamps, MMX and SSE registers, fast system calls.
LATER = re.compile(r"\t(cmpxchg\w*|xadd\w*|bswap|cmov\w+|fcmov\w+|f[u]?comip?|cpuid|rdtsc\w*|sysenter|sysexit)\b"
                   r"|%[xy]?mm\d")


def later_instructions(objdump, image):
    listing = subprocess.run([objdump, "-d", image], check=True, capture_output=True, text=True).stdout
    return [line.strip() for line in listing.splitlines() if LATER.search(line)]


def main(argv) -> int:
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    objdump, images = argv[1], argv[2:]
    failed = False
    for image in images:
        found = later_instructions(objdump, image)
        for line in found:
            print(f"{image}: not for a 386: {line}")
        print(f"{image}: {'no' if not found else len(found)} instructions beyond the 386")
        failed = failed or bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
