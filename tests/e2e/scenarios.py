"""The end-to-end scenarios: each is a short package description, the runs of the installer
with the answers a user gives, and a short list of expectations.

Expected texts are the installer's documented messages; expected files, log lines and
registry values are worked out from the package the scenario builds.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

import authoring_packages
import harness
from harness import Member, HarnessError

WINDIR = r"C:\windows"
COMMON_APPDATA = r"C:\ProgramData"
FALLBACK_APPDATA = WINDIR + r"\All Users\Application Data"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Where a 32-bit installer's key lands in a 64-bit Windows (registry redirection).
UNINSTALL_KEY_WOW64 = r"Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"
PKG_DIR = r"C:\e2e\pkg"

CONFIRM_TEXT = ("This program will install {name} Screen Saver to {windir} and will make it your "
                "default Screen Saver.  This installation will take {size} bytes.")
REPLACE_TEXT = ("There is already a screen saver by the same name ({file}) installed on your "
                "system.  Would you like to replace it?")
DISK_FULL_TEXT = ("You will need {needed} kilobytes free in your Windows directory to install this "
                  "screen saver.  It appears that you only have {free} kilobytes free on this "
                  "drive.  Would you like to continue the installation?")
ABORT_TEXT = "Are you sure you would like to abort this installation?"
DIRECTX_TEXT = ("You do not have DirectX 7 or higher installed. To get the best performance out of "
                "this software, you will need to install this Windows component. Would you like "
                "to do download it now?")
CODEC_HEAD = "The following file types are not currently supported by your Windows media player:\r\n\r\n"
CODEC_MIDDLE = ("\r\nThese file types must be supported before you can run this file.  Click on the "
                "OK button below to download a copy from ")
CODEC_TAIL = ".  If you wish to get this file at a later time, click Cancel."
# The installer's own messages for a package it refuses before asking anything, shown under
# "Error!!!" with OK only, in silent mode too; the process then exits with REFUSED_STATUS.
DAMAGED_TEXT = ("The screen saver package inside this installer is damaged or missing, so nothing "
                "can be installed.  Please download the installer again.")
UNUSABLE_NAME_TEXT = "The screen saver's name in this package cannot be used as a file name."
OUTSIDE_TEXT = ("This installation package names a file outside the folders it installs into. "
                "It cannot be installed, and nothing has been changed.")
REFUSED_STATUS = 5
INCOMPLETE_TEXT = ("The installation of {name} Screen Saver could not be completed: the installer "
                   "file is damaged, or a file could not be created.  The screen saver has not been "
                   "made your default Screen Saver.  Please download the installer again.")
INCOMPLETE_STATUS = 4
# CreateProcess's error for a file that is no program the system can run.
ERROR_BAD_EXE_FORMAT = 193


def thousands(n: int) -> str:
    return f"{n:,}"


# --- Packages -------------------------------------------------------------------------------

@dataclass
class Package:
    name: str
    members: list
    agreement: str | None = None
    needs_directx: bool = False
    top_color: str = "#0000FF"
    bottom_color: str = "#000000"
    first_media_number: int = 1
    members_in_table: int | None = None  # cut the member table short after building
    # An UnpackedSize in the terminating entry: the installer's size sum counts it, but the
    # member loop stops at that entry (its StoredSize is 0), so the package needs that much
    # room without holding the bytes, and stays whole.
    claimed_extra_size: int | None = None
    # FirstMediaNumber written into the built installer, for numbers the tool refuses
    patched_first_media_number: int | None = None
    # A name the authoring tool refuses (too long for ".scr"), written into the built file.
    patched_name: str | None = None
    file_name: str = "setup.exe"
    # Writes the package's source folder its own way ((folder, lmvpack) -> manifest path)
    # instead of harness.write_manifest, e.g. as an author with lmvpack init does.
    write_source: Callable | None = None
    # Edits the written manifest (branding); then, after the build, works on the installer
    # (installer, scenario folder, lmvpack), as signing does.
    edit_manifest: Callable | None = None
    after_build: Callable | None = None

    @property
    def base(self) -> str:
        return self.name.rstrip(" ")

    @property
    def installer(self) -> str:
        return PKG_DIR + "\\" + self.file_name

    def table(self) -> list:
        return self.members[:self.members_in_table or len(self.members)]

    def total_size(self) -> int:
        sizes = [len(m.content) for m in self.table()]
        return (sum(sizes) + (self.claimed_extra_size or 0)) & 0xFFFFFFFF

    def shared_folder(self, appdata: str = COMMON_APPDATA) -> str:
        return appdata + r"\Tarrowby\Lumenvault" + "\\" + self.base + "\\"

    def screen_saver_path(self) -> str:
        return WINDIR + "\\" + self.base + ".scr"

    def destinations(self, appdata: str = COMMON_APPDATA) -> list:
        folder = self.shared_folder(appdata)
        out = []
        for index, member in enumerate(self.table()):
            if index == 0:
                out.append(self.screen_saver_path())
            elif index == 1:
                out.append(folder + self.base + ".dat")
            elif index == 2:
                out.append(folder + "UNINSTAL.EXE")
            else:
                number = self.first_media_number + index - 3
                out.append((folder + member.prefix + f"{number:04d}" + member.suffix[:15]).rstrip(" "))
        return out

    def log_bytes(self, appdata: str = COMMON_APPDATA, members: int | None = None) -> bytes:
        """INSTALL.LOG as one run writes it: every member's path, or the first `members`."""
        return b"".join(p.encode("cp1252") + b"\r\n" for p in self.destinations(appdata)[:members])


class Helpers:
    """The Win32 helper programs, read from the template prefix, as member contents."""

    def __init__(self, template: Path):
        self.bin = template / "drive_c" / "e2e" / "bin"

    def program(self, role: str, overlay: int = 0, seed: int = 0) -> bytes:
        # Bytes appended to a PE file do not keep it from running: a large member that is
        # still a working program.
        return (self.bin / f"recorder_{role}.exe").read_bytes() + harness.random_bytes(overlay, seed)


def wav(seconds_tenths: int = 5) -> bytes:
    return harness.wav_bytes(800 * seconds_tenths)


def standard_package(h: Helpers, name: str = "Aurora", *, media=None, big_member: int | None = None,
                     big_size: int = 12 << 20, **kwargs) -> Package:
    """Screen saver stored, data compressed, uninstaller compressed, and media files that the
    media devices open: stored and compressed, each prefix kind."""
    members = [
        Member(h.program("screensaver", big_size if big_member == 0 else 0, 1), compress=False),
        Member(harness.compressible_bytes(300_000, 2), compress=True),
        Member(h.program("uninstaller", big_size if big_member == 2 else 0, 3),
               compress=False if big_member == 2 else True),
    ]
    if media is None:
        media = [Member(wav(5), compress=False, suffix=".WAV", prefix="FILE"),
                 Member(wav(7), compress=True, suffix=".wav", prefix="JUK_"),
                 Member(wav(3), compress=False, suffix="_chime.wav", prefix="JUKE")]
    return Package(name=name, members=members + media, **kwargs)


# --- Scenario description -----------------------------------------------------------------

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


@dataclass
class Scenario:
    description: str
    package: Callable[[Helpers], Package]
    runs: list
    checks: list
    small_disk: bool = False  # C: on a 96 MB file system of its own
    prepare: Callable | None = None  # (ctx) before the first run
    overrides: str = ""  # WINEDLLOVERRIDES additions, e.g. "ddraw=d"
    timeout: float = 90
    arch: str = "win32"  # win64: a 64-bit prefix set to Windows 10 (its own template)


@dataclass
class Ctx:
    scenario: Scenario
    package: Package
    prefix: Path
    work: Path
    listing: dict
    results: list = field(default_factory=list)
    free_kb_before: int = 0
    elapsed: float = 0
    shares_system: bool = True  # system32 and winsxs are the template's own files

    @property
    def last(self) -> harness.RunResult:
        return self.results[-1]


def caption(pkg: Package) -> str:
    return f"{pkg.base} Screen Saver Installation"


# --- Expectations: each returns a list of problems ----------------------------------------

def expect_exit_zero(ctx: Ctx) -> list:
    out = []
    for i, r in enumerate(ctx.results):
        code = r.log.exit_code()
        if code != 0:
            out.append(f"run {i + 1}: installer exit code {code} (expected 0; driver status "
                       f"{r.driver_status})")
    return out


def dialog(caption_text, text=None, buttons=None, owned=None, pressed=None, edit=None):
    return dict(caption=caption_text, text=text, buttons=buttons, owned=owned, pressed=pressed,
                edit=edit)


