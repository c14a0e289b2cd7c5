"""End-to-end harness: runs the real installer under Wine and looks at what it did.

One template prefix (32-bit, booted once per test run, with the settings a test prefix
wants and our Win32 helpers in C:\\e2e\\bin) is copied for every scenario; each scenario
gets its own Xvfb display and wineserver, which are stopped whatever happens. The GUI driver
(tools/gui_driver/gui_driver.cpp) starts the installer inside the prefix, answers its
windows by script and logs what it saw; the scenario then reads the prefix's files and its
saved registry directly from the Linux side.
"""

from __future__ import annotations

import json
import os
import random
import re
import shutil
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

WINE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
HELPERS = {
    "gui_driver.exe": "gui_driver.exe",
    "recorder_screensaver.exe": "recorder_screensaver.exe",
    "recorder_uninstaller.exe": "recorder_uninstaller.exe",
    "recorder_url.exe": "recorder_url.exe",
    "SHFOLDER.DLL": "SHFOLDER.DLL",
    "hold_open.exe": "hold_open.exe",
    # Our own programs that packages of the round-trip scenarios carry.
    "lmvuninst.exe": "lmvuninst.exe",
    "aurora.scr": "aurora.scr",
    "PLANTED.DLL": "PLANTED.DLL",
    "recorder_planted.exe": "recorder_planted.exe",
    "describe_folder_security.exe": "describe_folder_security.exe",
    "try_replace.exe": "try_replace.exe",
    "deny_key.exe": "deny_key.exe",
    "run_uninstall_command.exe": "run_uninstall_command.exe",
}
# Hard-linked, not copied, into each scenario's prefix: large, and never written by a run.
SHARED_DIRS = {("drive_c", "windows", "system32"), ("drive_c", "windows", "winsxs"),
               ("drive_c", "windows", "syswow64")}
# A document of the prefix's user, so that a test can see that nothing of a user's goes.
USER_DOCUMENT = ("drive_c", "users", "Public", "Documents", "letter.txt")

TEMPLATE_REG = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CLASSES_ROOT\http\shell\open\command]
@="\"C:\\e2e\\bin\\recorder_url.exe\" %1"

