#!/usr/bin/env python3
"""The installer stub's size, section by section, as a Markdown table for docs/benchmarks.md.

  bench/stub_sections.py [build/win32/lmvstub.exe]

"in file" is the section's raw data (what every download carries, padded to the file
alignment); "in memory" its virtual size (.bss has no bytes in the file).
"""
import struct
import sys


def main(path):
    data = open(path, "rb").read()
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count = struct.unpack_from("<H", data, lfanew + 6)[0]
    table = lfanew + 24 + struct.unpack_from("<H", data, lfanew + 20)[0]
    headers = struct.unpack_from("<I", data, lfanew + 24 + 60)[0]  # SizeOfHeaders
    print("| section | in memory | in file |")
    print("|---|---:|---:|")
    print(f"| headers | | {headers:,} |")
    for i in range(count):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0").decode()
        vsize, _, raw_size = struct.unpack_from("<III", data, at + 8)
        print(f"| {name} | {vsize:,} | {raw_size:,} |")
    print(f"| **file** | | **{len(data):,}** |")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/win32/lmvstub.exe")
