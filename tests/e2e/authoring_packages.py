"""Packages branded and signed by lmvpack, for the scenarios that check that the installer
behaves the same with an author's icon and version information, and when signed."""

from __future__ import annotations

import os
import struct
import subprocess
from pathlib import Path

from wine_session import HarnessError


def icon_file() -> bytes:
    """An .ico with a 16x16 and a 32x32 image, 32-bit, each a whole bitmap with its mask."""
    images = []
    for size, shade in ((16, 0x40), (32, 0xC0)):
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = bytes([shade, 0x80, 0x20, 0xFF]) * size * size
        mask = bytes(((size + 31) // 32 * 4) * size)
        images.append((size, header + pixels + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


# The version brand_manifest gives, which the installer writes as DisplayVersion.
BRAND_VERSION = "3.4.5.6"


def brand_manifest(manifest: Path) -> None:
    """Gives the manifest an icon and a [version] whose company and version differ from the
    installer's own Uninstall values, so that a leak of either into the seven would show."""
    (manifest.parent / "brand.ico").write_bytes(icon_file())
    text = manifest.read_text(encoding="utf-8")
    manifest.write_text('icon = "brand.ico"\n' + text +
                        '\n[version]\nproduct = "Aurora Deluxe"\nversion = "' + BRAND_VERSION + '"\n'
                        'company = "Acme Savers"\ncopyright = "(c) 2025 Acme Savers"\n',
                        encoding="utf-8")


def sign_installer(installer: Path, folder: Path, lmvpack: Path) -> None:
    """Signs the built installer in place with a throwaway self-signed certificate whose key
    is protected by a password (given through the environment, as an author would)."""
    keys = folder / "keys"
    keys.mkdir(exist_ok=True)
    password = "throwaway password"
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-days", "2",
                           "-subj", "/CN=Scenario Signer", "-passout", f"pass:{password}",
                           "-keyout", str(keys / "key.pem"), "-out", str(keys / "cert.pem")],
                          capture_output=True, timeout=120)
    if made.returncode != 0:
        raise HarnessError(f"openssl could not make a certificate: {made.stderr.decode()}")
    signed = subprocess.run([str(lmvpack), "sign", str(installer), "-o", str(installer),
                             "--cert", str(keys / "cert.pem"), "--key", str(keys / "key.pem")],
                            capture_output=True, timeout=300,
                            env=dict(os.environ, LMVPACK_KEY_PASSWORD=password))
    if signed.returncode != 0:
        raise HarnessError(f"lmvpack sign failed: {signed.stderr.decode(errors='replace')}")


def security_directory(installer: bytes) -> tuple:
    """(file offset, size) of the PE certificate table; (0, 0) when unsigned."""
    lfanew = struct.unpack_from("<I", installer, 60)[0]
    return struct.unpack_from("<II", installer, lfanew + 24 + 96 + 8 * 4)