[HKEY_CLASSES_ROOT\https\shell\open\command]
@="\"C:\\e2e\\bin\\recorder_url.exe\" %1"
""" + "".join(f"""
[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\setup-{v}.exe]
"Version"="{v}"
""" for v in ("win95", "win98", "winxp", "nt40"))
# An installer copied under one of these names sees that Windows version (Wine's per-program
# setting), so one prefix serves runs on several versions.
WINVER_INSTALLER = "setup-{}.exe"


class HarnessError(Exception):
    pass


def prefix_arch(prefix: Path) -> str:
    """win64 for a 64-bit prefix (it has a folder for the 32-bit system libraries), else win32."""
    return "win64" if (prefix / "drive_c" / "windows" / "syswow64").is_dir() else "win32"


def wine_env(prefix: Path, display: str | None = None, overrides: str = "",
             arch: str | None = None, locale: str | None = None) -> dict:
    """locale: the Unix locale to start Wine in, from which it takes the Windows locale and
    its ANSI code page (ja_JP.UTF-8: Japanese, code page 932)."""
    env = dict(os.environ)
    env.update(WINEPREFIX=str(prefix), WINEARCH=arch or prefix_arch(prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES=WINE_OVERRIDES + (";" + overrides if overrides else ""))
    if locale:
        env.update(LANG=locale, LC_ALL=locale)
    env.pop("DISPLAY", None)
    if display:
        env["DISPLAY"] = display
    return env


def start_program(prefix: Path, xvfb: Xvfb, program: str, *arguments: str) -> subprocess.Popen:
    """Starts a Windows program of the prefix on the display, without waiting for it."""
    return subprocess.Popen(["wine", program, *arguments], env=wine_env(prefix, xvfb.display),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run_without_display(prefix: Path, program: str, *arguments: str,
                        timeout: float = 60) -> int | None:
    """Runs a Windows program of the prefix where no X display can be had, as in a session
    without a desktop, and waits for it: its exit status, or None when it did not end within
    the timeout (it is then killed with the prefix's other processes)."""
    try:
        return subprocess.run(["wine", program, *arguments], env=wine_env(prefix),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return None
    finally:
        stop_wineserver(prefix, wait=False)


def wait_for(condition: Callable, what: str, timeout: float = 60):
    """Polls condition() until it gives something true, and returns that; fails after timeout
    seconds, naming what did not happen."""
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        found = condition()
        if found:
            return found
        time.sleep(0.2)  # polling for the condition, not a pause
    raise HarnessError(f"{what} did not happen within {timeout} s")


def exit_with(main: Callable[[], int], failure: str) -> None:
    """Ends the program with main's status; a harness error is printed after `failure` and
    ends it with status 1."""
    try:
        sys.exit(main())
    except HarnessError as error:
        print(f"{failure}: {error}")
        sys.exit(1)


def run_checked(cmd, env, timeout, what):
    try:
        result = subprocess.run(cmd, env=env, timeout=timeout, capture_output=True)
    except subprocess.TimeoutExpired:
        raise HarnessError(f"{what} did not finish within {timeout} s")
    if result.returncode != 0:
        raise HarnessError(f"{what} failed ({result.returncode}): "
                           f"{result.stderr.decode(errors='replace')[-2000:]}")
    return result


def stop_wineserver(prefix: Path, wait: bool, timeout: float = 30) -> None:
    """Ends the prefix's wineserver. With wait, lets every process of the prefix finish
    first (and the registry be saved); kills whatever is left after the timeout."""
    env = wine_env(prefix)
    if wait:
        try:
            subprocess.run(["wineserver", "-w"], env=env, timeout=timeout)
            return
        except subprocess.TimeoutExpired:
            pass
    subprocess.run(["wineserver", "-k"], env=env, timeout=30)
    subprocess.run(["wineserver", "-w"], env=env, timeout=30)


def make_template(template: Path, helper_dir: Path, arch: str = "win32") -> float:
    """Boots a fresh prefix (32-bit; or 64-bit set to Windows 10, as most users have it) with
    the test settings and our helpers in C:\\e2e\\bin. Returns the seconds it took."""
    start = time.monotonic()
    for name in HELPERS:
        if not (helper_dir / name).is_file():
            raise HarnessError(f"helper {helper_dir / name} is missing; build the win32 preset")
    if template.exists():
        shutil.rmtree(template)
    template.parent.mkdir(parents=True, exist_ok=True)
    env = wine_env(template, arch=arch)
    try:
        run_checked(["wineboot", "-i"], env, 300, "wineboot -i")
        if arch == "win64":
            run_checked(["wine", "winecfg", "-v", "win10"], env, 120, "winecfg -v win10")
        bindir = template / "drive_c" / "e2e" / "bin"
        bindir.mkdir(parents=True)
        for name in HELPERS:
            shutil.copy2(helper_dir / name, bindir / HELPERS[name])
        document = template.joinpath(*USER_DOCUMENT)
        document.parent.mkdir(parents=True, exist_ok=True)
        document.write_bytes(b"Dear all,\r\nthe photos from the lake are in the blue folder.\r\n")
        reg = template / "drive_c" / "e2e" / "settings.reg"
        reg.write_text(TEMPLATE_REG.replace("\n", "\r\n"), encoding="ascii")
        run_checked(["wine", "regedit", "/S", r"C:\e2e\settings.reg"], env, 120, "regedit")
    finally:
        stop_wineserver(template, wait=True)
    return time.monotonic() - start


def copy_prefix(template: Path, target: Path, share: bool = True) -> None:
    """Copies the template; the SHARED_DIRS are hard-linked unless share is False."""
    def copy_dir(src: Path, dst: Path, parts: tuple):
        dst.mkdir(parents=True)
        for entry in os.scandir(src):
            here = parts + (entry.name,)
            s, d = Path(entry.path), dst / entry.name
            if here in SHARED_DIRS and share:
                subprocess.run(["cp", "-al", str(s), str(d)], check=True)
            elif entry.is_dir(follow_symlinks=False) and any(
                    p[:len(here)] == here for p in SHARED_DIRS):
                copy_dir(s, d, here)
            elif entry.is_dir(follow_symlinks=False):
                shutil.copytree(s, d, symlinks=True)
            else:
                shutil.copy2(s, d, follow_symlinks=False)
    copy_dir(template, target, ())


def snapshot_files(root: Path) -> dict:
    """Every file under root with its size and modification time, by lower-case path
    relative to root. Links are not followed, except those standing for the SHARED_DIRS
    (a scenario on a drive of its own links them in): what is written there counts too."""
    out = {}
    shared = {"/".join(parts[1:]) for parts in SHARED_DIRS if parts[0] == root.name}
    for folder, dirs, files in os.walk(root):
        here = Path(folder)
        for name in list(dirs):
            rel = str((here / name).relative_to(root))
            if rel in shared and (here / name).is_symlink():
                files.extend(f"{name}/{p}" for p in _files_below(here / name))
        for name in files:
            path = here / name
            try:
                st = path.lstat()
            except OSError:
                continue
            out[str(path.relative_to(root)).lower()] = (st.st_size, st.st_mtime_ns)
    return out


def _files_below(folder: Path) -> list:
    return [str(Path(f, n).relative_to(folder)) for f, _, names in os.walk(folder) for n in names]


def changed_files(before: dict, after: dict) -> tuple:
    """(written: created or changed, deleted), each a sorted list of paths."""
    written = sorted(p for p, v in after.items() if before.get(p) != v)
    deleted = sorted(p for p in before if p not in after)
    return written, deleted


class Xvfb:
    """A private X server on a display number that the server itself picks as free."""

    def __init__(self, width=1024, height=768):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.stop()
            raise HarnessError("Xvfb did not start")
        self.display = f":{number}"

    def screenshot(self, png: Path) -> bytes:
        """Takes the whole screen; returns it as binary PPM (P6) and writes png."""
        env = dict(os.environ, DISPLAY=self.display)
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True,
                             timeout=30, check=True).stdout
        subprocess.run(["convert", "xwd:-", str(png)], input=xwd, timeout=60, check=True)
        return subprocess.run(["convert", "xwd:-", "ppm:-"], input=xwd, capture_output=True,
                              timeout=60, check=True).stdout

    def shows_window(self, title: str) -> bool:
        """Whether a top-level window of that title is on the display."""
        env = dict(os.environ, DISPLAY=self.display)
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                              env=env, timeout=30).stdout
        return f'"{title}"' in tree

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Image:
    """A PPM screenshot, read back pixel by pixel."""

    def __init__(self, ppm: bytes):
        m = re.match(rb"P6\s+(?:#[^\n]*\n\s*)*(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if not m:
            raise HarnessError("screenshot is not a binary PPM")
        self.width, self.height = int(m.group(1)), int(m.group(2))
        self.data = ppm[m.end():]

    def pixel(self, x: int, y: int) -> tuple:
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])