def expect_dialogs(*per_run) -> Callable:
    """Each argument: the dialogs (message boxes and dialog boxes, not the install dialog)
    that one run shows, in order, as built by dialog(...) or a function of the context."""

    def check(ctx: Ctx) -> list:
        out = []
        for run_index, (expected, result) in enumerate(zip(per_run, ctx.results)):
            if callable(expected):
                expected = expected(ctx)
            seen = [d for d in result.log.dialogs() if not d["install_dialog"]]
            tag = f"run {run_index + 1}"
            if len(seen) != len(expected):
                out.append(f"{tag}: expected {len(expected)} dialogs "
                           f"{[e['caption'] for e in expected]}, saw {len(seen)} "
                           f"{[(s['caption'], s['texts']) for s in seen]}")
                continue
            for n, (e, s) in enumerate(zip(expected, seen)):
                where = f"{tag} dialog {n + 1} ({e['caption']!r})"
                if s["caption"] != e["caption"]:
                    out.append(f"{where}: caption {s['caption']!r}")
                if e["text"] is not None and e["text"] not in s["texts"]:
                    out.append(f"{where}: text expected {e['text']!r}, saw {s['texts']!r}")
                if e["buttons"] is not None and sorted(s["buttons"]) != sorted(e["buttons"]):
                    out.append(f"{where}: buttons {s['buttons']}, expected {e['buttons']}")
                if e["owned"] is not None and s["owned"] != e["owned"]:
                    out.append(f"{where}: owned by a window: {s['owned']}, expected {e['owned']}")
                if not s["visible"]:
                    out.append(f"{where}: never visible")
                if e["edit"] is not None and e["edit"] not in s["edits"]:
                    out.append(f"{where}: text box {s['edits']!r}, expected {e['edit']!r}")
                if e["pressed"] is not None and s["pressed"] != e["pressed"]:
                    out.append(f"{where}: pressed {s['pressed']!r}, expected {e['pressed']!r}")
        return out
    return check


def expect_install_dialog(*visible_per_run) -> Callable:
    """Per run: True (shown), False (created, never visible) or None (never created)."""

    def check(ctx: Ctx) -> list:
        out = []
        for i, (want, result) in enumerate(zip(visible_per_run, ctx.results)):
            found = [d for d in result.log.dialogs() if d["install_dialog"]]
            if want is None:
                if found:
                    out.append(f"run {i + 1}: the install dialog was created, expected none")
                continue
            if len(found) != 1:
                out.append(f"run {i + 1}: {len(found)} install dialogs, expected 1")
                continue
            d = found[0]
            if d["visible"] != want:
                out.append(f"run {i + 1}: install dialog visible={d['visible']}, expected {want}")
            cap = caption(ctx.package)
            if d["caption"] != cap:
                out.append(f"run {i + 1}: install dialog caption {d['caption']!r}, expected {cap!r}")
            for text in ("Installing", "Please Wait...", f"{ctx.package.base} Screen Saver"):
                if text not in d["texts"]:
                    out.append(f"run {i + 1}: install dialog lacks {text!r}: {d['texts']}")
            if d["buttons"] != ["Cancel"]:
                out.append(f"run {i + 1}: install dialog buttons {d['buttons']}, expected ['Cancel']")
        return out
    return check


def expect_installed(appdata: str = COMMON_APPDATA) -> Callable:
    def check(ctx: Ctx) -> list:
        out = []
        for path, member in zip(ctx.package.destinations(appdata), ctx.package.table()):
            data = ctx.last.file(path)
            if data is None:
                out.append(f"missing {path}")
            elif data != member.content:
                out.append(f"{path}: {len(data)} bytes, expected {len(member.content)} "
                           f"{'(same length, other bytes)' if len(data) == len(member.content) else ''}")
        return out
    return check


def expect_log(times: int = 1, appdata: str = COMMON_APPDATA, members: int | None = None) -> Callable:
    """INSTALL.LOG lists every member (or the first `members`), `times` times over."""
    def check(ctx: Ctx) -> list:
        path = ctx.package.shared_folder(appdata) + "INSTALL.LOG"
        data = ctx.last.file(path)
        want = ctx.package.log_bytes(appdata, members) * times
        if data is None:
            return [f"missing {path}"]
        if data != want:
            return [f"{path}:\n    seen     {data!r}\n    expected {want!r}"]
        return []
    return check


def uninstall_key(ctx: Ctx):
    key = UNINSTALL_KEY_WOW64 if ctx.scenario.arch == "win64" else UNINSTALL_KEY
    return ctx.last.registry().get((key + "\\" + ctx.package.base).lower())


def expect_uninstall_values(appdata: str = COMMON_APPDATA) -> Callable:
    def check(ctx: Ctx) -> list:
        key = uninstall_key(ctx)
        if key is None:
            return [f"no key HKLM\\{UNINSTALL_KEY}\\{ctx.package.base}"]
        folder = ctx.package.shared_folder(appdata)
        want = {
            "DisplayName": ("REG_SZ", ctx.package.base + " Screen Saver"),
            "UninstallString": ("REG_EXPAND_SZ", '"' + folder + 'UNINSTAL.EXE"'),
            "InstallLocation": ("REG_EXPAND_SZ", folder[:-1]),
            "DisplayIcon": ("REG_SZ", ctx.package.screen_saver_path() + ",-0"),
            "Publisher": ("REG_SZ", "Tarrowby"),
            "VersionMajor": ("REG_DWORD", 8),
            "VersionMinor": ("REG_DWORD", 1),
        }
        if key["values"] != want:
            return [f"Uninstall values:\n    seen     {key['values']}\n    expected {want}"]
        return []
    return check


def expect_uninstall_key_empty(ctx: Ctx) -> list:
    key = uninstall_key(ctx)
    if key is None:
        return [f"no key HKLM\\{UNINSTALL_KEY}\\{ctx.package.base} (the probe should leave it)"]
    if key["values"]:
        return [f"Uninstall key holds values, expected none: {key['values']}"]
    return []


def read_system_ini(ctx: Ctx) -> bytes:
    return ctx.last.file(WINDIR + r"\system.ini") or b""


def expect_activated(short_name: str | None = None) -> Callable:
    """system.ini [boot] SCRNSAVE.EXE names the screen saver's short path, and screen saving
    is switched on. short_name: the expected 8.3 file name when the long name isn't one."""

    def check(ctx: Ctx) -> list:
        out = []
        ini = read_system_ini(ctx).decode("cp1252")
        m = re.search(r"^\[boot\]\r?\n(?:[^\[].*\r?\n)*?SCRNSAVE\.EXE=(.*?)\r?$", ini, re.M | re.I)
        if not m:
            out.append(f"system.ini has no [boot] SCRNSAVE.EXE: {ini!r}")
        else:
            value = m.group(1)
            if short_name:
                ok = value.lower() == (WINDIR + "\\" + short_name).lower()
            elif re.fullmatch(r"[^ ]{1,8}\.scr", ctx.package.base + ".scr", re.I):
                ok = value.lower() == ctx.package.screen_saver_path().lower()
            else:
                ok = re.fullmatch(r"C:\\windows\\[A-Z0-9_~]{1,8}\.SCR", value, re.I) is not None
            if not ok:
                out.append(f"system.ini SCRNSAVE.EXE={value!r}, expected the short path of "
                           f"{ctx.package.screen_saver_path()}")
        user = harness.read_registry(ctx.prefix / "user.reg").get(r"control panel\desktop", {})
        active = user.get("values", {}).get("ScreenSaveActive")
        if not active or active[1] != "1":
            out.append(f"screen saving not switched on: ScreenSaveActive={active}")
        return out
    return check


def expect_not_activated(ctx: Ctx) -> list:
    ini = read_system_ini(ctx).decode("cp1252")
    if re.search(r"SCRNSAVE\.EXE", ini, re.I):
        return [f"system.ini names a screen saver: {ini!r}"]
    return []


def expect_marker(role: str, args_per_start: list, module: str | Callable | None = None) -> Callable:
    """The helper of that role was started exactly len(args_per_start) times, with these
    arguments, as the given module (a path, or a function of the context)."""

    def check(ctx: Ctx) -> list:
        lines = ctx.last.marker(role)
        args = [line[1] if len(line) > 1 else "" for line in lines]
        out = []
        if args != args_per_start:
            out.append(f"{role} started with {args!r}, expected {args_per_start!r}")
        want = module(ctx) if callable(module) else module
        if want:
            for line in lines:
                if line[0].lower() != want.lower():
                    out.append(f"{role} started as {line[0]!r}, expected {want!r}")
        return out
    return check


def screen_saver_module(ctx: Ctx) -> str:
    return ctx.package.screen_saver_path()


def uninstaller_module(ctx: Ctx) -> str:
    return ctx.package.shared_folder() + "UNINSTAL.EXE"


def expect_nothing_installed(ctx: Ctx) -> list:
    out = []
    for root in (COMMON_APPDATA, FALLBACK_APPDATA):
        if ctx.last.exists(root + r"\Tarrowby"):
            out.append(f"{root}\\Tarrowby exists")
    if uninstall_key(ctx) is not None:
        out.append("the Uninstall key was created")
    out += [f"system.ini changed: {p}" for p in expect_not_activated(ctx)]
    for role in ("screensaver", "uninstaller", "url"):
        if ctx.last.marker(role):
            out.append(f"{role} was started")
    return out


def expect_no_file(path: str) -> Callable:
    def check(ctx: Ctx) -> list:
        return [f"{path} exists"] if ctx.last.exists(path) else []
    return check


def expect_file_bytes(path: str, content: Callable) -> Callable:
    def check(ctx: Ctx) -> list:
        data, want = ctx.last.file(path), content(ctx)
        if data != want:
            return [f"{path}: {None if data is None else len(data)} bytes, expected {len(want)}"]
        return []
    return check


