#!/usr/bin/env python3
"""Prints a PE file's stored checksum and the checksum of its bytes, both as python's pefile
reads the headers and works the sum out: a PE reader of its own, against which the unit tests
hold the checksums that the stub's build step and lmvpack write.

  pe_checksums.py FILE      prints "STORED COMPUTED" in decimal; exit 1 when it cannot
"""
import sys

try:
    import pefile
except ImportError:
    # Debian's python3-pefile (scripts/setup.sh) lies where a Python of its own, as pyenv
    # installs one, does not look by itself.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import pefile
    except ImportError:
        sys.exit("python's pefile is missing: scripts/setup.sh installs python3-pefile")

try:
    pe = pefile.PE(sys.argv[1], fast_load=True)
except (OSError, pefile.PEFormatError) as error:
    sys.exit(f"pefile cannot read {sys.argv[1]}: {error}")
print(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