# --- The prefix seen from Linux -----------------------------------------------------------

def win_to_unix(prefix: Path, path: str) -> Path:
    if not re.match(r"^[A-Za-z]:\\", path):
        raise HarnessError(f"not an absolute Windows path: {path}")
    drive = prefix / "dosdevices" / (path[0].lower() + ":")
    return Path(os.path.realpath(drive)).joinpath(*[p for p in path[3:].split("\\") if p])


def find_case_insensitive(path: Path) -> Path | None:
    """Wine's file names compare without case: find the real spelling on disk."""
    if path.exists():
        return path
    parent = find_case_insensitive(path.parent) if path.parent != path else None
    if parent is None or not parent.is_dir():
        return None
    for entry in parent.iterdir():
        if entry.name.lower() == path.name.lower():
            return entry
    return None


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


# --- Package sources ------------------------------------------------------------------------

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


# --- A run --------------------------------------------------------------------------------

@dataclass
class DriverLog:
    """What the GUI driver saw during one run (one installer process)."""
    events: list

    @classmethod
    def read(cls, path: Path) -> list:
        """The driver's log, split into one DriverLog per run."""
        runs: dict = {}
        if path.exists():
            for line in path.read_bytes().decode("latin-1").splitlines():
                try:
                    event = json.loads(line)
                except json.JSONDecodeError:
                    event = {"event": "unparsable", "line": line, "run": -1, "t": 0}
                runs.setdefault(event.get("run", -1), []).append(event)
        return [cls(runs[k]) for k in sorted(runs)]

    def exit_code(self):
        for e in self.events:
            if e["event"] == "exit":
                return e["code"]
        return None

    def start_failed(self) -> bool:
        return self.start_error() is not None

    def start_error(self):
        """The system's error code when the program could not be started, else None."""
        for e in self.events:
            if e["event"] == "error" and "create_process" in e:
                return int(e["create_process"])
        return None

    def unscripted(self) -> list:
        """What the run met that its script did not foresee: dialogs the driver had to
        dismiss by itself (or could not), and answers whose dialog never came."""
        out = []
        for e in self.events:
            if e["event"] == "press" and not e["scripted"]:
                out.append(f"unexpected dialog {e['caption']!r}, dismissed with {e['button']}")
            elif e["event"] == "unanswerable":
                out.append(f"unexpected dialog {e['caption']!r} without a button to dismiss it")
            elif e["event"] == "unused_answer":
                out.append(f"no dialog {e['caption']!r} came to be answered {e['button']}")
        return out

    def windows(self) -> dict:
        """window id -> the states it was seen in, in order."""
        seen: dict = {}
        for e in self.events:
            if e["event"] == "window":
                seen.setdefault(e["id"], []).append(e)
        return seen

    def ever_visible(self, wid) -> bool:
        return any(e["event"] == "gone" and e["id"] == wid and e["ever_visible"]
                   for e in self.events) or any(s["visible"] for s in self.windows().get(wid, []))

    def dialogs(self) -> list:
        """Every dialog or message box of the run, in order of first sight, as dicts:
        caption, texts (static controls), buttons, edits, visible, owned, pressed."""
        out = []
        presses = {e["id"]: e for e in self.events if e["event"] == "press"}
        for wid, states in self.windows().items():
            states = [s for s in states if s["class"] == "#32770"]
            if not states:
                continue
            # A dialog seen only in the moment between its creation and its first control
            # (the hidden progress dialog of a short run can be destroyed right after) showed
            # nothing to anyone: no caption to read, no button to answer.
            if not self.ever_visible(wid) and all(
                    not s["children"] and not s["caption"] for s in states):
                continue
            # The state a user saw: among the visible ones, the one showing the most controls
            # (the latest of equals); a window never shown is taken at its fullest.
            shown = [s for s in states if s["visible"]] or states
            full = max(reversed(shown), key=lambda s: (
                sum(1 for c in s["children"] if c["visible"]), bool(s["caption"])))
            kids = full["children"]
            press = presses.get(wid)
            out.append({
                "id": wid, "caption": full["caption"], "owned": full["owned"], "t": states[0]["t"],
                "texts": [c["text"] for c in kids if c["class"].lower() == "static" and c["text"]],
                "buttons": [c["text"].replace("&", "") for c in kids
                            if c["class"].lower() == "button" and c["visible"]],
                "edits": [c["text"] for c in kids if c["class"].lower() == "edit"],
                "visible": self.ever_visible(wid),
                # Any state: while a dialog is destroyed its controls may read as id 0, and a
                # short run may be seen only then; its two fixed texts still tell it apart.
                "install_dialog": any(
                    any(c["id"] == 1001 for c in st["children"])
                    or {"Installing", "Please Wait..."} <= {c["text"] for c in st["children"]}
                    for st in states),
                "pressed": None if not press else
                press["button"] if press["scripted"] else f"{press['button']} (unscripted)"})
        out.sort(key=lambda d: d["t"])
        return out

    def title_window(self):
        for states in self.windows().values():
            if states[0]["class"] == "LmvInstallClass":
                return states
        return None

    def first_dialog_time(self):
        times = [d["t"] for d in self.dialogs()]
        return min(times) if times else None

    def describe(self) -> str:
        lines = []
        for e in self.events:
            if e["event"] == "window":
                kids = "; ".join(f"{c['class']}#{c['id']}{'' if c['visible'] else '(hidden)'}={c['text']!r}"
                                 for c in e["children"])
                lines.append(f"  {e['t']:>6} ms window {e['id']} {e['class']} {e['caption']!r} "
                             f"visible={e['visible']} owned={e['owned']} [{kids}]")
            else:
                rest = {k: v for k, v in e.items() if k not in ("t", "event", "run")}
                lines.append(f"  {e['t']:>6} ms {e['event']} {rest}")
        return "\n".join(lines)