def expect_cut_members(cut_index: int) -> Callable:
    """After a confirmed Cancel while member cut_index was written: that member holds a
    whole number of 2048-byte chunks (stored), less than all of it; every later member
    stopped at its first poll (stored: its first 2048 bytes; compressed: empty), except the
    uninstaller, which is whole; every earlier member is whole."""

    def check(ctx: Ctx) -> list:
        out = []
        for index, (path, member) in enumerate(zip(ctx.package.destinations(), ctx.package.table())):
            data = ctx.last.file(path)
            full = member.content
            if data is None:
                out.append(f"member {index}: {path} missing")
                continue
            if not full.startswith(data):
                out.append(f"member {index}: {path} is not a leading part of the member")
            if index < cut_index or index == 2:
                if data != full:
                    out.append(f"member {index}: {len(data)} bytes, expected all {len(full)}")
            elif index == cut_index:
                if member.compress is not False:
                    raise HarnessError("the member to cut must be stored")
                if len(data) % 2048 or len(data) >= len(full):
                    out.append(f"member {index} (cut): {len(data)} bytes of {len(full)}, expected "
                               f"fewer, a multiple of 2048")
            else:
                want = min(2048, len(full)) if member.compress is False else 0
                if len(data) != want and not (member.compress is not False and data == full):
                    out.append(f"member {index}: {len(data)} bytes, expected {want} (first poll)")
        return out
    return check


def codec_text(types: str) -> Callable:
    """The codec notice for these types; the page address is whatever the installer names,
    but it must be a web address and the same one the browser is then asked for."""
    return re.compile(re.escape(CODEC_HEAD + types + CODEC_MIDDLE) + r"(https?://\S+)" + re.escape(CODEC_TAIL))


def expect_codec_notice(types: str, pressed: str) -> Callable:
    pattern = codec_text(types)

    def check(ctx: Ctx) -> list:
        seen = [d for d in ctx.last.log.dialogs() if d["caption"] == "Missing support codecs"]
        if len(seen) != 1:
            return [f"{len(seen)} codec notices, expected 1"]
        d = seen[0]
        out = []
        matches = [pattern.fullmatch(t) for t in d["texts"]]
        matches = [m for m in matches if m]
        if not matches:
            return [f"codec notice text {d['texts']!r} does not match {pattern.pattern!r}"]
        if sorted(d["buttons"]) != ["Cancel", "OK"]:
            out.append(f"codec notice buttons {d['buttons']}")
        if not d["owned"]:
            out.append("codec notice has no owner window")
        urls = [line[1] for line in ctx.last.marker("url")]
        want = [matches[0].group(1)] if pressed == "OK" else []
        if urls != want:
            out.append(f"web pages opened {urls!r}, expected {want!r}")
        return out
    return check


def expect_title_window(visible: bool) -> Callable:
    """Interactive: the title window is on screen when the first dialog comes. Silent: it is
    created visible and hidden at once, so no state after its first hidden one is visible."""

    def check(ctx: Ctx) -> list:
        out = []
        for i, r in enumerate(ctx.results):
            states = r.log.title_window()
            if not states:
                out.append(f"run {i + 1}: no title window (class LmvInstallClass)")
                continue
            if not any(s["caption"] == ctx.package.name for s in states):
                out.append(f"run {i + 1}: title window text {[s['caption'] for s in states]}, "
                           f"expected {ctx.package.name!r}")
            first_dialog = r.log.first_dialog_time()
            before = [s for s in states if first_dialog is None or s["t"] <= first_dialog]
            if visible and not (before and before[-1]["visible"]):
                out.append(f"run {i + 1}: the title window was not on screen when the first "
                           f"dialog came")
            if not visible:
                was_shown = False
                hidden_since = None
                for s in states:
                    if s["visible"]:
                        was_shown = True
                        if hidden_since is not None:
                            out.append(f"run {i + 1}: title window shown again at {s['t']} ms "
                                       f"in silent mode")
                            break
                    elif was_shown:
                        hidden_since = s["t"]
                if before and before[-1]["visible"]:
                    out.append(f"run {i + 1}: title window visible when the first dialog came")
        return out
    return check


