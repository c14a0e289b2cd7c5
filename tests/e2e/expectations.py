"""What the end-to-end scenarios expect: the installer's documented messages, the package
the scenarios build with its files, log lines and registry values worked out from it, and the
checks (each takes the scenario's context and returns a list of problems).
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from typing import Callable

import authoring_packages
import wine_registry
import wine_session
from every_scenario_checks import HARNESS_FILES
from scenario_model import COMMON_APPDATA, PKG_DIR, WINDIR, Ctx
from wine_session import HarnessError

FALLBACK_APPDATA = WINDIR + r"\All Users\Application Data"
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Where a 32-bit installer's key lands in a 64-bit Windows (registry redirection).
UNINSTALL_KEY_WOW64 = r"Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"
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
# No title window could be created (no display) or the message loop failed.
NO_WINDOW_STATUS = 6


def thousands(n: int) -> str:
    return f"{n:,}"


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
    # The version of the author's [version] table, which the installer writes as DisplayVersion.
    display_version: str | None = None
    # Writes the package's source folder its own way ((folder, lmvpack) -> manifest path)
    # instead of package_sources.write_manifest, e.g. as an author with lmvpack init does.
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


def caption(pkg: Package) -> str:
    return f"{pkg.base} Screen Saver Installation"


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


def uninstall_values(ctx: Ctx, appdata: str = COMMON_APPDATA) -> dict:
    """The values the installation writes: the seven of the list of programs, then those that
    deployment tools read."""
    folder = ctx.package.shared_folder(appdata)
    want = {
        "DisplayName": ("REG_SZ", ctx.package.base + " Screen Saver"),
        "UninstallString": ("REG_EXPAND_SZ", '"' + folder + 'UNINSTAL.EXE"'),
        "InstallLocation": ("REG_EXPAND_SZ", folder[:-1]),
        "DisplayIcon": ("REG_SZ", ctx.package.screen_saver_path() + ",-0"),
        "Publisher": ("REG_SZ", "Tarrowby"),
        "VersionMajor": ("REG_DWORD", 8),
        "VersionMinor": ("REG_DWORD", 1),
        "QuietUninstallString": ("REG_SZ", '"' + folder + 'UNINSTAL.EXE" /s'),
        "EstimatedSize": ("REG_DWORD", (ctx.package.total_size() + 1023) // 1024),
        "NoModify": ("REG_DWORD", 1),
        "NoRepair": ("REG_DWORD", 1),
    }
    if ctx.package.display_version is not None:
        want["DisplayVersion"] = ("REG_SZ", ctx.package.display_version)
    return want


def expect_uninstall_values(appdata: str = COMMON_APPDATA) -> Callable:
    def check(ctx: Ctx) -> list:
        key = uninstall_key(ctx)
        if key is None:
            return [f"no key HKLM\\{UNINSTALL_KEY}\\{ctx.package.base}"]
        want = uninstall_values(ctx, appdata)
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


def expect_user_value(key: str, name: str, value: str) -> Callable:
    """A REG_SZ value of the user's (HKCU) that the run must leave exactly as it was."""
    def check(ctx: Ctx) -> list:
        found = wine_registry.read_registry(ctx.prefix / "user.reg").get(key.lower(), {})
        seen = found.get("values", {}).get(name)
        if seen != ("REG_SZ", value):
            return [f"HKCU\\{key} {name} is {seen}, expected the user's own {value!r} "
                    "(the installer changed a setting of the user's)"]
        return []
    return check


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
        user = wine_registry.read_registry(ctx.prefix / "user.reg").get(r"control panel\desktop",
                                                                        {})
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
    image = wine_session.Image(ppm)
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


def drive_relative(win_path: str) -> str:
    """A C:\\ path as wine_session.snapshot_files names it: relative to drive_c, "/", lower case."""
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
            written, _ = wine_session.changed_files(r.files_before, r.files_after)
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


NAME = "Aurora"
CAPTION = f"{NAME} Screen Saver Installation"


def expect_exit_code_per_run(*codes) -> Callable:
    def check(ctx: Ctx) -> list:
        return [f"run {i + 1}: exit code {r.log.exit_code()}, expected {code}"
                for i, (code, r) in enumerate(zip(codes, ctx.results)) if r.log.exit_code() != code]
    return check
