#!/usr/bin/env python3
"""The include rule: which folder of the product may include which.

  check_includes.py [--root DIR]

Reads every `#include "..."` of the installer's folders, the uninstaller and lmvpack's rooms,
and fails naming each line that includes a folder its own folder may not include, each include
of a folder the rule does not know (tests/, say), and each source file of lmvpack that lies
outside its rooms. An include without a folder (a file beside the includer, or one the build
generates) is the includer's own business. The test command runs it (CTest: unit_include_rule);
README.md's layout table says what each folder holds.
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

LMVPACK = "tools/lmvpack"

# Each folder with the folders it may include besides itself. The installer's folders stand
# in layers, each on those below it: the kernel layer, the package, decoding, the
# installation, the front end; the uninstaller shares the kernel layer and the installation's
# folder rules. lmvpack's rooms (tools/lmvpack/README.md) stand in layers too: support, then
# the PE format and the codec, then installer files, the manifest, the builder; the front
# rooms (preview, process, signing, trial) on what they need (a trial finds what the
# installer left by the installer's own layout, install/install_layout.h); cli, which alone
# may include everything, on top. So each room can be read, tested and changed knowing only what is
# below it, and the Linux-only rooms (process, signing, trial) are never needed by the
# portable ones that lmvpack.exe is built from.
RULE: dict[str, tuple[str, ...]] = {
    "platform": (),
    "resources": (),
    "package": ("platform",),
    "decode": ("platform", "package"),
    "install": ("platform", "package", "decode", "resources"),
    "frontend": ("platform", "package", "decode", "install", "resources"),
    "uninstaller": ("platform", "install", "resources"),
    f"{LMVPACK}/support": (),
    f"{LMVPACK}/pe": (f"{LMVPACK}/support",),
    f"{LMVPACK}/codec": (f"{LMVPACK}/support", "decode"),
    f"{LMVPACK}/installer": (f"{LMVPACK}/support", f"{LMVPACK}/pe", f"{LMVPACK}/codec",
                             "platform", "package", "install"),
    f"{LMVPACK}/manifest": (f"{LMVPACK}/support", f"{LMVPACK}/pe", f"{LMVPACK}/installer",
                            "package"),
    f"{LMVPACK}/builder": (f"{LMVPACK}/support", f"{LMVPACK}/pe", f"{LMVPACK}/codec",
                           f"{LMVPACK}/installer", f"{LMVPACK}/manifest"),
    f"{LMVPACK}/preview": (f"{LMVPACK}/support", "frontend"),
    f"{LMVPACK}/process": (f"{LMVPACK}/support",),
    f"{LMVPACK}/signing": (f"{LMVPACK}/support", f"{LMVPACK}/pe", f"{LMVPACK}/installer",
                           f"{LMVPACK}/process"),
    f"{LMVPACK}/trial": (f"{LMVPACK}/support", f"{LMVPACK}/installer", f"{LMVPACK}/process",
                         "install"),
}
EVERYTHING = "everything"
RULE[f"{LMVPACK}/cli"] = (EVERYTHING,)

SOURCE_SUFFIXES = {".h", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path: str) -> str | None:
    """The rule's folder that holds `path` (the longest that does), or None."""
    best = None
    for folder in RULE:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def shown(folder: str) -> str:
    return folder.removeprefix(LMVPACK + "/") + "/"


def allowed_text(folder: str) -> str:
    allowed = RULE[folder]
    if allowed == (EVERYTHING,):
        return "everything"
    return ", ".join(shown(other) for other in allowed) if allowed else "nothing but itself"


def check(root: Path) -> list[str]:
    problems = []
    for top in sorted({folder.split("/")[0] for folder in RULE}):
        for file in sorted((root / top).rglob("*")):
            if file.suffix not in SOURCE_SUFFIXES or not file.is_file():
                continue
            relative = file.relative_to(root).as_posix()
            folder = folder_of(relative)
            if folder is None:
                if relative.startswith(LMVPACK + "/"):
                    problems.append(f"{relative}: lies in no room of lmvpack; move it into the "
                                    "room of its responsibility (tools/lmvpack/README.md)")
                continue
            allowed = RULE[folder]
            lines = file.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match or "/" not in match.group(1):
                    continue
                target = folder_of(match.group(1))
                if target == folder or (target is not None and EVERYTHING in allowed):
                    continue
                where = f"{relative}:{number}: {line.strip()}"
                if target is None:
                    problems.append(f"{where}: includes a folder that the include rule does not "
                                    "know, which no product code may include")
                elif target not in allowed:
                    problems.append(f"{where}: {shown(folder)} may not include {shown(target)} "
                                    f"({shown(folder)} may include {allowed_text(folder)})")
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", type=Path, default=Path(__file__).resolve().parent.parent,
                        help="the tree to check (default: the one this script is in)")
    args = parser.parse_args()
    problems = check(args.root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_includes: {len(problems)} include(s) break the rule "
              "(scripts/check_includes.py holds it)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
