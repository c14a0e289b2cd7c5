"""A Wine prefix on a private X display, driven by our GUI driver.

One template prefix (32-bit, or 64-bit set to Windows 10), booted with the settings a test
prefix wants and our Win32 helpers in C:\\e2e\\bin, is copied for every use; each use gets its
own Xvfb display and wineserver, which are stopped whatever happens. The GUI driver
(tools/gui_driver/gui_driver.cpp) starts the installer inside the prefix, answers its windows
by script and logs what it saw; its log is read back here, run by run, and the prefix's files
are read directly from the Linux side. The end-to-end tests use it, and so does
scripts/demo_install.py, which is why it lives outside tests/.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

from wine_registry import read_registry

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