def expect_title_pixels(ctx: Ctx) -> list:
    """The gradient, frame and title text of the title window, read from the screenshot."""
    r = ctx.last
    if not r.screenshots:
        return ["no screenshot was taken"]
    png, ppm = r.screenshots[0]
    image = harness.Image(ppm)
    states = r.log.title_window()
    if not states:
        return ["no title window to look at"]
    shown = [st for st in states if st["visible"] and st["rect"][2] > st["rect"][0]]
    if not shown:
        return ["the title window was never seen on screen"]
    left, top, right, bottom = shown[-1]["rect"]
    width, height = right - left, bottom - top
    top_rgb = tuple(int(ctx.package.top_color[i:i + 2], 16) for i in (1, 3, 5))
    bottom_rgb = tuple(int(ctx.package.bottom_color[i:i + 2], 16) for i in (1, 3, 5))

    def band_colour(i):
        # Signed division truncating toward zero, per channel.
        return tuple(t + int((b - t) * i / 256) for t, b in zip(top_rgb, bottom_rgb))

    out = []
    x = left + width - 40  # right of the title text and of the centred message box
    for i in (0, 1, 2, 37, 100, 128, 191, 200, 254, 255):
        first, last = (i * height) // 256, ((i + 1) * height) // 256 - 1
        for row in {first, last}:
            if row < 2 or row >= height - 2:
                continue  # the frame
            seen = image.pixel(x, top + row)
            if seen != band_colour(i):
                out.append(f"band {i} row {row}: {seen}, expected {band_colour(i)}")
    last_band = band_colour(255)
    if last_band == bottom_rgb and top_rgb != bottom_rgb:
        out.append("test package colours make the last band equal BottomColor; pick others")
    white = (255, 255, 255)
    for (fx, fy) in [(0, height // 2), (1, height // 2), (width - 1, height // 2),
                     (width - 2, height // 2), (width // 2 + 300, 0), (width // 2 + 300, 1),
                     (width // 2 + 300, height - 1), (width // 2 + 300, height - 2)]:
        if image.pixel(left + fx, top + fy) != white:
            out.append(f"frame pixel ({fx},{fy}) is {image.pixel(left + fx, top + fy)}, expected white")
    for (fx, fy) in [(2, height // 2), (width - 3, height // 2), (width // 2 + 300, height - 3)]:
        if image.pixel(left + fx, top + fy) == white:
            out.append(f"pixel ({fx},{fy}) inside the frame is white: the frame is wider than 2 px")
    # Title text: white glyphs with a black shadow 2 px right of and below them.
    pairs = whites = blacks = 0
    for y in range(top + 25, top + 25 + 80):
        for xx in range(left + 33, min(left + 33 + 500, left + width - 3)):
            p = image.pixel(xx, y)
            if p == white:
                whites += 1
                if image.pixel(xx + 2, y + 2) == (0, 0, 0):
                    pairs += 1
            elif p == (0, 0, 0):
                blacks += 1
    if whites < 50 or blacks < 20 or pairs < 10:
        out.append(f"title text: {whites} white, {blacks} black pixels, {pairs} white pixels with "
                   f"black 2 px below-right; expected a shadowed white title")
    return out


def expect_centred(caption_text: str, screen=(1024, 768)) -> Callable:
    """The dialog stands where the installer centres it: half the screen less half its size
    (truncating), whatever the platform would have chosen."""

    def check(ctx: Ctx) -> list:
        for r in ctx.results:
            for states in r.log.windows().values():
                shown = [st for st in states if st["caption"] == caption_text and st["visible"]]
                if not shown:
                    continue
                left, top, right, bottom = shown[-1]["rect"]
                want = (screen[0] // 2 - int((right - left) / 2), screen[1] // 2 - int((bottom - top) / 2))
                if (left, top) != want:
                    return [f"{caption_text!r} at {left},{top}, expected {want[0]},{want[1]}"]
                return []
        return [f"{caption_text!r} was never seen on screen"]
    return check


def expect_page_failure(ctx: Ctx) -> list:
    """After the codec notice's OK: the failure message, captioned with the address the
    notice named, owned by the title window, OK only."""
    dialogs = ctx.last.log.dialogs()
    notice = [d for d in dialogs if d["caption"] == "Missing support codecs"]
    if len(notice) != 1:
        return [f"{len(notice)} codec notices, expected 1"]
    m = [codec_text(".xyz\r\n").fullmatch(t) for t in notice[0]["texts"]]
    m = [x for x in m if x]
    if not m:
        return [f"codec notice text {notice[0]['texts']!r}"]
    url = m[0].group(1)
    # The shell reports the failed start itself first ("Error", "File not found."), since the
    # execution block asks for no silence (fMask 0); the installer's own message follows.
    after = [d for d in dialogs if d["t"] > notice[0]["t"] and d["caption"] != "Error"]
    want = dialog(url, "Could not connect to this site.", ["OK"], owned=True, pressed="OK")
    if len(after) != 1:
        return [f"after the notice: {[(d['caption'], d['texts']) for d in after]}, expected one "
                f"'Could not connect to this site.' under {url!r}"]
    d = after[0]
    out = []
    for key in ("caption", "buttons", "owned", "pressed"):
        if d[key] != want[key]:
            out.append(f"page failure message {key}: {d[key]!r}, expected {want[key]!r}")
    if want["text"] not in d["texts"]:
        out.append(f"page failure message text {d['texts']!r}")
    return out


def break_web_browser(ctx: Ctx) -> None:
    """Points the http and https handlers at a program that does not exist, so opening a
    page fails (the registry file is read when the prefix's wineserver starts)."""
    reg = ctx.prefix / "system.reg"
    reg.write_text(reg.read_text(encoding="utf-8").replace("recorder_url.exe", "no_browser.exe"),
                   encoding="utf-8")


def expect_disk_full(ctx: Ctx) -> list:
    seen = [d for d in ctx.last.log.dialogs() if d["caption"] == "Disk Full"]
    if len(seen) != 1:
        return [f"{len(seen)} 'Disk Full' questions, expected 1"]
    needed = thousands(ctx.package.total_size() // 1024)
    pattern = re.escape(DISK_FULL_TEXT.format(needed=needed, free="@@")).replace("@@", r"([\d,]+)")
    for text in seen[0]["texts"]:
        m = re.fullmatch(pattern, text)
        if m:
            free = int(m.group(1).replace(",", ""))
            if abs(free - ctx.free_kb_before) > 2048:
                return [f"'Disk Full' names {free} KB free, the drive had {ctx.free_kb_before} KB"]
            out = []
            if sorted(seen[0]["buttons"]) != ["Cancel", "OK"] or seen[0]["owned"]:
                out.append(f"'Disk Full' buttons {seen[0]['buttons']} owned={seen[0]['owned']}")
            return out
    return [f"'Disk Full' text {seen[0]['texts']!r}, expected {DISK_FULL_TEXT.format(needed=needed, free='N')!r}"]


def expect_distinct_urls(ctx: Ctx) -> list:
    """The DirectX runs answered Yes on win95, win98, winxp: the Windows 95 page differs
    from the general one that the two others get; the run answered No opens nothing."""
    urls = [line[1] for line in ctx.last.marker("url")]
    if len(urls) != 3:
        return [f"{len(urls)} web pages opened, expected 3: {urls}"]
    out = []
    if not all(re.fullmatch(r"https?://\S+", u) for u in urls):
        out.append(f"not web addresses: {urls}")
    if urls[0] == urls[1] or urls[1] != urls[2]:
        out.append(f"pages win95/win98/winxp = {urls}: expected a page of its own for "
                   f"Windows 95 and one general page for the others")
    return out


# What a run writes without the installer's doing: the driver's script, log and requests.
HARNESS_FILES = re.compile(r"e2e/run/")


def drive_relative(win_path: str) -> str:
    """A C:\\ path as harness.snapshot_files names it: relative to drive_c, "/", lower case."""
    if not win_path.lower().startswith("c:\\"):
        raise HarnessError(f"not a path on C: {win_path}")
    return win_path[3:].replace("\\", "/").lower()


def expect_writes(*per_run) -> Callable:
    """Per run: exactly the files it creates or changes, besides the driver's own. Each run's
    files are Windows paths, or a function of the context giving them; or a pair (must, may)
    of such, where the second names files the run may leave as they were (a file rewritten
    with the same content keeps its time)."""

    def paths(ctx: Ctx, files) -> set:
        return {drive_relative(p) for p in (files(ctx) if callable(files) else files)}

    def check(ctx: Ctx) -> list:
        out = []
        for i, (expected, r) in enumerate(zip(per_run, ctx.results)):
            if r.files_before is None or r.files_after is None:
                out.append(f"run {i + 1}: the driver took no stock of the drive's files")
                continue
            must, may = expected if isinstance(expected, tuple) else (expected, [])
            want, allowed = paths(ctx, must), paths(ctx, must) | paths(ctx, may)
            written, _ = harness.changed_files(r.files_before, r.files_after)
            written = [p for p in written if not HARNESS_FILES.match(p)]
            extra = [p for p in written if p not in allowed]
            missing = sorted(p for p in want if p not in written)
            if extra:
                shared = ctx.shares_system and any(
                    p.startswith(("windows/system32/", "windows/winsxs/")) for p in extra)
                out.append(f"run {i + 1}: wrote {extra}, which it must not"
                           + (" (files the template prefix shares: rebuild it)" if shared else ""))
            if missing:
                out.append(f"run {i + 1}: did not write {missing}")
        return out
    return check


def expect_nothing_deleted(ctx: Ctx) -> list:
    """No file that the drive held when the scenario began is gone at its end."""
    before, after = ctx.results[0].files_before, ctx.last.files_after
    if before is None or after is None:
        return ["the driver took no stock of the drive's files"]
    _, deleted = harness.changed_files(before, after)
    deleted = [p for p in deleted if not HARNESS_FILES.match(p)]
    return [f"deleted: {deleted}"] if deleted else []


def expect_no_crash(ctx: Ctx) -> list:
    """Every run ended by itself with a small exit code (a crash under Wine ends with an
    exception code such as 0xC0000005) and without a crash dialog."""
    out = []
    for i, r in enumerate(ctx.results):
        code = r.log.exit_code()
        if code is None and r.log.start_failed():
            continue  # the system refused to start it: nothing ran, nothing crashed
        if code is None or code >= 0x100:
            out.append(f"run {i + 1}: exit code {code if code is None else hex(code)}")
        crash = [d for d in r.log.dialogs() if "rogram" in d["caption"] and "rror" in d["caption"]]
        if crash:
            out.append(f"run {i + 1}: crash dialog {crash[0]['caption']!r}")
    return out


def expect_exit_code(expected: int) -> Callable:
    def check(ctx: Ctx) -> list:
        code = ctx.last.log.exit_code()
        return [] if code == expected else [f"exit code {code}, expected {expected}"]
    return check


def expect_some_dialog_mentions(text: str) -> Callable:
    def check(ctx: Ctx) -> list:
        for d in ctx.last.log.dialogs():
            if any(text.lower() in t.lower() for t in d["texts"]) and d["visible"]:
                return []
        return [f"no dialog mentions {text!r}: {[(d['caption'], d['texts']) for d in ctx.last.log.dialogs()]}"]
    return check


def header_offsets(listing: dict) -> tuple:
    """(offset of ScreenSaverName, offset of the member table) in the installer file."""
    name = listing["package_offset"] + 2 + listing["agreement_length"]
    return name, name + 276


def set_name_suffix(index: int, suffix: bytes) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[1] + 28 * index + 12
        data[at:at + 15] = suffix.ljust(15, b" ")[:15]
    return damage


def set_name(name: bytes) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[0]
        data[at:at + 260] = name.ljust(260, b"\0")[:260]
    return damage


def set_entry_field(index: int, offset: int, value: int) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[1] + 28 * index + offset
        data[at:at + 4] = value.to_bytes(4, "little")
    return damage


def cut_at(where: Callable) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        del data[where(listing):]
    return damage


def fill_member_with_noise(index: int) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        m = listing["members"][index]
        data[m["data_offset"]:m["data_offset"] + m["stored_size"]] = harness.random_bytes(m["stored_size"], 99)
    return damage


def drop_terminator(data: bytearray, listing: dict) -> None:
    at = header_offsets(listing)[1] + 28 * len(listing["members"])
    data[at:at + 28] = b"\xff" * 28


def agreement_length_65535(data: bytearray, listing: dict) -> None:
    at = listing["package_offset"]
    data[at:at + 2] = b"\xff\xff"
    del data[at + 4000:]


def expect_no_crash_dialog(ctx: Ctx) -> list:
    crash = [d for d in ctx.last.log.dialogs() if "rogram" in d["caption"] and "rror" in d["caption"]]
    return [f"crash dialog {crash[0]['caption']!r}"] if crash else []


def expect_codec_notice_starts(types: str) -> Callable:
    def check(ctx: Ctx) -> list:
        seen = [d for d in ctx.last.log.dialogs() if d["caption"] == "Missing support codecs"]
        if len(seen) != 1:
            return [f"{len(seen)} codec notices, expected 1"]
        if not any(t.startswith(CODEC_HEAD + types) for t in seen[0]["texts"]):
            return [f"codec notice {seen[0]['texts']!r} does not start with the first types"]
        return []
    return check


def stored_data_package(h: Helpers) -> Package:
    p = standard_package(h)
    p.members[1] = Member(harness.compressible_bytes(300_000, 2), compress=False)
    return p


def plant_small_data_folder(ctx: Ctx) -> None:
    """The data folder on a 64 KB file system: the data member cannot be written whole. The
    file system is mounted on the common application-data folder, above the installer's own
    levels: a mount point is a reparse point, which the installer refuses among its levels."""
    folder = harness.win_to_unix(ctx.prefix, COMMON_APPDATA)
    saved = folder.with_name(folder.name + ".saved")
    folder.rename(saved)
    mount_tmpfs(folder, "64k")
    shutil.copytree(saved, folder, dirs_exist_ok=True)
    shutil.rmtree(saved)


# --- The scenarios --------------------------------------------------------------------------

def expect_installer_signed(ctx: Ctx) -> list:
    """The installer that ran carries a certificate table, and it follows the package."""
    data = (ctx.prefix / "drive_c" / "e2e" / "pkg" / ctx.package.file_name).read_bytes()
    offset, size = authoring_packages.security_directory(data)
    last = ctx.listing["members"][-1]
    package_end = last["data_offset"] + last["stored_size"]
    if size == 0 or offset < package_end or offset + size != len(data):
        return [f"the installer is not signed after its package (certificate table at {offset}, "
                f"{size} bytes; package ends at {package_end}; file {len(data)} bytes)"]
    return []


def confirm_dialog(ctx: Ctx, pressed="OK") -> dict:
    return dialog(caption(ctx.package),
                  CONFIRM_TEXT.format(name=ctx.package.base, windir=WINDIR.upper(),
                                      size=thousands(ctx.package.total_size())),
                  ["OK", "Cancel"], owned=True, pressed=pressed)


def complete_dialog(ctx: Ctx) -> dict:
    return dialog(caption(ctx.package), "Installation Complete!", ["OK"], owned=True, pressed="OK")


def replace_dialog(ctx: Ctx, pressed: str) -> dict:
    return dialog("Replace Screen Saver?", REPLACE_TEXT.format(file=ctx.package.name + ".SCR"),
                  ["Yes", "No"], owned=False, pressed=pressed)


def abort_dialog(pressed: str) -> dict:
    return dialog("Abort Installation?", ABORT_TEXT, ["Yes", "No"], owned=True, pressed=pressed)


def agreement_dialog(ctx: Ctx, pressed: str) -> dict:
    return dialog("License Agreement", None, ["Accept", "Decline"], owned=False, pressed=pressed,
                  edit=ctx.package.agreement.replace("\n", "\r\n"))


def directx_dialog(ctx: Ctx, pressed: str) -> dict:
    return dialog(caption(ctx.package), DIRECTX_TEXT, ["Yes", "No"], owned=True, pressed=pressed)


def plant_existing_screen_saver(ctx: Ctx) -> None:
    path = ctx.prefix / "drive_c" / "windows" / (ctx.package.name + ".SCR")
    path.write_bytes(b"an older screen saver")


AGREEMENT = ("AURORA SCREEN SAVER LICENCE\n\nYou may use this screen saver on any number of "
             "computers.\nYou may not sell it.\n")
NAME = "Aurora"
CAPTION = f"{NAME} Screen Saver Installation"
UNSUPPORTED_MEDIA = [Member(harness.wav_bytes(4000), compress=False, suffix=".WAV", prefix="FILE"),
                     Member(harness.random_bytes(3000, 7), compress=False, suffix=".xyz", prefix="FILE"),
                     Member(harness.random_bytes(5000, 8), compress=True, suffix=".xyz", prefix="JUK_"),
                     Member(harness.random_bytes(2000, 9), compress=False, suffix=".xy", prefix="JUKE"),
                     Member(harness.random_bytes(1000, 10), compress=False, suffix="b.XYZ", prefix="FILE")]
DISK_FULL_CLAIM = 200 << 20  # claimed by the terminating entry, on a 96 MB drive
DOTTED_NAME = "Aurora 2.0  "
DOTTED_CAPTION = "Aurora 2.0 Screen Saver Installation"
# A write the disk refuses, on either path: the file is named, nothing is activated or started.
# The log names the file whose write failed, so that the uninstaller removes what there is of it.
FAILED_WRITE_EXPECTATIONS = [expect_exit_code(3), expect_some_dialog_mentions(NAME + ".dat"),
                             expect_not_activated, expect_marker("screensaver", []),
                             expect_no_crash_dialog, expect_log(members=2)]


@dataclass
class Outcome:
    """What one silent run of a damaged installer must come to: its script's answers, the
    dialogs it shows, its exit status (None: the system refuses to start it) and the files it
    writes (as expect_writes takes one run's files)."""
    answers: list
    dialogs: Callable
    exit_code: int | None
    writes: object  # as one run's files for expect_writes


def refused(text: str) -> Outcome:
    return Outcome([("Error!!!", "OK")],
                   lambda c: [dialog("Error!!!", text, ["OK"], owned=False, pressed="OK")],
                   REFUSED_STATUS, lambda c: [])


LOADER_REFUSES = Outcome([], lambda c: [], None, lambda c: [])


def incomplete_after(index: int, last_name: str | None = None) -> Outcome:
    """The member loop ends after member `index`, which the package cannot supply whole: the
    members up to it are written (and logged), nothing is activated, the user is told.
    last_name: that member's file name when the damage made it a member of its own."""
    def writes(c: Ctx) -> list:
        files = c.package.destinations()[:index + 1]
        if last_name is not None:
            files.append(c.package.shared_folder() + last_name)
        return files + [c.package.shared_folder() + "INSTALL.LOG"]
    return Outcome([(CAPTION, "OK")],
                   lambda c: [dialog(CAPTION, INCOMPLETE_TEXT.format(name=NAME), ["OK"], owned=True,
                                     pressed="OK")],
                   INCOMPLETE_STATUS, writes)


# Whatever the member data hold, the installer writes every member, logs it and makes the
# screen saver the system's (system.ini keeps its time when it already names it).
COMPLETED = Outcome([], lambda c: [], 0,
                    (lambda c: c.package.destinations() + [c.package.shared_folder() + "INSTALL.LOG"],
                     [WINDIR + r"\system.ini"]))


def damaged_runs(damages: list) -> list:
    return [Run(args="/S", damage=damage, answers=outcome.answers,
                loader_refuses=outcome.exit_code is None) for _, damage, outcome in damages]


def expect_outcomes(damages: list) -> list:
    """The checks of a scenario whose runs are damaged_runs(damages)."""
    def expect_exit_codes(ctx: Ctx) -> list:
        out = []
        for i, ((label, _, outcome), r) in enumerate(zip(damages, ctx.results)):
            if outcome.exit_code is not None and r.log.exit_code() != outcome.exit_code:
                out.append(f"run {i + 1} ({label}): exit code {r.log.exit_code()}, expected "
                           f"{outcome.exit_code}")
        return out
    return [expect_exit_codes, expect_no_crash,
            expect_dialogs(*[outcome.dialogs for _, _, outcome in damages]),
            expect_writes(*[outcome.writes for _, _, outcome in damages])]


# Damages that leave the package without a readable header: there is no name to judge, and
# the user is told the package is damaged or missing.
NAMELESS_DAMAGES = [
    # The stub's resource section reaches past the package header (so that a bare stub holds
    # an empty package's worth of zeros): a file cut there ends inside a section, and the
    # system's loader refuses it before the installer runs.
    ("cut inside the header", cut_at(lambda l: header_offsets(l)[0] + 100), LOADER_REFUSES),
    ("AgreementLength 65535 in a short file", agreement_length_65535, refused(DAMAGED_TEXT)),
]

# Damaged copies of one good installer (silent runs of one scenario), each with what it must
# come to. The system's loader refuses a file cut inside its headers or sections; the
# installer refuses a package it cannot read to the end of its member table; a member the
# package cannot supply whole ends the installation as incomplete; damage inside member data
# that the format cannot notice installs what the package holds.
DAMAGES = [
    ("cut inside the PE headers", cut_at(lambda l: 200), LOADER_REFUSES),
    ("cut inside the resource section before the package",
     cut_at(lambda l: l["package_offset"] - 16), LOADER_REFUSES),
    ("cut inside the member table", cut_at(lambda l: header_offsets(l)[1] + 40),
     refused(DAMAGED_TEXT)),
    ("cut inside the screen saver's data",
     cut_at(lambda l: l["members"][0]["data_offset"] + 5000), incomplete_after(0)),
    ("cut inside the compressed data file",
     cut_at(lambda l: l["members"][1]["data_offset"] + 3000), incomplete_after(1)),
    # The entry after the last member (media member 1) reads as an 0xFF-filled member 4,
    # named by its 15 suffix bytes; its data lie nowhere in the file.
    ("no terminating entry", drop_terminator, incomplete_after(3, "FILE0002" + "\xff" * 15)),
    ("name without NUL", set_name(b"N" * 260), refused(UNUSABLE_NAME_TEXT)),
    # A declared size the decoder does not restore: an empty data file.
    ("UnpackedSize 0xFFFFFFFF", set_entry_field(1, 8, 0xFFFFFFFF), COMPLETED),
    ("DataOffset into the header", set_entry_field(0, 0, 0x200), COMPLETED),
    ("StoredSize past the end", set_entry_field(2, 4, 0x7FFFFFF0), incomplete_after(2)),
    ("compressed stream of random bytes", fill_member_with_noise(1), COMPLETED),
]


ESCAPING_SUFFIX = [("suffix \\..\\..\\..\\e.wav", set_name_suffix(3, b"\\..\\..\\..\\e.wav"),
                    refused(OUTSIDE_TEXT))]
ESCAPING_NAME = [("name ..\\..\\Evil", set_name(b"..\\..\\Evil"), refused(UNUSABLE_NAME_TEXT))]
DEVICE_NAMES = [(f"name {name!r}", set_name(name), refused(UNUSABLE_NAME_TEXT))
                for name in (b"NUL", b"com1.txt", b"Aux. .", b"LPT9 ", b"CON.scr")]
# The package as built (its name patched to 259 characters): nothing to damage further.
LONG_NAME = [("name of 259 characters", lambda data, listing: None, refused(UNUSABLE_NAME_TEXT))]


def expect_exit_code_per_run(*codes) -> Callable:
    def check(ctx: Ctx) -> list:
        return [f"run {i + 1}: exit code {r.log.exit_code()}, expected {code}"
                for i, (code, r) in enumerate(zip(codes, ctx.results)) if r.log.exit_code() != code]
    return check


def two_members(h: Helpers) -> Package:
    p = standard_package(h, media=[])
    p.members_in_table = 2
    return p


def disk_full_package(h: Helpers) -> Package:
    p = standard_package(h)
    p.claimed_extra_size = DISK_FULL_CLAIM
    return p


# Windows version of each run and the answer to the DirectX question (None: not asked).
DIRECTX_RUNS = [("win95", "Yes"), ("win98", "Yes"), ("winxp", "Yes"), ("nt40", None),
                ("winxp", "No")]


def directx_answers(index: int, answer: str | None) -> list:
    replace = [("Replace Screen Saver?", "Yes")] if index else []
    return replace + [(CAPTION, "OK"), (CAPTION, "OK")] + ([(CAPTION, answer)] if answer else [])


def directx_dialogs(index: int, answer: str | None) -> Callable:
    return lambda c: (([replace_dialog(c, "Yes")] if index else []) +
                      [confirm_dialog(c), complete_dialog(c)] +
                      ([directx_dialog(c, answer)] if answer else []))


def switch_runs():
    silent = ["/S", "-s", "/Silent", "x/S"]
    return [Run(args="/q -S", answers=[(CAPTION, "Cancel")])] + [Run(args=a) for a in silent]


SCENARIOS: dict = {
    # Installation run and uninstall registration
    "clean_install": Scenario(
        "stored and compressed members and media files, interactive, every result exact",
        lambda h: standard_package(h, first_media_number=51),
        [Run(answers=[(CAPTION, "OK"), (CAPTION, "OK")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)]),
         expect_install_dialog(True), expect_installed(), expect_log(), expect_uninstall_values(),
         expect_activated(), expect_marker("screensaver", [""], screen_saver_module),
         expect_marker("uninstaller", []), expect_marker("url", [])]),
    "installed_twice": Scenario(
        "the same package twice: files overwritten, log lines appended, values rewritten",
        lambda h: standard_package(h),
        [Run(args="/S"), Run(args="/S")],
        [expect_exit_zero, expect_dialogs([], []), expect_installed(), expect_log(times=2),
         expect_uninstall_values(), expect_activated()]),
    "silent": Scenario(
        "silent mode: the same run with nothing shown, nothing launched",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_install_dialog(False),
         expect_title_window(False), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated(), expect_marker("screensaver", [])]),
    "cancel_no_then_yes_member0": Scenario(
        "Cancel answered No, then Yes, while the screen saver is written",
        lambda h: standard_package(h, big_member=0),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "No"), ("Abort Installation?", "Yes")],
             cancels=[(WINDIR + "\\" + NAME + ".scr", 300_000), (WINDIR + "\\" + NAME + ".scr", 1_500_000)])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("No"), abort_dialog("Yes")]),
         expect_cut_members(0), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", [])]),
    "cancel_yes_member2": Scenario(
        "Cancel confirmed while the uninstaller is written: it is written whole",
        lambda h: standard_package(h, big_member=2),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "Yes")],
             cancels=[(COMMON_APPDATA + rf"\Tarrowby\Lumenvault\{NAME}\UNINSTAL.EXE", 300_000)])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("Yes")]),
         expect_cut_members(3), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", [])]),
    "no_shfolder": Scenario(
        "SHFOLDER.DLL unavailable: the All Users\\Application Data fallback under the Windows directory",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_installed(FALLBACK_APPDATA), expect_log(appdata=FALLBACK_APPDATA),
         expect_uninstall_values(FALLBACK_APPDATA), expect_activated(),
         expect_no_file(COMMON_APPDATA + r"\Tarrowby")],
        overrides="shfolder=d"),
    "unsupported_media": Scenario(
        "media no device opens: .xyz once (twice unsupported; .xy is contained in it), .XYZ "
        "apart (case counts), no activation, Cancel",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA),
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "Cancel")])],
        [expect_exit_zero, expect_installed(), expect_log(), expect_uninstall_values(),
         expect_not_activated, expect_codec_notice(".xyz\r\n.XYZ\r\n", "Cancel"),
         expect_marker("screensaver", [])]),
    "two_members": Scenario(
        "a package of two members: no Uninstall values (the probe's empty key stays), no probe",
        two_members,
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_uninstall_key_empty, expect_activated()]),
    # Front end
    "typical": Scenario(
        "the typical installation: confirmation OK, agreement Accept, complete, screen saver started",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Accept"), (CAPTION, "OK")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Accept"), complete_dialog(c)]),
         expect_title_window(True), expect_install_dialog(True), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated(), expect_centred("License Agreement"),
         expect_marker("screensaver", [""], screen_saver_module)]),
    "branded": Scenario(
        "the typical installation of an installer with the author's icon and version "
        "information: the same dialogs, files and Uninstall values",
        lambda h: standard_package(h, agreement=AGREEMENT,
                                   edit_manifest=authoring_packages.brand_manifest),
        [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Accept"), (CAPTION, "OK")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Accept"), complete_dialog(c)]),
         expect_title_window(True), expect_install_dialog(True), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated(),
         expect_marker("screensaver", [""], screen_saver_module)]),
    "signed": Scenario(
        "the typical installation of a signed installer (the certificate table after the "
        "package): the same dialogs, files and Uninstall values",
        lambda h: standard_package(h, agreement=AGREEMENT,
                                   after_build=authoring_packages.sign_installer),
        [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Accept"), (CAPTION, "OK")])],
        [expect_installer_signed, expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Accept"), complete_dialog(c)]),
         expect_title_window(True), expect_install_dialog(True), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated(),
         expect_marker("screensaver", [""], screen_saver_module)]),
    "refuse_replace": Scenario(
        "an existing screen saver, replace answered No: nothing written",
        lambda h: standard_package(h),
        [Run(answers=[("Replace Screen Saver?", "No")])],
        [expect_exit_zero, expect_dialogs(lambda c: [replace_dialog(c, "No")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_file_bytes(WINDIR + "\\" + NAME + ".SCR", lambda c: b"an older screen saver")],
        prepare=plant_existing_screen_saver),
    "refuse_confirmation": Scenario(
        "confirmation answered Cancel: nothing written",
        lambda h: standard_package(h),
        [Run(answers=[(CAPTION, "Cancel")])],
        [expect_exit_zero, expect_dialogs(lambda c: [confirm_dialog(c, "Cancel")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")]),
    "refuse_agreement": Scenario(
        "agreement declined: nothing written",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Decline")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Decline")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")]),
    "refuse_disk_full": Scenario(
        "'Disk Full' answered Cancel: nothing written",
        disk_full_package,
        [Run(answers=[("Disk Full", "Cancel")])],
        [expect_exit_zero, expect_disk_full, expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")],
        small_disk=True),
    "silent_replaces": Scenario(
        "silent mode over an existing screen saver: replaced without a question, no launch",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_marker("screensaver", [])],
        prepare=plant_existing_screen_saver),
    "silent_disk_full": Scenario(
        "silent mode still asks 'Disk Full'",
        disk_full_package,
        [Run(args="/S", answers=[("Disk Full", "Cancel")])],
        [expect_exit_zero, expect_disk_full, expect_nothing_installed],
        small_disk=True),
    "silent_agreement": Scenario(
        "silent mode still shows the agreement; accepted, it installs without completion or launch",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [Run(args="/S", answers=[("License Agreement", "Accept")])],
        [expect_exit_zero, expect_dialogs(lambda c: [agreement_dialog(c, "Accept")]),
         expect_install_dialog(False), expect_installed(), expect_log(), expect_activated(),
         expect_marker("screensaver", [])]),
    "codec_notice_ok": Scenario(
        "codec notice answered OK: the media player page is opened, nothing started",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "OK")])],
        [expect_exit_zero, expect_codec_notice(".xyz\r\n", "OK"), expect_not_activated,
         expect_marker("screensaver", [])]),
    "web_page_fails": Scenario(
        "the media player page cannot be opened: 'Could not connect to this site.' under the "
        "page's address",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        # The shell's own "Error" comes first; the installer's message is captioned with the
        # page's address, whatever page the installer names.
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "OK"), ("Error", "OK"),
                      ("http*", "OK")])],
        [expect_exit_zero, expect_page_failure, expect_not_activated,
         expect_marker("screensaver", []), expect_marker("url", [])],
        prepare=break_web_browser),
    "codec_notice_silent": Scenario(
        "silent mode still shows the codec notice",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        [Run(args="/S", answers=[("Missing support codecs", "Cancel")])],
        [expect_exit_zero, expect_codec_notice(".xyz\r\n", "Cancel"), expect_not_activated,
         expect_marker("screensaver", [])]),
    "directx_versions": Scenario(
        "NeedsDirectX without DDRAW.DLL: asked on Windows 95, 98, XP (Yes opens the page of "
        "Windows 95 or the general one; No opens none), not on NT 4; started every time",
        lambda h: standard_package(h, needs_directx=True, media=[]),
        [Run(winver=version, answers=directx_answers(i, answer))
         for i, (version, answer) in enumerate(DIRECTX_RUNS)],
        [expect_exit_zero,
         expect_dialogs(*[directx_dialogs(i, answer) for i, (_, answer) in enumerate(DIRECTX_RUNS)]),
         expect_distinct_urls,
         expect_marker("screensaver", [""] * len(DIRECTX_RUNS), screen_saver_module)],
        overrides="ddraw=d"),
    "switch_forms": Scenario(
        "/S, -s, /Silent and x/S are silent; /q -S is interactive",
        lambda h: standard_package(h, media=[]),
        switch_runs(),
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c, "Cancel")], [], [], [], []),
         expect_install_dialog(None, False, False, False, False)]),
    "title_screen": Scenario(
        "the title window's gradient, frame and shadowed title, read from a screenshot",
        lambda h: standard_package(h, name="Aurora", top_color="#20E0A0", bottom_color="#E02040",
                                   media=[]),
        [Run(answers=[(CAPTION, "Cancel")], shot=CAPTION)],
        [expect_exit_zero, expect_title_window(True), expect_title_pixels]),
    "abort_after_unsupported": Scenario(
        "aborted after a media type failed: only the uninstaller is started, no codec notice",
        lambda h: standard_package(h, media=[
            Member(harness.random_bytes(3000, 11), compress=False, suffix=".xyz", prefix="FILE"),
            Member(harness.random_bytes(12 << 20, 12), compress=False, suffix=".WAV", prefix="FILE")]),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "Yes")],
             cancels=[(COMMON_APPDATA + rf"\Tarrowby\Lumenvault\{NAME}\FILE0002.WAV", 300_000)])],
        [expect_exit_zero, expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("Yes")]),
         expect_cut_members(4), expect_log(), expect_not_activated,
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", []),
         expect_marker("url", [])]),
    "disk_full_ok": Scenario(
        "'Disk Full' answered OK: the installation goes on and completes",
        disk_full_package,
        [Run(answers=[("Disk Full", "OK"), (CAPTION, "OK"), (CAPTION, "OK")])],
        [expect_exit_zero, expect_disk_full,
         expect_dialogs(lambda c: [dialog("Disk Full", None, ["OK", "Cancel"], False, "OK"),
                                   confirm_dialog(c), complete_dialog(c)]),
         expect_installed(), expect_log(), expect_activated(),
         expect_marker("screensaver", [""], screen_saver_module)],
        small_disk=True),
    "media_numbers": Scenario(
        "FirstMediaNumber 9998: members 3 to 5 numbered 9998, 9999 and 10000",
        lambda h: standard_package(h, patched_first_media_number=9998),
        [Run(args="/S")],
        [expect_exit_zero, expect_installed(), expect_log(), expect_activated()]),
    "dotted_name_with_blanks": Scenario(
        "the name 'Aurora 2.0  ': tested with its blanks, installed trimmed, the dot kept in "
        "the key and DisplayName, a short path in system.ini",
        lambda h: standard_package(h, name=DOTTED_NAME, media=[]),
        [Run(answers=[(DOTTED_CAPTION, "OK"), (DOTTED_CAPTION, "OK")])],
        [expect_exit_zero, expect_title_window(True),
         expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)]),
         expect_installed(), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("screensaver", [""])]),
    # Robustness
    "damaged_packages": Scenario(
        "damaged installers, silent: each comes to its own end (refused by the system or by the "
        "installer, incomplete, or complete), with its message and exit status, writing exactly "
        "its own files",
        lambda h: standard_package(h, media=[Member(wav(3), compress=False, suffix=".WAV")]),
        damaged_runs(DAMAGES),
        expect_outcomes(DAMAGES) + [expect_activated()],
        small_disk=True, timeout=60),
    "nameless_package": Scenario(
        "a package whose header cannot be read (cut inside it: refused by the system's loader; "
        "AgreementLength past the end: refused as damaged or missing), nothing written",
        lambda h: standard_package(h, media=[]),
        damaged_runs(NAMELESS_DAMAGES),
        expect_outcomes(NAMELESS_DAMAGES) + [expect_nothing_installed],
        small_disk=True, timeout=60),
    "incomplete_installation": Scenario(
        "the package breaks off inside the data file, silent: the user is told, nothing is "
        "activated or started, exit status 4",
        lambda h: standard_package(h),
        [Run(args="/S", answers=[(CAPTION, "OK")],
             damage=cut_at(lambda l: l["members"][1]["data_offset"] + 3000))],
        [expect_exit_code(4), expect_some_dialog_mentions("could not be completed"),
         expect_not_activated, expect_marker("screensaver", []), expect_no_crash_dialog]),
    "escaping_suffix": Scenario(
        "a media name suffix that climbs out of the data folder: refused before anything is written",
        lambda h: standard_package(h),
        damaged_runs(ESCAPING_SUFFIX),
        expect_outcomes(ESCAPING_SUFFIX) + [expect_nothing_installed,
                                            expect_no_file(COMMON_APPDATA + r"\Tarrowby\e.wav")]),
    "escaping_name": Scenario(
        "a screen saver name that climbs out of the Windows directory: refused, nothing written; "
        "interactive, with a file of that name in place, refused before the Replace question",
        lambda h: standard_package(h),
        damaged_runs(ESCAPING_NAME) + [Run(damage=set_name(b"..\\..\\Evil"),
                                           answers=[("Error!!!", "OK")])],
        [expect_exit_code_per_run(REFUSED_STATUS, REFUSED_STATUS), expect_no_crash,
         expect_dialogs(refused(UNUSABLE_NAME_TEXT).dialogs, refused(UNUSABLE_NAME_TEXT).dialogs),
         expect_writes([], []), expect_nothing_installed,
         expect_file_bytes(r"C:\Evil.SCR", lambda c: b"an older evil screen saver")],
        prepare=lambda ctx: (ctx.prefix / "drive_c" / "Evil.SCR").write_bytes(b"an older evil screen saver")),
    "device_names": Scenario(
        "screen saver names that Windows takes for devices, also with an extension, blanks or "
        "dots: refused, nothing written",
        lambda h: standard_package(h, media=[]),
        damaged_runs(DEVICE_NAMES),
        expect_outcomes(DEVICE_NAMES) + [expect_nothing_installed]),
    "failed_write_compressed": Scenario(
        "the data folder fills up while the compressed data file is written: reported, nothing "
        "activated or started, exit status 3",
        lambda h: standard_package(h),
        [Run(answers=[(CAPTION, "OK"), ("Error!!!", "OK")])],
        FAILED_WRITE_EXPECTATIONS,
        prepare=plant_small_data_folder),
    "failed_write_stored": Scenario(
        "the data folder fills up while a stored data file is written: reported like the "
        "compressed path",
        lambda h: stored_data_package(h),
        [Run(answers=[(CAPTION, "OK"), ("Error!!!", "OK")])],
        FAILED_WRITE_EXPECTATIONS,
        prepare=plant_small_data_folder),
    "many_unsupported_types": Scenario(
        "sixty media files of distinct unsupported types: no overflow, the notice still shown",
        lambda h: standard_package(h, media=[
            Member(harness.random_bytes(100, 200 + i), compress=False, suffix=f".e{i:02d}")
            for i in range(60)]),
        [Run(args="/S", answers=[("Missing support codecs", "Cancel")])],
        [expect_no_crash, expect_installed(), expect_log(), expect_not_activated,
         expect_codec_notice_starts(".e00\r\n.e01\r\n.e02\r\n")]),
    "long_name": Scenario(
        "a 259-character name, which leaves no room for \".scr\": refused, no overflow, nothing "
        "written",
        lambda h: standard_package(h, name="L" * 109, media=[], patched_name="L" * 259),
        damaged_runs(LONG_NAME),
        expect_outcomes(LONG_NAME) + [expect_nothing_installed]),
    "longest_name": Scenario(
        "the longest name lmvpack accepts, 109 bytes: the data file's path is 259 characters "
        "and every file installs",
        lambda h: standard_package(h, name="N" * 109),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated()]),
    "planted_shfolder": Scenario(
        "a SHFOLDER.DLL beside the installer is never loaded",
        lambda h: standard_package(h, media=[]),
        [Run(args="/S")],
        [expect_exit_zero, expect_no_file(r"C:\e2e\markers\planted_shfolder.log"), expect_installed(),
         expect_log()],
        prepare=lambda ctx: shutil.copy2(ctx.prefix / "drive_c" / "e2e" / "bin" / "SHFOLDER.DLL",
                                         ctx.prefix / "drive_c" / "e2e" / "pkg" / "SHFOLDER.DLL")),
}



