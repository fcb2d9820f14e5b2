"""Reads PE images (DLLs and programs) for every tool and test: the headers,
sections, data directories, exports, imports and version resources. One reader,
so that a fault in the format is mended once.

  image = pe.read(path)  or  pe.Image(data)
  image.machine, image.stamp, image.characteristics, image.dll_characteristics,
  image.wide (PE32+), image.directory(index) -> (rva, size), image.offset(rva)
  pe.exports(image), pe.imports(image), pe.version_resources(image), pe.read_node(...)
Malformed or struct.error for an image that is not what it claims.
"""
import struct

EXPORT_DIRECTORY, IMPORT_DIRECTORY, RESOURCE_DIRECTORY = 0, 1, 2
EXCEPTION_DIRECTORY, CERTIFICATE_DIRECTORY, BASERELOC_DIRECTORY = 3, 4, 5
RT_VERSION = 16
HEADERS = 0x1000  # the headers lie within the image's first page
FILE_DLL = 0x2000
DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT = 0x40, 0x20, 0x100


class Malformed(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def align4(offset):
    return (offset + 3) & ~3


def c_string(data, offset):
    end = data.index(b"\0", offset)
    return data[offset:end].decode("ascii")


def header_at(data):
    """The offset of the PE signature; the machine type follows it."""
    if data[:2] != b"MZ":
        raise Malformed("no MZ header")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise Malformed("no PE signature")
    return pe


def machine(data):
    """The machine type of an image's bytes."""
    return u16(data, header_at(data) + 4)


class Image:
    """A PE32 or PE32+ file with its sections, for turning RVAs into file offsets."""

    def __init__(self, data):
        self.data = data
        pe = header_at(data)
        (self.machine, sections, self.stamp, self.symbols_at, self.symbols, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = u16(data, optional)
        if magic not in (0x10B, 0x20B):
            raise Malformed("not a PE32 or PE32+ image")
        self.wide = magic == 0x20B
        self.dll_characteristics = u16(data, optional + 70)
        self.directories_at = optional + (112 if self.wide else 96)
        self.directories = u32(data, self.directories_at - 4)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            base = table + 40 * i
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, base + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    def directory(self, index):
        """(rva, size) of a data directory; (0, 0) where the image has none."""
        if index >= self.directories:
            return 0, 0
        return struct.unpack_from("<II", self.data, self.directories_at + 8 * index)

    def offset(self, rva):
        for start, size, raw_offset, raw_size in self.sections:
            if start <= rva < start + size:
                if rva - start >= raw_size:
                    raise Malformed("RVA %#x lies in uninitialised data" % rva)
                return raw_offset + rva - start
        raise Malformed("RVA %#x lies in no section" % rva)


def read(path):
    with open(path, "rb") as f:
        return Image(f.read())


def exports(image):
    """({name: ordinal}, {ordinal of every slot with an address}) of the export directory."""
    rva, size = image.directory(EXPORT_DIRECTORY)
    if not rva or not size:
        return {}, set()
    data = image.data
    at = image.offset(rva)
    base, functions, names, functions_rva, names_rva, ordinals_rva = struct.unpack_from("<IIIIII", data, at + 16)
    slots = {base + i for i in range(functions) if u32(data, image.offset(functions_rva) + 4 * i)}
    named = {}
    for i in range(names):
        name = c_string(data, image.offset(u32(data, image.offset(names_rva) + 4 * i)))
        named[name] = base + u16(data, image.offset(ordinals_rva) + 2 * i)
    return named, slots


def imports(image):
    """[(dll, function name or 'ordinal N')] in the order of the image's import table."""
    data = image.data
    directory_rva, directory_size = image.directory(IMPORT_DIRECTORY)
    if directory_rva == 0 or directory_size == 0:
        return []
    found = []
    descriptor = image.offset(directory_rva)
    width = 8 if image.wide else 4
    while True:
        lookup_rva, _, _, name_rva, address_rva = struct.unpack_from("<IIIII", data, descriptor)
        if name_rva == 0 and address_rva == 0:
            return found
        dll = c_string(data, image.offset(name_rva))
        thunk = image.offset(lookup_rva or address_rva)
        while True:
            value = struct.unpack_from("<Q" if image.wide else "<I", data, thunk)[0]
            if value == 0:
                break
            if value >> (8 * width - 1):
                found.append((dll, f"ordinal {value & 0xFFFF}"))
            else:
                found.append((dll, c_string(data, image.offset(value & 0x7FFFFFFF) + 2)))
            thunk += width
        descriptor += 20


def _resource_entries(image, directory_offset):
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
    resource_rva = image.directory(RESOURCE_DIRECTORY)[0]
    if resource_rva == 0:
        raise Malformed("the image has no resources")
    root = image.offset(resource_rva)
    found = []
    for type_key, type_is_dir, type_target in _resource_entries(image, root):
        if type_key != RT_VERSION:
            continue
        if not type_is_dir:
            raise Malformed("RT_VERSION entry is not a directory")
        for id_key, id_is_dir, id_target in _resource_entries(image, root + type_target):
            if not id_is_dir:
                raise Malformed("version id entry is not a directory")
            for lang_key, lang_is_dir, lang_target in _resource_entries(image, root + id_target):
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
        cursor = align4(cursor + u16(data, cursor))
    return Node(key, value_type, value, children)


def text_value(node):
    if node.type != 1:
        raise Malformed("%r is not a text value" % node.key)
    raw = node.value
    if len(raw) < 2 or raw[-2:] != b"\0\0":
        raise Malformed("%r is not NUL-terminated" % node.key)
    return raw[:-2].decode("utf-16-le")
