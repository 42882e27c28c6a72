#!/usr/bin/env python3
"""Compacts the 32-bit launcher image as its link script lays it out.

The link (cmake/windows.cmake) leaves a code section that also holds the
read-only import tables and the resources, a writable data section that
ends with the import address table, and the zeroed data. This step, run
before pe_relocate.py:
  - points the import and resource directories at the tables that the link
    script names in the link map (the linker finds neither outside their
    usual sections);
  - clears the import address table in the file: the loader fills it in from
    the name lookup tables (every import descriptor has one, and none is
    bound), so its first contents are never read;
  - folds the zeroed data into the data section, whose trailing zero bytes
    (the cleared address table among them) then need no room in the file;
  - keeps the data directories up to the certificate table, which signing
    fills in (the others are all empty; the address table's entry only tells
    the loader what to unprotect, and the table lies in writable data), so
    that the headers, with the NT headers at 256, fit in 512 bytes.
Fails, leaving the file alone, when the image is not laid out so.
"""
import re
import struct
import sys

KEPT_DIRECTORIES = 5  # export, import, resource, exception, certificate
IMPORT, RESOURCE, ADDRESS_TABLE = 1, 2, 12
SCN_CODE, SCN_INITIALIZED, SCN_UNINITIALIZED = 0x20, 0x40, 0x80
SCN_WRITE = 0x80000000
SYMBOLS = ("__imports_start__", "__imports_end__", "__rsrc_start__", "__rsrc_end__")


def align(value, unit):
    return (value + unit - 1) // unit * unit


def map_symbols(text):
    found = {}
    for line in text.splitlines():
        m = re.match(r"\s+0x([0-9a-f]+)\s+(__\w+__) = \.$", line)
        if m and m.group(2) in SYMBOLS:
            found[m.group(2)] = int(m.group(1), 16)
    missing = [name for name in SYMBOLS if name not in found]
    if missing:
        raise ValueError(f"link map names no {', '.join(missing)}")
    return found


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature at e_lfanew")
        self.opt = self.pe + 24
        if struct.unpack_from("<H", data, self.opt)[0] != 0x10B:
            raise ValueError("not a 32-bit image")
        self.image_base = struct.unpack_from("<I", data, self.opt + 28)[0]
        self.file_alignment = struct.unpack_from("<I", data, self.opt + 36)[0]
        self.directory_count = struct.unpack_from("<I", data, self.opt + 92)[0]
        count = struct.unpack_from("<H", data, self.pe + 6)[0]
        table = self.opt + struct.unpack_from("<H", data, self.pe + 20)[0]
        # [name, virtual size, rva, raw size, raw offset, characteristics]
        self.sections = []
        for i in range(count):
            at = table + 40 * i
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            flags = struct.unpack_from("<I", data, at + 36)[0]
            self.sections.append([data[at:at + 8], vsize, rva, raw_size, raw, flags])

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.opt + 96 + 8 * index)

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.data, self.opt + 96 + 8 * index, rva, size)

    def section_of(self, rva):
        for section in self.sections:
            if section[2] <= rva < section[2] + max(section[1], section[3]):
                return section
        raise ValueError(f"rva {rva:#x} lies in no section")

    def offset_of(self, rva):
        section = self.section_of(rva)
        if rva - section[2] >= section[3]:
            raise ValueError(f"rva {rva:#x} has no bytes in the file")
        return section[4] + rva - section[2]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset_of(rva))[0]


def clear_address_table(image):
    descriptor = image.directory(IMPORT)[0]
    while True:
        lookup, stamp, _, name, thunks = struct.unpack_from(
            "<IIIII", image.data, image.offset_of(descriptor))
        if (lookup, name, thunks) == (0, 0, 0):
            return
        if lookup == 0 or stamp != 0:
            raise ValueError(f"import descriptor at {descriptor:#x} has no lookup table or is bound")
        if not image.section_of(thunks)[5] & SCN_WRITE:
            raise ValueError(f"import address table at {thunks:#x} is not writable")
        entries = 1
        while image.u32(lookup + 4 * (entries - 1)) != 0:
            entries += 1
        start, lookup_at = image.offset_of(thunks), image.offset_of(lookup)
        if image.data[start:start + 4 * entries] != image.data[lookup_at:lookup_at + 4 * entries]:
            raise ValueError(f"import address table at {thunks:#x} differs from its lookup table")
        image.data[start:start + 4 * entries] = bytes(4 * entries)
        descriptor += 20