# --- Running ----------------------------------------------------------------------------------

def mount_small_drive(prefix: Path, template: Path, share: bool = True) -> None:
    """C: on a 96 MB file system of its own, so the installer sees a nearly full drive. The
    big system folders stay outside it, linked in by symbolic links: the template's, or
    (share False) the prefix's own copies."""
    drive = prefix / "drive_c"
    staging = prefix / "drive_c.staging"
    drive.rename(staging)
    drive.mkdir()
    mount_tmpfs(drive, "96m")
    for entry in staging.iterdir():
        if entry.name == "windows":
            (drive / "windows").mkdir()
            for sub in list(entry.iterdir()):
                if sub.name in ("system32", "winsxs"):
                    target = template.resolve() / "drive_c" / "windows" / sub.name
                    if not share:
                        target = prefix.resolve() / f"{sub.name}.own"
                        sub.rename(target)
                    (drive / "windows" / sub.name).symlink_to(target)
                elif sub.is_dir() and not sub.is_symlink():
                    shutil.copytree(sub, drive / "windows" / sub.name, symlinks=True)
                else:
                    shutil.copy2(sub, drive / "windows" / sub.name, follow_symlinks=False)
        elif entry.is_dir() and not entry.is_symlink():
            shutil.copytree(entry, drive / entry.name, symlinks=True)
        else:
            shutil.copy2(entry, drive / entry.name, follow_symlinks=False)
    shutil.rmtree(staging)


