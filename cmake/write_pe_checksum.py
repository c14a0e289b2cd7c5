#!/usr/bin/env python3
"""Writes the PE checksum of a linked executable into its optional header.

Windows does not check it for programs, but scanners and signing tools compute it and flag a
stale one. The linker leaves it stale, and every later step that changes the file (such as
placing the package resource last) has to be followed by this one. The sum: the file as
16-bit little-endian words (a last odd byte taken as a word of its own), the checksum field
counted as zero, carries folded back into 16 bits, plus the file's length.
"""
import array
import struct
import sys

CHECKSUM = 24 + 64  # from e_lfanew


def pe_checksum(data, field):
    words = array.array("H")
    words.frombytes(bytes(data[:len(data) & ~1]))
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) + (data[-1] if len(data) & 1 else 0)
    total -= struct.unpack_from("<H", data, field)[0] + struct.unpack_from("<H", data, field + 2)[0]
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def main(path):
    data = bytearray(open(path, "rb").read())
    field = struct.unpack_from("<I", data, 60)[0] + CHECKSUM
    struct.pack_into("<I", data, field, pe_checksum(data, field))
    open(path, "wb").write(data)


if __name__ == "__main__":
    main(sys.argv[1])
