#!/usr/bin/env python3
"""Reads the version resource of a built Quell.dll straight from the PE file and
checks every value that callers and DllGetVersion rely on.

Usage: check_version_resource.py VERSION PATH/TO/Quell.dll
VERSION is the project's (project() in CMakeLists.txt): major.minor.patch[.tweak].
Exits 0 when everything matches, 1 with one line per difference otherwise.
"""
import os
import re
import struct
import sys

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))  # tools/: pe, architectures
from pe import Malformed, read, read_node, text_value, version_resources  # noqa: E402

VS_FFI_SIGNATURE = 0xFEEF04BD

# "MS" and "LS" are filled with the project's version, packed as major<<16|minor
# and patch<<16|tweak.
EXPECTED_FIXED = {
    "dwSignature": VS_FFI_SIGNATURE,
    "dwStrucVersion": 0x00010000,
    "dwFileVersionMS": "MS",
    "dwFileVersionLS": "LS",
    "dwProductVersionMS": "MS",
    "dwProductVersionLS": "LS",
    "dwFileFlagsMask": 0,
    "dwFileFlags": 0,
    "dwFileOS": 4,
    "dwFileType": 2,
    "dwFileSubtype": 0,
    "dwFileDateMS": 0,
    "dwFileDateLS": 0,
}

STRING_TABLE = "040704E4"
# The given entries, in the order they must keep among themselves; "VERSION"
# is the project's version with all four parts.
EXPECTED_STRINGS = [
    ("FileDescription", "DLL f\u00fcr das Beenden von Windows"),
    ("FileVersion", "1.0.0.0"),
    ("InternalName", "quell.dll"),
    ("OriginalFilename", "quell.dll"),
    ("ProductName", "Quell"),
    ("ProductVersion", "VERSION"),
]
# Our own entries: present, with these values, anywhere in the table.
OWN_STRINGS = {
    "CompanyName": "Quell",
    "LegalCopyright": "Copyright (C) Quell",
    "WebSite": "https://quell.invalid/",
}
EXPECTED_TRANSLATION = [(0x0407, 1252)]


def check(version, path):
    problems = []
    parts = [int(part) for part in version.split(".")] + [0] * (4 - len(version.split(".")))
    project = {"MS": parts[0] << 16 | parts[1], "LS": parts[2] << 16 | parts[3],
               "VERSION": ".".join(map(str, parts))}

    def expect(what, actual, expected):
        if actual != expected:
            problems.append("%s: %r, expected %r" % (what, actual, expected))

    resources = version_resources(read(path))
    expect("version resources (id, language)", [(r[0], r[1]) for r in resources], [(1, 0)])
    if not resources:
        return problems
    data = resources[0][2]
    root = read_node(data, 0, len(data))
    expect("root key", root.key, "VS_VERSION_INFO")
    expect("root type", root.type, 0)
    expect("fixed part size", len(root.value), 52)
    if len(root.value) == 52:
        fields = struct.unpack("<13I", root.value)
        for (name, expected), actual in zip(EXPECTED_FIXED.items(), fields):
            expect(name, actual, project.get(expected, expected))

    expect("top-level blocks", [c.key for c in root.children], ["StringFileInfo", "VarFileInfo"])
    for block in root.children:
        if block.key == "StringFileInfo":
            expect("string tables", [t.key for t in block.children], [STRING_TABLE])
            for table in block.children[:1]:
                strings = [(s.key, text_value(s)) for s in table.children]
                keys = [k for k, _ in strings]
                expect("duplicate keys", sorted({k for k in keys if keys.count(k) > 1}), [])
                values = dict(strings)
                for key, expected in EXPECTED_STRINGS + list(OWN_STRINGS.items()):
                    expect("string %s" % key, values.get(key), project.get(expected, expected))
                given = [k for k, _ in EXPECTED_STRINGS]
                expect("order of the given entries", [k for k in keys if k in given], given)
        elif block.key == "VarFileInfo":
            expect("variable entries", [v.key for v in block.children], ["Translation"])
            for var in block.children[:1]:
                expect("Translation type", var.type, 0)
                pairs = [struct.unpack_from("<HH", var.value, i) for i in range(0, len(var.value) - 3, 4)]
                expect("Translation", pairs, EXPECTED_TRANSLATION)
    return problems


def main(argv):
    if len(argv) != 3 or not re.fullmatch(r"[0-9]+(\.[0-9]+){2,3}", argv[1]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        problems = check(argv[1], argv[2])
    except (Malformed, struct.error, UnicodeDecodeError, OSError) as error:
        problems = ["cannot read the version resource: %s" % error]
    for problem in problems:
        print(problem)
    if not problems:
        print("version resource of %s: all values as expected for %s" % (argv[2], argv[1]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