def unmount_all_under(folder: Path) -> None:
    """Unmounts every file system mounted at or below folder, deepest first."""
    root = os.path.realpath(folder)
    with open("/proc/mounts") as mounts:
        points = [line.split()[1].replace("\\040", " ") for line in mounts]
    for point in sorted((p for p in points if p == root or p.startswith(root + "/")),
                        key=len, reverse=True):
        subprocess.run(["umount", "-l", point])


class NeedsRoot(HarnessError):
    """The scenario mounts a small file system, which only root may do here."""


def needs_mount(scenario: Scenario) -> bool:
    return scenario.small_disk or scenario.prepare is plant_small_data_folder


def mount_tmpfs(path: Path, size: str) -> None:
    path.mkdir(parents=True, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(path)], check=True)


def expect_started(ctx: Ctx) -> list:
    """Each run started, or, where the damage leaves no program, the system refused it as such."""
    out = []
    for i, (run, r) in enumerate(zip(ctx.scenario.runs, ctx.results)):
        error = r.log.start_error()
        if run.loader_refuses and error != ERROR_BAD_EXE_FORMAT:
            out.append(f"run {i + 1}: " + ("the system started it" if error is None else
                                           f"its start failed with error {error}") +
                       f"; expected the system to refuse the file (error {ERROR_BAD_EXE_FORMAT})")
        elif not run.loader_refuses and error is not None:
            out.append(f"run {i + 1}: the installer could not be started (error {error})")
    return out


