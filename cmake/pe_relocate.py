#!/usr/bin/env python3
"""Moves the NT headers of a Windows executable to file offset 256.

A package's trailer reader looks for "PE" at offset 256 and keeps PackageEnd
in the four bytes before it (252-255), so the launcher image must carry its
NT headers there. The linker puts them at 128; the headers area (up to
SizeOfHeaders) has room behind them. Safe to run twice.
"""
import struct
import sys

TARGET = 256


def relocate(data: bytearray) -> bytearray:
    if data[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    old = struct.unpack_from("<I", data, 0x3C)[0]
    if data[old:old + 4] != b"PE\0\0":
        raise ValueError("no PE signature at e_lfanew")
    size_opt = struct.unpack_from("<H", data, old + 4 + 16)[0]
    sections = struct.unpack_from("<H", data, old + 4 + 2)[0]
    length = 4 + 20 + size_opt + 40 * sections
    opt = old + 24
    size_of_headers = struct.unpack_from("<I", data, opt + 60)[0]
    first_raw = min((struct.unpack_from("<I", data, opt + size_opt + 40 * i + 20)[0]
                     for i in range(sections)
                     if struct.unpack_from("<I", data, opt + size_opt + 40 * i + 16)[0] > 0),
                    default=size_of_headers)
    if TARGET + length > min(size_of_headers, first_raw):
        raise ValueError(f"no room: headers of {length} bytes at {TARGET} pass {size_of_headers}")
    if old == TARGET:
        return data
    if old > TARGET:
        raise ValueError(f"e_lfanew {old} already lies past {TARGET}")
    headers = bytes(data[old:old + length])
    data[old:old + length] = bytes(length)
    data[TARGET:TARGET + length] = headers
    struct.pack_into("<I", data, 0x3C, TARGET)
    data[252:256] = bytes(4)
    return data


def main() -> int:
    if len(sys.argv) != 2:
        print("usage: pe_relocate.py FILE.exe", file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    try:
        data = relocate(data)
    except ValueError as e:
        print(f"pe_relocate: {path}: {e}", file=sys.stderr)
        return 1
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    import os
    os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
