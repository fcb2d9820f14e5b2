#!/usr/bin/env python3
"""Reads the version resource of a built Quell.dll straight from the PE file and
checks every value that callers and DllGetVersion rely on.

Usage: check_version_resource.py VERSION PATH/TO/Quell.dll
VERSION is the project's (project() in CMakeLists.txt): major.minor.patch[.tweak].
Exits 0 when everything matches, 1 with one line per difference otherwise.
"""
import re
import struct
import sys

RT_VERSION = 16
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


class Malformed(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def align4(offset):
    return (offset + 3) & ~3


class Image:
    """A PE32 file with its sections, for turning RVAs into file offsets."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Malformed("no MZ header")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Malformed("no PE signature")
        sections = u16(data, pe + 6)
        optional_size = u16(data, pe + 20)
        optional = pe + 24
        magic = u16(data, optional)
        if magic not in (0x10B, 0x20B):
            raise Malformed("not a PE32 or PE32+ image")
        self.wide = magic == 0x20B
        self.directories_at = optional + (112 if self.wide else 96)
        directories = u32(data, self.directories_at - 4)
        if directories <= 2:
            raise Malformed("no resource directory entry")
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, self.directories_at + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            base = table + 40 * i
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, base + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    def offset(self, rva):
        for start, size, raw_offset, raw_size in self.sections:
            if start <= rva < start + size:
                if rva - start >= raw_size:
                    raise Malformed("RVA %#x lies in uninitialised data" % rva)
                return raw_offset + rva - start
        raise Malformed("RVA %#x lies in no section" % rva)


def directory_entries(image, directory_offset):
    """(id or name, is_directory, offset of target relative to the resource section) per entry."""
    data = image.data
    named, numbered = u16(data, directory_offset + 12), u16(data, directory_offset + 14)
    entries = []
    for i in range(named + numbered):
        name, target = struct.unpack_from("<II", data, directory_offset + 16 + 8 * i)
        key = ("name", name & 0x7FFFFFFF) if name & 0x80000000 else name
        entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
    return entries


def version_resources(image):
    """[(id, language, bytes)] of every RT_VERSION resource."""
    if image.resource_rva == 0:
        raise Malformed("the image has no resources")
    root = image.offset(image.resource_rva)
    found = []
    for type_key, type_is_dir, type_target in directory_entries(image, root):
        if type_key != RT_VERSION:
            continue
        if not type_is_dir:
            raise Malformed("RT_VERSION entry is not a directory")
        for id_key, id_is_dir, id_target in directory_entries(image, root + type_target):
            if not id_is_dir:
                raise Malformed("version id entry is not a directory")
            for lang_key, lang_is_dir, lang_target in directory_entries(image, root + id_target):
                if lang_is_dir:
                    raise Malformed("version language entry is a directory")
                rva, size = struct.unpack_from("<II", image.data, root + lang_target)
                start = image.offset(rva)
                found.append((id_key, lang_key, image.data[start:start + size]))
    return found


class Node:
    def __init__(self, key, value_type, value, children):
        self.key, self.type, self.value, self.children = key, value_type, value, children


def read_node(data, offset, end):
    """One VS_VERSIONINFO-style block: wLength, wValueLength, wType, szKey, Value, Children."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    block_end = offset + length
    if length < 6 or block_end > end:
        raise Malformed("block at %#x overruns its parent" % offset)
    key_start = cursor = offset + 6
    while u16(data, cursor) != 0:
        cursor += 2
        if cursor >= block_end:
            raise Malformed("unterminated key at %#x" % offset)
    key = data[key_start:cursor].decode("utf-16-le")
    cursor = align4(cursor + 2)
    # Text values count WCHARs, binary values bytes.
    value_bytes = value_length * 2 if value_type == 1 else value_length
    if cursor + value_bytes > block_end:
        raise Malformed("value of %r overruns its block" % key)
    value = data[cursor:cursor + value_bytes]
    cursor = align4(cursor + value_bytes)
    children = []
    while cursor < block_end:
        child = read_node(data, cursor, block_end)
        children.append(child)
        cursor = align4(cursor + struct.unpack_from("<H", data, cursor)[0])
    return Node(key, value_type, value, children)


def text_value(node):
    if node.type != 1:
        raise Malformed("%r is not a text value" % node.key)
    raw = node.value
    if len(raw) < 2 or raw[-2:] != b"\0\0":
        raise Malformed("%r is not NUL-terminated" % node.key)
    return raw[:-2].decode("utf-16-le")


def check(version, path):
    problems = []
    parts = [int(part) for part in version.split(".")] + [0] * (4 - len(version.split(".")))
    project = {"MS": parts[0] << 16 | parts[1], "LS": parts[2] << 16 | parts[3],
               "VERSION": ".".join(map(str, parts))}

    def expect(what, actual, expected):
        if actual != expected:
            problems.append("%s: %r, expected %r" % (what, actual, expected))

    with open(path, "rb") as f:
        image = Image(f.read())
    resources = version_resources(image)
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
