"""Building the scenarios' packages: member contents, the manifest lmvpack reads, lmvpack's
build and listing, and the header edits that make layouts the authoring tool does not produce
by itself."""

from __future__ import annotations

import json
import random
import subprocess
from dataclasses import dataclass
from pathlib import Path

from wine_session import HarnessError


def random_bytes(size: int, seed: int) -> bytes:
    return random.Random(seed).randbytes(size)


def compressible_bytes(size: int, seed: int) -> bytes:
    """Text-like data that the codec shrinks well, varied enough to exercise it."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(300)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\r\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def wav_bytes(samples: int = 8000) -> bytes:
    """A valid PCM WAV file (8 kHz, 8-bit mono, silence): the wave device opens it."""
    data = b"\x80" * samples
    fmt = (1).to_bytes(2, "little") + (1).to_bytes(2, "little") + (8000).to_bytes(4, "little") \
        + (8000).to_bytes(4, "little") + (1).to_bytes(2, "little") + (8).to_bytes(2, "little")
    body = b"WAVE" + b"fmt " + len(fmt).to_bytes(4, "little") + fmt \
        + b"data" + len(data).to_bytes(4, "little") + data
    return b"RIFF" + len(body).to_bytes(4, "little") + body


def toml_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


@dataclass
class Member:
    """One member's content and how the package stores it."""
    content: bytes
    compress: object = False  # False, True or "auto"
    suffix: str | None = None  # media members only
    prefix: str = "FILE"


def write_manifest(folder: Path, name: str, members: list, agreement: str | None = None,
                   needs_directx: bool = False, top_color: str = "#0000FF",
                   bottom_color: str = "#000000", first_media_number: int = 1) -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    lines = [f"name = {toml_string(name)}",
             f"needs_directx = {'true' if needs_directx else 'false'}",
             f"top_color = {toml_string(top_color)}",
             f"bottom_color = {toml_string(bottom_color)}",
             f"first_media_number = {first_media_number}"]
    if agreement is not None:
        (folder / "agreement.txt").write_bytes(agreement.encode("cp1252"))
        lines.append('agreement = "agreement.txt"')

    def compress_value(c):
        return '"auto"' if c == "auto" else ("true" if c else "false")

    for key, member in zip(("screensaver", "data", "uninstaller"), members[:3]):
        (folder / f"{key}.bin").write_bytes(member.content)
        lines.append(f"{key} = {{ file = \"{key}.bin\", compress = {compress_value(member.compress)} }}")
    for i, member in enumerate(members[3:]):
        (folder / f"media{i}.bin").write_bytes(member.content)
        lines += ["", "[[media]]", f'file = "media{i}.bin"', f"suffix = {toml_string(member.suffix)}",
                  f"prefix = {toml_string(member.prefix)}",
                  f"compress = {compress_value(member.compress)}"]
    manifest = folder / "manifest.toml"
    manifest.write_text("\n".join(lines) + "\n", encoding="utf-8")
    return manifest


def build_installer(lmvpack: Path, stub: Path, manifest: Path, out: Path) -> dict:
    """lmvpack build, then its own listing of the result (as JSON)."""
    result = subprocess.run([str(lmvpack), "build", str(manifest), "-o", str(out), "--stub", str(stub)],
                            capture_output=True, timeout=300)
    if result.returncode != 0:
        raise HarnessError(f"lmvpack build failed ({result.returncode}):\n"
                           f"{result.stdout.decode(errors='replace')}{result.stderr.decode(errors='replace')}")
    listing = subprocess.run([str(lmvpack), "list", str(out), "--json"], capture_output=True, timeout=60)
    if listing.returncode != 0:
        raise HarnessError(f"lmvpack list failed: {listing.stderr.decode(errors='replace')}")
    return json.loads(listing.stdout)


def end_member_table_at(installer: Path, listing: dict, count: int) -> None:
    """Turns the entry at index count into the terminator, so the package holds only its
    first count members (a layout the authoring tool does not produce by itself)."""
    data = bytearray(installer.read_bytes())
    table = listing["package_offset"] + 278 + listing["agreement_length"]
    entry = table + 28 * count
    data[entry:entry + 28] = bytes(28)
    installer.write_bytes(bytes(data))


def patch_terminator_unpacked_size(installer: Path, listing: dict, size: int) -> None:
    data = bytearray(installer.read_bytes())
    table = listing["package_offset"] + 278 + listing["agreement_length"]
    at = table + 28 * len(listing["members"]) + 8
    if data[at - 4:at] != bytes(4):
        raise HarnessError("the entry after the members must be the terminator")
    data[at:at + 4] = size.to_bytes(4, "little")
    installer.write_bytes(bytes(data))


def header_offsets(listing: dict) -> tuple:
    """(offset of ScreenSaverName, offset of the member table) in the installer file."""
    name = listing["package_offset"] + 2 + listing["agreement_length"]
    return name, name + 276
