#!/usr/bin/env python3
"""Lays out a linked PE file so that the data of the first resource leaf (the package
resource) is the last thing in the file.

The installer finds its package at the data of the first leaf of its resource tree and reads
on to the end of the file, and the authoring tool cuts the stub at that point. Two things the
toolchain does stand in the way, and this step undoes them without changing anything else:

- The linker places the relocation section after the resource section. The two sections
  change places (in the file and in memory); the base-relocation and resource directory
  entries and the RVAs in the resource data entries follow them. Nothing else refers to
  either section: resources are found through the directory, and no relocation fixes an
  address inside them (checked).
- The resource compiler lays the data out in directory order, which puts that leaf's data
  first. The data blobs are reordered (keeping their 8-byte alignment) and the RVAs in the
  data entries rewritten, so that the package resource's data comes last in its section.
- Whatever padding ends the section is what a bare stub's package reads as. It must hold an
  empty package (a zero header and the terminating member entry), so that the installer and
  the authoring tool see a package with no members rather than one cut short; when it is
  shorter, the section grows by a file alignment unit of zeros.

It refuses files where the resource section is not the last one with raw data once the
relocations are in front of it.
"""
import struct
import sys

OPTIONAL_HEADER = 24  # from e_lfanew
SECTION_ALIGNMENT = OPTIONAL_HEADER + 32
SIZE_OF_IMAGE = OPTIONAL_HEADER + 56
FILE_ALIGNMENT = OPTIONAL_HEADER + 36
# An empty package: agreement length, the name, the header fields and the terminating member
# entry, all zero. A bare stub must read as a package with no members, not as one cut short.
EMPTY_PACKAGE = 2 + 260 + 16 + 28
DATA_DIRECTORIES = OPTIONAL_HEADER + 96
RESOURCE_DIRECTORY = 2
BASE_RELOCATION_DIRECTORY = 5


class Pe:
    def __init__(self, data):
        self.data = data
        self.lfanew = struct.unpack_from("<I", data, 60)[0]
        self.count = struct.unpack_from("<H", data, self.lfanew + 6)[0]
        optional_size = struct.unpack_from("<H", data, self.lfanew + 20)[0]
        self.table = self.lfanew + 24 + optional_size

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def put_u32(self, at, value):
        struct.pack_into("<I", self.data, at, value)

    def section(self, i):
        """(name, virtual address, virtual size, raw pointer, raw size) of section i."""
        at = self.table + 40 * i
        name = bytes(self.data[at:at + 8]).rstrip(b"\0")
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", self.data, at + 8)
        return name, va, vsize, raw_ptr, raw_size

    def sections(self):
        return [self.section(i) for i in range(self.count)]

    def directory(self, index):
        return self.lfanew + DATA_DIRECTORIES + 8 * index


def align_up(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def resource_leaves(pe, raw_ptr):
    """File offsets of the data entries of the resource tree, in tree order."""
    leaves = []

    def walk(offset):
        named, numbered = struct.unpack_from("<HH", pe.data, raw_ptr + offset + 12)
        for k in range(named + numbered):
            target = pe.u32(raw_ptr + offset + 16 + 8 * k + 4)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF)
            else:
                leaves.append(raw_ptr + target)

    walk(0)
    return leaves


def relocated_pages(pe, reloc):
    """The page RVAs that the base-relocation blocks fix."""
    _, _, vsize, raw_ptr, _ = reloc
    pages, at, end = [], raw_ptr, raw_ptr + vsize
    while at + 8 <= end:
        page, size = struct.unpack_from("<II", pe.data, at)
        if size < 8:
            break
        pages.append(page)
        at += size
    return pages