def compact(data, symbols):
    image = Image(bytearray(data))
    to_rva = lambda name: symbols[name] - image.image_base
    image.set_directory(IMPORT, to_rva("__imports_start__"),
                        symbols["__imports_end__"] - symbols["__imports_start__"])
    image.set_directory(RESOURCE, to_rva("__rsrc_start__"),
                        symbols["__rsrc_end__"] - symbols["__rsrc_start__"])
    for index in range(KEPT_DIRECTORIES, image.directory_count):
        if index != ADDRESS_TABLE and image.directory(index) != (0, 0):
            raise ValueError(f"data directory {index} is in use")
    clear_address_table(image)

    sections = image.sections
    if len(sections) != 3 or sections[2][3] != 0 or not sections[1][5] & SCN_WRITE:
        raise ValueError("expected code, writable data and zeroed data sections")
    data_section, zeroed = sections[1], sections.pop()
    data_section[1] = zeroed[2] + zeroed[1] - data_section[2]
    if data_section[4] + data_section[3] != len(image.data):
        raise ValueError("the data section does not end the file")
    body = image.data[data_section[4]:].rstrip(b"\0")
    data_section[3] = align(len(body), image.file_alignment)
    if data_section[3] > image.file_alignment:
        # The link script fills the first 512 bytes with import tables that
        # would otherwise lie in the code section; past them, each byte more
        # costs a whole 512 in the file.
        print(f"pe_compact: warning: the data section takes {len(body)} bytes in the file, "
              f"past {image.file_alignment}: move import tables back to the code section "
              "(cmake/windows.cmake)", file=sys.stderr)

    # Headers: the NT headers end up at 256 (pe_relocate.py); the raw data
    # moves down to the first file-aligned offset past them.
    optional_size = 96 + 8 * KEPT_DIRECTORIES
    headers_end = 256 + 24 + optional_size + 40 * len(sections)
    old_headers = struct.unpack_from("<I", image.data, image.opt + 60)[0]
    new_headers = align(headers_end, image.file_alignment)
    if new_headers > old_headers or sections[0][4] != old_headers:
        raise ValueError("the section data does not follow the headers")
    out = bytearray(image.data[:new_headers])
    out[image.opt + 96 + 8 * KEPT_DIRECTORIES:] = bytes(new_headers - image.opt - 96 - 8 * KEPT_DIRECTORIES)
    for section in sections:
        raw = image.data[section[4]:section[4] + section[3]]
        section[4] = len(out)
        out += raw + bytes(section[3] - len(raw))
    struct.pack_into("<H", out, image.pe + 6, len(sections))
    struct.pack_into("<H", out, image.pe + 20, optional_size)
    struct.pack_into("<I", out, image.opt + 92, KEPT_DIRECTORIES)
    struct.pack_into("<I", out, image.opt + 60, new_headers)
    code = sum(s[3] for s in sections if s[5] & SCN_CODE)
    struct.pack_into("<III", out, image.opt + 4, code, len(out) - new_headers - code,
                     sum(s[1] - s[3] for s in sections if s[1] > s[3]))
    table = image.opt + optional_size
    for i, (name, vsize, rva, raw_size, raw, flags) in enumerate(sections):
        flags = flags & ~SCN_UNINITIALIZED if flags & SCN_WRITE else flags
        out[table + 40 * i:table + 40 * i + 8] = name
        struct.pack_into("<IIII", out, table + 40 * i + 8, vsize, rva, raw_size, raw)
        struct.pack_into("<I", out, table + 40 * i + 36, flags)
    return out


def main():
    if len(sys.argv) != 3:
        print("usage: pe_compact.py FILE.exe LINK.map", file=sys.stderr)
        return 2
    path, map_path = sys.argv[1:]
    try:
        with open(map_path) as f:
            symbols = map_symbols(f.read())
        with open(path, "rb") as f:
            data = compact(f.read(), symbols)
    except ValueError as e:
        print(f"pe_compact: {path}: {e}", file=sys.stderr)
        return 1
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    import os
    os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
