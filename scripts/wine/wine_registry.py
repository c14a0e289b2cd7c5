"""Wine's registry files (system.reg, user.reg), read from the Linux side once the wineserver
has saved them."""

from __future__ import annotations

import re
from pathlib import Path


def _unescape_reg_string(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n == "x":
            m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        else:
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0", "a": "\a", "b": "\b",
                        "e": "\x1b", "f": "\f", "v": "\v"}.get(n, n))
            i += 2
    return "".join(out)


def read_registry(reg_file: Path) -> dict:
    """Parses a wineserver registry file (system.reg, user.reg) into
    {key path lower-case: {"name": original key, "values": {value name: (type, data)}}}.
    Types: "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD", or "hex(N)" with bytes."""
    keys: dict = {}
    current = None
    text = reg_file.read_text(encoding="utf-8", errors="replace")
    text = text.replace("\\\n  ", "")  # continued hex lines
    for line in text.split("\n"):
        if line.startswith("["):
            name = _unescape_reg_string(line[1:line.rindex("]")])
            current = keys.setdefault(name.lower(), {"name": name, "values": {}})
            continue
        if current is None or not line or line[0] not in '"@':
            continue
        if line.startswith("@="):
            vname, rest = "", line[2:]
        else:
            m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                continue
            vname, rest = _unescape_reg_string(m.group(1)), m.group(2)
        if rest.startswith('"'):
            value = ("REG_SZ", _unescape_reg_string(rest[1:-1]))
        elif rest.startswith("str(2):"):
            value = ("REG_EXPAND_SZ", _unescape_reg_string(rest[8:-1]))
        elif rest.startswith("str(7):"):
            value = ("REG_MULTI_SZ", _unescape_reg_string(rest[8:-1]))
        elif rest.startswith("dword:"):
            value = ("REG_DWORD", int(rest[6:], 16))
        elif rest.startswith("hex"):
            m = re.match(r"hex(?:\((\w+)\))?:(.*)$", rest)
            raw = bytes(int(b, 16) for b in m.group(2).split(",") if b.strip())
            value = (f"hex({m.group(1) or '3'})", raw)
        else:
            value = ("unknown", rest)
        current["values"][vname] = value
    return keys