def move_relocations_before_resources(pe, path):
    names = [s[0] for s in pe.sections()]
    if b".reloc" not in names:
        return
    r, l = names.index(b".rsrc"), names.index(b".reloc")
    if l < r:
        return
    if (r, l) != (pe.count - 2, pe.count - 1):
        sys.exit(f"{path}: expected .rsrc and .reloc to be the last two sections")
    _, rsrc_va, rsrc_vsize, rsrc_raw, rsrc_raw_size = pe.section(r)
    _, reloc_va, reloc_vsize, reloc_raw, reloc_raw_size = pe.section(l)
    if reloc_raw != rsrc_raw + rsrc_raw_size or reloc_raw + reloc_raw_size != len(pe.data):
        sys.exit(f"{path}: .rsrc and .reloc do not end the file back to back")
    if any(page >= rsrc_va for page in relocated_pages(pe, pe.section(l))):
        sys.exit(f"{path}: a relocation fixes an address in .rsrc or .reloc")

    alignment = pe.u32(pe.lfanew + SECTION_ALIGNMENT)
    new_reloc_va = rsrc_va
    new_rsrc_va = align_up(new_reloc_va + reloc_vsize, alignment)
    shift = new_rsrc_va - rsrc_va

    rsrc_bytes = bytes(pe.data[rsrc_raw:rsrc_raw + rsrc_raw_size])
    reloc_bytes = bytes(pe.data[reloc_raw:reloc_raw + reloc_raw_size])
    pe.data[rsrc_raw:] = reloc_bytes + rsrc_bytes
    rsrc_header = bytes(pe.data[pe.table + 40 * r:pe.table + 40 * r + 40])
    reloc_header = bytes(pe.data[pe.table + 40 * l:pe.table + 40 * l + 40])
    pe.data[pe.table + 40 * r:pe.table + 40 * r + 40] = reloc_header
    pe.data[pe.table + 40 * l:pe.table + 40 * l + 40] = rsrc_header
    pe.put_u32(pe.table + 40 * r + 12, new_reloc_va)
    pe.put_u32(pe.table + 40 * r + 20, rsrc_raw)
    pe.put_u32(pe.table + 40 * l + 12, new_rsrc_va)
    pe.put_u32(pe.table + 40 * l + 20, rsrc_raw + reloc_raw_size)

    pe.put_u32(pe.directory(BASE_RELOCATION_DIRECTORY), new_reloc_va)
    pe.put_u32(pe.directory(RESOURCE_DIRECTORY), new_rsrc_va)
    for entry in resource_leaves(pe, rsrc_raw + reloc_raw_size):
        pe.put_u32(entry, pe.u32(entry) + shift)
    pe.put_u32(pe.lfanew + SIZE_OF_IMAGE, align_up(new_rsrc_va + rsrc_vsize, alignment))


def place_package_data_last(pe, path):
    rsrc = [s for s in pe.sections() if s[0] == b".rsrc"]
    if len(rsrc) != 1:
        sys.exit(f"{path}: expected one .rsrc section")
    _, va, vsize, raw_ptr, raw_size = rsrc[0]
    if any(s[3] > raw_ptr for s in pe.sections() if s[4]):
        sys.exit(f"{path}: .rsrc is not the last section with raw data")
    if raw_ptr + raw_size != len(pe.data):
        sys.exit(f"{path}: data after the .rsrc section")

    blobs = []
    for entry in resource_leaves(pe, raw_ptr):
        rva, size = struct.unpack_from("<II", pe.data, entry)
        start = raw_ptr + rva - va
        blobs.append((entry, rva, bytes(pe.data[start:start + size])))
    area_start = min(rva for _, rva, _ in blobs)
    order = sorted(blobs[1:], key=lambda b: b[1]) + [blobs[0]]
    position = area_start
    placed = []
    for entry, _, blob in order:
        position = (position + 7) & ~7
        placed.append((entry, position, blob))
        position += len(blob)
    # Each blob starts on 8 bytes, so the new order may need a few more bytes than the old;
    # the section's own padding up to its file alignment takes them, or it grows.
    if position > va + raw_size:
        grow_resources(pe, position - (va + raw_size))
        _, va, vsize, raw_ptr, raw_size = rsrc_section(pe)
    first = raw_ptr + area_start - va
    pe.data[first:raw_ptr + raw_size] = bytes(raw_ptr + raw_size - first)
    for entry, rva, blob in placed:
        pe.put_u32(entry, rva)
        pe.data[raw_ptr + rva - va:raw_ptr + rva - va + len(blob)] = blob
    if position - va > vsize:
        pe.put_u32(pe.table + 40 * rsrc_index(pe) + 8, position - va)
    make_room_for_an_empty_package(pe, placed[-1][1], va + raw_size)


def rsrc_index(pe):
    return [s[0] for s in pe.sections()].index(b".rsrc")


def rsrc_section(pe):
    return pe.section(rsrc_index(pe))


def make_room_for_an_empty_package(pe, package_rva, section_end_rva):
    """Zeros after the placeholder up to an empty package's size, growing .rsrc when its
    padding is shorter."""
    room = section_end_rva - package_rva
    if room < EMPTY_PACKAGE:
        grow_resources(pe, EMPTY_PACKAGE - room)


def grow_resources(pe, at_least):
    """Grows .rsrc, the last section of the file, by whole file alignment units of zeros."""
    index = rsrc_index(pe)
    _, va, vsize, raw_ptr, raw_size = pe.section(index)
    grow = align_up(at_least, pe.u32(pe.lfanew + FILE_ALIGNMENT))
    pe.data += bytes(grow)
    header = pe.table + 40 * index
    pe.put_u32(header + 16, raw_size + grow)
    pe.put_u32(header + 8, max(vsize, raw_size + grow))
    section_alignment = pe.u32(pe.lfanew + SECTION_ALIGNMENT)
    pe.put_u32(pe.lfanew + SIZE_OF_IMAGE, align_up(va + max(vsize, raw_size + grow),
                                                    section_alignment))


def main(path):
    pe = Pe(bytearray(open(path, "rb").read()))
    move_relocations_before_resources(pe, path)
    place_package_data_last(pe, path)
    open(path, "wb").write(pe.data)


if __name__ == "__main__":
    main(sys.argv[1])
