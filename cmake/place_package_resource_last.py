#!/usr/bin/env python3
"""Moves the data of the first resource leaf (the package resource) to the end of the
resource section of a linked PE file.

The installer finds its package at the data of the first leaf of its resource tree and reads
on to the end of the file, and the authoring tool cuts the stub at that point. The resource
compiler lays the data out in directory order, which puts that leaf's data first; this step
reorders the data blobs (keeping their 8-byte alignment) and rewrites the RVAs in the data
entries, so that the package resource's data is the last thing in the section. Nothing else
in the file changes. It refuses files where the section is not the last one with raw data.
"""
import struct
import sys


def main(path):
    data = bytearray(open(path, "rb").read())
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count = struct.unpack_from("<H", data, lfanew + 6)[0]
    optional_size = struct.unpack_from("<H", data, lfanew + 20)[0]
    sections = []
    for i in range(count):
        at = lfanew + 24 + optional_size + 40 * i
        name = bytes(data[at:at + 8]).rstrip(b"\0")
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, at + 8)
        sections.append((name, va, vsize, raw_ptr, raw_size))
    rsrc = [s for s in sections if s[0] == b".rsrc"]
    if len(rsrc) != 1:
        sys.exit(f"{path}: expected one .rsrc section")
    _, va, vsize, raw_ptr, raw_size = rsrc[0]
    if any(s[3] > raw_ptr for s in sections if s[4]):
        sys.exit(f"{path}: .rsrc is not the last section with raw data")
    if raw_ptr + raw_size != len(data):
        sys.exit(f"{path}: data after the .rsrc section")

    leaves = []  # offsets of data entries, in tree order

    def walk(offset):
        named, numbered = struct.unpack_from("<HH", data, raw_ptr + offset + 12)
        for k in range(named + numbered):
            target = struct.unpack_from("<I", data, raw_ptr + offset + 16 + 8 * k + 4)[0]
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF)
            else:
                leaves.append(target)

    walk(0)
    blobs = []
    for entry in leaves:
        rva, size = struct.unpack_from("<II", data, raw_ptr + entry)
        start = raw_ptr + rva - va
        blobs.append((entry, rva, bytes(data[start:start + size])))
    area_start = min(rva for _, rva, _ in blobs)
    area_end = max(rva + len(b) for _, rva, b in blobs)
    order = sorted(blobs[1:], key=lambda b: b[1]) + [blobs[0]]
    position = area_start
    placed = []
    for entry, _, blob in order:
        position = (position + 7) & ~7
        placed.append((entry, position, blob))
        position += len(blob)
    if position > area_end:
        sys.exit(f"{path}: reordered resources do not fit")
    first = raw_ptr + area_start - va
    data[first:raw_ptr + raw_size] = bytes(raw_ptr + raw_size - first)
    for entry, rva, blob in placed:
        struct.pack_into("<I", data, raw_ptr + entry, rva)
        data[raw_ptr + rva - va:raw_ptr + rva - va + len(blob)] = blob
    open(path, "wb").write(data)


if __name__ == "__main__":
    main(sys.argv[1])