def expect_only_scripted_dialogs(ctx: Ctx) -> list:
    """Each run met exactly the dialogs its script answers: the driver dismisses any other one
    so that the run ends, but the scenario fails."""
    return [f"run {i + 1}: {p}" for i, r in enumerate(ctx.results) for p in r.log.unscripted()]


def check_name(check: Callable) -> str:
    """expect_dialogs for the check that expect_dialogs(...) made, else the function's own."""
    parts = check.__qualname__.split(".")
    return parts[0] if parts[-1] == "check" else parts[-1]


# Checked in every scenario, whatever else it checks.
EVERY_SCENARIO = [expect_started, expect_only_scripted_dialogs, expect_nothing_deleted]


def run_scenario(name: str, template: Path, stub: Path, lmvpack: Path, work: Path,
                 keep: bool = False, stand_in: Path | None = None,
                 caught_by: dict | None = None) -> list:
    """Runs one scenario; returns its problems (none when it passed). stand_in: a program
    run in place of every installer of the scenario, to show that its checks catch it.
    caught_by, when given, receives the problems of each check by the check's name."""
    scenario = SCENARIOS[name]
    if scenario.arch != "win32":
        template = template.with_name(f"{template.name}-{scenario.arch}")
    if needs_mount(scenario) and os.geteuid() != 0:
        raise NeedsRoot(f"{name} mounts a small file system and needs root")
    folder = work / name
    if folder.exists():
        unmount_all_under(folder)
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    prefix = folder / "prefix"
    helpers = Helpers(template)
    package = scenario.package(helpers)
    problems: list = []
    xvfb = None
    try:
        # A stand-in may write anywhere, the template's shared system folders included.
        harness.copy_prefix(template, prefix, share=stand_in is None)
        if scenario.small_disk:
            mount_small_drive(prefix, template, share=stand_in is None)
        if package.write_source:
            manifest = package.write_source(folder / "source", lmvpack)
        else:
            manifest = harness.write_manifest(
                folder / "source", package.name, package.members, package.agreement,
                package.needs_directx, package.top_color, package.bottom_color,
                package.first_media_number)
        pkg_dir = prefix / "drive_c" / "e2e" / "pkg"
        pkg_dir.mkdir(parents=True, exist_ok=True)
        installer = pkg_dir / package.file_name
        if package.edit_manifest:
            package.edit_manifest(manifest)
        listing = harness.build_installer(lmvpack, stub, manifest, installer)
        if package.after_build:
            package.after_build(installer, folder, lmvpack)
        if package.members_in_table is not None:
            harness.end_member_table_at(installer, listing, package.members_in_table)
        if package.claimed_extra_size is not None:
            patch_terminator_unpacked_size(installer, listing, package.claimed_extra_size)
        if package.patched_first_media_number is not None:
            at = header_offsets(listing)[1] - 2
            data = bytearray(installer.read_bytes())
            data[at:at + 2] = package.patched_first_media_number.to_bytes(2, "little")
            installer.write_bytes(bytes(data))
            package.first_media_number = package.patched_first_media_number
        if package.patched_name is not None:
            at = header_offsets(listing)[0]
            data = bytearray(installer.read_bytes())
            data[at:at + 260] = package.patched_name.encode("latin-1").ljust(260, b"\0")
            installer.write_bytes(bytes(data))
            package.name = package.patched_name
        ctx = Ctx(scenario, package, prefix, folder, listing, shares_system=stand_in is None)
        if scenario.prepare:
            scenario.prepare(ctx)
        runs = []
        for run in scenario.runs:
            installer_win = run.program or package.installer
            if run.damage:
                data = bytearray(installer.read_bytes())
                run.damage(data, listing)
                name = f"damaged{len(runs)}.exe"
                (pkg_dir / name).write_bytes(bytes(data))
                installer_win = PKG_DIR + "\\" + name
            if run.winver:
                name = harness.WINVER_INSTALLER.format(run.winver)
                shutil.copy2(installer, pkg_dir / name)
                installer_win = PKG_DIR + "\\" + name
            steps = [("answer", c, b) for c, b in run.answers]
            steps += [("cancel", p, n) for p, n in run.cancels]
            if run.shot:
                steps.append(("shot", run.shot))
            if stand_in is not None:
                shutil.copy2(stand_in, harness.win_to_unix(prefix, installer_win))
            runs.append(harness.DriverRun(installer_win, run.args, steps))
        st = os.statvfs(prefix / "drive_c")
        ctx.free_kb_before = st.f_bavail * st.f_frsize // 1024
        xvfb = harness.Xvfb()
        ctx.results, ctx.elapsed = [], 0
        for first, last in run_groups(scenario.runs):
            if scenario.runs[first].before:
                scenario.runs[first].before(ctx)
            results, elapsed = harness.drive_installer(
                prefix, runs[first:last], overrides=scenario.overrides, timeout=scenario.timeout,
                screenshot_dir=folder, xvfb=xvfb)
            ctx.results += results
            ctx.elapsed += elapsed
            if len(results) != last - first:
                break
        for i in range(len(runs)):
            if i >= len(ctx.results) or (ctx.results[i].log.exit_code() is None
                                         and not ctx.results[i].log.start_failed()):
                problems.append(f"run {i + 1}: the installer did not end (driver status "
                                f"{ctx.results[0].driver_status if ctx.results else None})")
                break
        if not problems:
            for check in EVERY_SCENARIO + scenario.checks:
                found = check(ctx)
                problems += found
                if found and caught_by is not None:
                    caught_by.setdefault(check_name(check), []).extend(found)
        elif caught_by is not None:
            caught_by.setdefault("runs_ended", []).extend(problems)
        if problems:
            for i, r in enumerate(ctx.results):
                problems.append(f"--- run {i + 1}: what the driver saw\n" + r.log.describe())
    except HarnessError as error:
        problems.append(f"harness: {error}")
        if caught_by is not None:
            caught_by.setdefault("harness", []).append(str(error))
    finally:
        # Keep the driver's log beside the prefix: a small drive is gone once unmounted.
        log = prefix / "drive_c" / "e2e" / "run" / "driver.log"
        if log.exists():
            shutil.copy2(log, folder / "driver.log")
        if xvfb:
            xvfb.stop()
        harness.stop_wineserver(prefix, wait=False) if prefix.exists() else None
        unmount_all_under(folder)
        if not problems and not keep:
            shutil.rmtree(prefix, ignore_errors=True)
    return problems


