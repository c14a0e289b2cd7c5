"""What a scenario is: its package, its runs (arguments, answers, damage, hooks) and its
checks, and the context those checks receive. The scenario table (scenarios.py) describes
each scenario by these types; scenario_runner.py plays it."""

from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

from package_sources import random_bytes
from wine_session import RunResult

WINDIR = r"C:\windows"
COMMON_APPDATA = r"C:\ProgramData"
PKG_DIR = r"C:\e2e\pkg"
# CreateProcess's error for a file that is no program the system can run.
ERROR_BAD_EXE_FORMAT = 193


class Helpers:
    """The Win32 helper programs, read from the template prefix, as member contents."""

    def __init__(self, template: Path):
        self.bin = template / "drive_c" / "e2e" / "bin"

    def program(self, role: str, overlay: int = 0, seed: int = 0) -> bytes:
        # Bytes appended to a PE file do not keep it from running: a large member that is
        # still a working program.
        return (self.bin / f"recorder_{role}.exe").read_bytes() + random_bytes(overlay, seed)


@dataclass
class Run:
    args: str = ""
    answers: list = field(default_factory=list)  # (caption, button) in order
    cancels: list = field(default_factory=list)  # (Windows path, size) in order
    shot: str | None = None  # caption of the window to photograph the screen under
    winver: str | None = None  # Wine's Windows version for this run
    damage: Callable | None = None  # (installer bytes as bytearray, listing): a damaged copy
    program: str | None = None  # a Windows path to run instead of the installer
    # (ctx) between the runs before this one and this one, with Wine stopped: the runs are
    # driven in one driver session per such hook.
    before: Callable | None = None
    # The damage leaves no program the system will start: the start must fail as such.
    loader_refuses: bool = False
    # (caption, action[, n]) each: action(ctx, xvfb) is done from outside Wine while the (nth,
    # else first) window of that caption waits for its answer (the run's other windows wait
    # meanwhile). Their windows must come in this order.
    during: list = field(default_factory=list)


@dataclass
class Scenario:
    description: str
    package: Callable[[Helpers], object]  # gives the expectations.Package to build
    runs: list
    checks: list
    small_disk: bool = False  # C: on a 96 MB file system of its own
    prepare: Callable | None = None  # (ctx) before the first run
    overrides: str = ""  # WINEDLLOVERRIDES additions, e.g. "ddraw=d"
    timeout: float = 90
    arch: str = "win32"  # win64: a 64-bit prefix set to Windows 10 (its own template)
    # The preparation gives files to another Unix user, which Wine then reports as another
    # owner (ANONYMOUS LOGON): only root may.
    gives_away_files: bool = False
    # The Unix locale Wine starts in, which sets the Windows locale and ANSI code page (None:
    # the machine's, which gives English with code page 1252 here).
    locale: str | None = None


@dataclass
class Ctx:
    scenario: Scenario
    package: object  # the expectations.Package built for it
    prefix: Path
    work: Path
    listing: dict
    results: list = field(default_factory=list)
    free_kb_before: int = 0
    elapsed: float = 0
    shares_system: bool = True  # system32 and winsxs are the template's own files

    @property
    def last(self) -> RunResult:
        return self.results[-1]