@dataclass
class RunResult:
    prefix: Path
    log: DriverLog
    driver_status: int
    screenshots: list = field(default_factory=list)
    # The drive's files just before this run started and once it (and everything it
    # started) had ended: snapshot_files of drive_c. None when the driver took no stock.
    files_before: dict | None = None
    files_after: dict | None = None

    def unix(self, win_path: str) -> Path:
        return win_to_unix(self.prefix, win_path)

    def file(self, win_path: str) -> bytes | None:
        p = find_case_insensitive(self.unix(win_path))
        return p.read_bytes() if p and p.is_file() else None

    def exists(self, win_path: str) -> bool:
        return find_case_insensitive(self.unix(win_path)) is not None

    def registry(self) -> dict:
        return read_registry(self.prefix / "system.reg")

    def marker(self, role: str) -> list:
        data = self.file(rf"C:\e2e\markers\{role}.log")
        if data is None:
            return []
        return [tuple(line.split("\t", 1)) for line in data.decode("latin-1").split("\r\n") if line]


DRIVER_NEVER_STARTED = -2
DRIVER_START_TIMEOUT = 90


def start_driver(env: dict, log_path: Path, timeout: float) -> int:
    """Runs the GUI driver and returns its exit status: -1 when it had to be stopped,
    DRIVER_NEVER_STARTED when it had not even opened its log in DRIVER_START_TIMEOUT s."""
    proc = subprocess.Popen(["wine", r"C:\e2e\bin\gui_driver.exe", r"C:\e2e\run\script.txt",
                             r"C:\e2e\run\driver.log"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    start = time.monotonic()
    try:
        while proc.poll() is None and not log_path.exists():
            if time.monotonic() - start > DRIVER_START_TIMEOUT:
                proc.kill()
                proc.wait()
                return DRIVER_NEVER_STARTED
            time.sleep(0.05)  # polling for the log file, the condition we wait for
        return proc.wait(timeout=max(1.0, timeout - (time.monotonic() - start)))
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return -1


@dataclass
class DriverRun:
    """One installer run for the driver: the program, its arguments, and script steps
    (("answer", caption, button), ("cancel", path, size), ("shot", caption),
    ("hook", caption))."""
    installer: str
    args: str = ""
    steps: list = field(default_factory=list)


def drive_installer(prefix: Path, runs: list, *, overrides: str = "", timeout: float = 90,
                    screenshot_dir: Path | None = None, xvfb: Xvfb, hooks: tuple = (),
                    locale: str | None = None) -> tuple:
    """Runs the GUI driver, which runs the installer runs one after the other; then lets
    every process of the prefix end (so launched helpers have written their markers and the
    registry is saved). hooks: what the runs' "hook" steps ask for, in their order, each a
    function of nothing. Returns (one RunResult per run, seconds taken)."""
    run_dir = prefix / "drive_c" / "e2e" / "run"
    run_dir.mkdir(parents=True, exist_ok=True)
    lines = [f"timeout\t{int(timeout)}"]
    for run in runs:
        lines += [f"run\t{run.installer}", f"args\t{run.args}"]
        lines += ["\t".join(str(x) for x in step) for step in run.steps]
    (run_dir / "script.txt").write_bytes(("\r\n".join(lines) + "\r\n").encode("latin-1"))
    log_path = run_dir / "driver.log"
    env = wine_env(prefix, xvfb.display, overrides, locale=locale)
    start = time.monotonic()
    shots: list = []
    marks: list = []
    hooks_done: list = []
    request_errors: list = []
    drive = prefix / "drive_c"
    stop_watch = threading.Event()

    def watch_requests():
        # The driver numbers its requests; each number is answered once.
        answered = {"shot": "", "mark": "", "hook": ""}
        while not stop_watch.is_set():
            for kind in answered:
                try:
                    number = Path(f"{log_path}.{kind}-request").read_text()
                except OSError:
                    continue
                if not number or number == answered[kind]:
                    continue
                answered[kind] = number
                try:
                    if kind == "shot":
                        png = (screenshot_dir or run_dir) / f"shot{len(shots)}.png"
                        shots.append((png, xvfb.screenshot(png)))
                    elif kind == "hook":
                        hooks_done.append(number)
                        if len(hooks_done) <= len(hooks):
                            hooks[len(hooks_done) - 1]()
                    else:
                        marks.append(snapshot_files(drive))
                except Exception as error:  # reported once the driver has ended
                    request_errors.append(f"{kind} request: {error}")
                finally:
                    Path(f"{log_path}.{kind}-done").write_bytes(b"")
            stop_watch.wait(0.02)

    watcher = threading.Thread(target=watch_requests, daemon=True)
    watcher.start()
    try:
        status = None
        for attempt in range(2):
            shots.clear()
            marks.clear()
            status = start_driver(env, log_path, timeout * len(runs) + 60)
            if status != DRIVER_NEVER_STARTED:
                break
            # Wine itself hung before our program ran (seen rarely on a loaded machine):
            # nothing of the installer has run yet, so start the prefix afresh once.
            print(f"harness: Wine did not start the GUI driver within {DRIVER_START_TIMEOUT} s "
                  f"(attempt {attempt + 1}); starting the prefix afresh", flush=True)
            stop_wineserver(prefix, wait=False)
    finally:
        stop_watch.set()
        watcher.join()
    stop_wineserver(prefix, wait=True, timeout=30)
    if request_errors:
        raise HarnessError("; ".join(request_errors))
    logs = DriverLog.read(log_path)
    logs = [log for log in logs if log.events and log.events[0].get("run", -1) >= 0]
    results = [RunResult(prefix, log, status) for log in logs]
    if results:
        results[0].screenshots = shots
    final = snapshot_files(drive)
    for i, result in enumerate(results):
        if i < len(marks):
            result.files_before = marks[i]
            result.files_after = marks[i + 1] if i + 1 < len(marks) else final
    return results, time.monotonic() - start


# --- Scenarios: what one is, and how it is run ----------------------------------------------
# The scenario table (scenarios.py) describes each scenario by these types; run_scenario plays
# it in a prefix of its own and applies the checks every scenario gets and its own.

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


# What a run writes without the installer's doing: the driver's script, log and requests.
HARNESS_FILES = re.compile(r"e2e/run/")


def expect_nothing_deleted(ctx: Ctx) -> list:
    """No file that the drive held when the scenario began is gone at its end."""
    before, after = ctx.results[0].files_before, ctx.last.files_after
    if before is None or after is None:
        return ["the driver took no stock of the drive's files"]
    _, deleted = changed_files(before, after)
    deleted = [p for p in deleted if not HARNESS_FILES.match(p)]
    return [f"deleted: {deleted}"] if deleted else []


def header_offsets(listing: dict) -> tuple:
    """(offset of ScreenSaverName, offset of the member table) in the installer file."""
    name = listing["package_offset"] + 2 + listing["agreement_length"]
    return name, name + 276


def plant_small_data_folder(ctx: Ctx) -> None:
    """The data folder on a 64 KB file system: the data member cannot be written whole. The
    file system is mounted on the common application-data folder, above the installer's own
    levels: a mount point is a reparse point, which the installer refuses among its levels."""
    folder = win_to_unix(ctx.prefix, COMMON_APPDATA)
    saved = folder.with_name(folder.name + ".saved")
    folder.rename(saved)
    mount_tmpfs(folder, "64k")
    shutil.copytree(saved, folder, dirs_exist_ok=True)
    shutil.rmtree(saved)


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
    """The scenario mounts a small file system, or gives files to another user, which only
    root may do here."""


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


def run_scenario(name: str, scenario: Scenario, template: Path, stub: Path, lmvpack: Path,
                 work: Path, keep: bool = False, stand_in: Path | None = None,
                 caught_by: dict | None = None) -> list:
    """Runs one scenario; returns its problems (none when it passed). stand_in: a program
    run in place of every installer of the scenario, to show that its checks catch it.
    caught_by, when given, receives the problems of each check by the check's name."""
    if scenario.arch != "win32":
        template = template.with_name(f"{template.name}-{scenario.arch}")
    if needs_mount(scenario) and os.geteuid() != 0:
        raise NeedsRoot(f"{name} mounts a small file system and needs root")
    if scenario.gives_away_files and os.geteuid() != 0:
        raise NeedsRoot(f"{name} gives files to another user and needs root")
    if scenario.locale and not locale_available(scenario.locale):
        # Wine would fall back to English quietly, and the scenario would test nothing.
        return [f"harness: the locale {scenario.locale} is not installed on this machine "
                "(scripts/setup.sh generates it)"]
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
        copy_prefix(template, prefix, share=stand_in is None)
        if scenario.small_disk:
            mount_small_drive(prefix, template, share=stand_in is None)
        if package.write_source:
            manifest = package.write_source(folder / "source", lmvpack)
        else:
            manifest = write_manifest(
                folder / "source", package.name, package.members, package.agreement,
                package.needs_directx, package.top_color, package.bottom_color,
                package.first_media_number)
        pkg_dir = prefix / "drive_c" / "e2e" / "pkg"
        pkg_dir.mkdir(parents=True, exist_ok=True)
        installer = pkg_dir / package.file_name
        if package.edit_manifest:
            package.edit_manifest(manifest)
        listing = build_installer(lmvpack, stub, manifest, installer)
        if package.after_build:
            package.after_build(installer, folder, lmvpack)
        if package.members_in_table is not None:
            end_member_table_at(installer, listing, package.members_in_table)
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
                name = WINVER_INSTALLER.format(run.winver)
                shutil.copy2(installer, pkg_dir / name)
                installer_win = PKG_DIR + "\\" + name
            steps = [("answer", c, b) for c, b in run.answers]
            steps += [("cancel", p, n) for p, n in run.cancels]
            if run.shot:
                steps.append(("shot", run.shot))
            steps += [("hook", hook[0], *hook[2:]) for hook in run.during]
            if stand_in is not None:
                shutil.copy2(stand_in, win_to_unix(prefix, installer_win))
            runs.append(DriverRun(installer_win, run.args, steps))
        st = os.statvfs(prefix / "drive_c")
        ctx.free_kb_before = st.f_bavail * st.f_frsize // 1024
        xvfb = Xvfb()
        ctx.results, ctx.elapsed = [], 0
        for first, last in run_groups(scenario.runs):
            if scenario.runs[first].before:
                scenario.runs[first].before(ctx)
            hooks = tuple((lambda action: lambda: action(ctx, xvfb))(hook[1])
                          for run in scenario.runs[first:last] for hook in run.during)
            results, elapsed = drive_installer(
                prefix, runs[first:last], overrides=scenario.overrides, timeout=scenario.timeout,
                screenshot_dir=folder, xvfb=xvfb, hooks=hooks, locale=scenario.locale)
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
        stop_wineserver(prefix, wait=False) if prefix.exists() else None
        unmount_all_under(folder)
        if not problems and not keep:
            shutil.rmtree(prefix, ignore_errors=True)
    return problems


def locale_available(locale: str) -> bool:
    """Whether the C library has the locale (`locale -a` spells "UTF-8" as "utf8")."""
    names = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    wanted = locale.lower().replace("utf-8", "utf8")
    return any(n.lower().replace("utf-8", "utf8") == wanted for n in names)


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