def run_groups(runs: list) -> list:
    """(first, end) index ranges of the runs that one driver session plays: a new session
    starts at every run with a `before` hook."""
    starts = [0] + [i for i, run in enumerate(runs) if i and run.before]
    return list(zip(starts, starts[1:] + [len(runs)]))


def patch_terminator_unpacked_size(installer: Path, listing: dict, size: int) -> None:
    data = bytearray(installer.read_bytes())
    table = listing["package_offset"] + 278 + listing["agreement_length"]
    at = table + 28 * len(listing["members"]) + 8
    if data[at - 4:at] != bytes(4):
        raise HarnessError("the entry after the members must be the terminator")
    data[at:at + 4] = size.to_bytes(4, "little")
    installer.write_bytes(bytes(data))


def smoke(template: Path, stub: Path, work: Path) -> int:
    """The bare stub (no package placed in it) starts under Wine, says that its package is
    damaged or missing, and ends with the status of a refused package."""
    folder = work / "smoke"
    if folder.exists():
        shutil.rmtree(folder)
    prefix = folder / "prefix"
    harness.copy_prefix(template, prefix)
    (prefix / "drive_c" / "e2e" / "pkg").mkdir(parents=True, exist_ok=True)
    shutil.copy2(stub, prefix / "drive_c" / "e2e" / "pkg" / "lmvstub.exe")
    xvfb = harness.Xvfb()
    try:
        results, elapsed = harness.drive_installer(
            prefix, [harness.DriverRun(PKG_DIR + r"\lmvstub.exe", "", [("answer", "Error!!!", "OK")])],
            timeout=60, xvfb=xvfb)
    finally:
        xvfb.stop()
        harness.stop_wineserver(prefix, wait=False)
    log = results[0].log if results else None
    code = log.exit_code() if log else None
    print(f"lmvstub.exe exit code {code} after {elapsed:.1f} s")
    problems = [] if code == REFUSED_STATUS else [f"exit code {code}, expected {REFUSED_STATUS}"]
    if log:
        problems += log.unscripted()
        shown = [(d["caption"], d["texts"]) for d in log.dialogs()]
        if shown != [("Error!!!", [DAMAGED_TEXT])]:
            problems.append(f"dialogs {shown}, expected the damaged-or-missing message alone")
    if problems:
        print("\n".join(problems))
        print(log.describe() if log else "the driver logged nothing")
        return 1
    if not os.environ.get("E2E_KEEP"):
        shutil.rmtree(folder, ignore_errors=True)
    return 0


# Install-uninstall round trips with our own uninstaller (a module of their own; it uses the
# definitions above).
import round_trip  # noqa: E402

SCENARIOS.update(round_trip.SCENARIOS)

# Scenarios of the installer on today's Windows: planted libraries and links, the quoted
# uninstall command, a 64-bit Windows 10.
import scenarios_windows  # noqa: E402

SCENARIOS.update(scenarios_windows.SCENARIOS)
