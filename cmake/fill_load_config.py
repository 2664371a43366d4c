#!/usr/bin/env python3
"""Points a linked PE image's load-configuration directory at its _load_config_used structure.

GNU ld (2.40) links the structure but leaves the directory empty, so the loader never reads it.
Run on the image as linked, while its COFF symbol table is still there: it finds the structure by
its symbol, enters its address and the size that the structure's first field states, and brings
the header's checksum up to date. Nothing else changes; the same input always gives the same bytes.

usage: fill_load_config.py IMAGE
"""
import struct
import sys

LOAD_CONFIG_ENTRY = 10
SYMBOL_NAMES = (b"__load_config_used", b"_load_config_used")  # x86 decorates C names, x64 does not


def fail(message):
    sys.exit("fill_load_config: " + message)


def symbol_name(image, record, strings_at):
    if record[:4] == b"\0\0\0\0":
        offset = strings_at + struct.unpack_from("<I", record, 4)[0]
        return image[offset:image.index(b"\0", offset)]
    return record[:8].rstrip(b"\0")


def checksum(image, checksum_at):
    """The PE header checksum: 16-bit one's-complement-style sum of the file, its own field as zero."""
    data = image[:checksum_at] + b"\0\0\0\0" + image[checksum_at + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(image)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    if image[:2] != b"MZ":
        fail(path + ": not a PE image")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        fail(path + ": not a PE image")
    sections_count, _, symbols_at, symbols_count, optional_size = struct.unpack_from("<HIIIH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    checksum_at = optional + 64
    sections = [struct.unpack_from("<8sIIII", image, optional + optional_size + 40 * i)
                for i in range(sections_count)]
    if symbols_at == 0:
        fail(path + ": no symbol table (run before stripping)")

    strings_at = symbols_at + 18 * symbols_count
    rva = None
    index = 0
    while index < symbols_count:
        record = image[symbols_at + 18 * index:symbols_at + 18 * (index + 1)]
        value, section = struct.unpack_from("<Ih", record, 8)
        if section > 0 and symbol_name(image, record, strings_at) in SYMBOL_NAMES:
            rva = sections[section - 1][2] + value
            break
        index += 1 + record[17]
    if rva is None:
        fail(path + ": links no _load_config_used")

    file_offset = None
    for _, virtual_size, address, raw_size, raw_at in sections:
        if address <= rva < address + min(virtual_size, raw_size):
            file_offset = rva - address + raw_at
    if file_offset is None:
        fail(path + ": _load_config_used lies outside the file's section data")
    size = struct.unpack_from("<I", image, file_offset)[0]
    if size == 0:
        fail(path + ": _load_config_used states no size")

    struct.pack_into("<II", image, directories + 8 * LOAD_CONFIG_ENTRY, rva, size)
    struct.pack_into("<I", image, checksum_at, checksum(image, checksum_at))
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    main(sys.argv[1])
