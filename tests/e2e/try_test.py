#!/usr/bin/env python3
"""`lmvpack try` end to end: the sample installer tried under Wine, signed and unsigned.

  try_test.py --lmvpack LMVPACK --stub LMVSTUB.EXE --manifest TOML --work DIR

1. Without Wine on PATH, try says how to get it and exits with 3.
2. An interactive trial with --screenshot: exit status 0, the questions answered, every file
   written (sizes of the sample's members), INSTALL.LOG, the Uninstall entry, the screen-saver
   setting, and a picture of the title screen in the manifest's colours; the GUI driver's log
   (the prefix kept) shows its look at the files before the run answered at once, not waited
   out for a minute.
3. The sample signed with a throwaway certificate installs exactly as the unsigned one: the
   two silent trials report the same windows, files, log, registry values and setting.
4. Ctrl-C during a trial: exit status 130, the virtual display and every Wine process of the
   trial gone, and its prefix removed.
5. --uninstall: the sample installed and removed by its UninstallString, nothing left, exit 0.
   With an uninstaller that damages instead of removing (stand_in_vandal.exe: it
   overwrites system32\kernel32.dll), everything the installation added is named as left, the
   exit status is 1, and the kept Wine prefix in the cache is untouched by the damage.
The kept Wine prefix lives in DIR/cache (made by the first trial, reused by the next ones).
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

TRIAL_TIMEOUT = 600  # the first trial makes the Wine prefix


def run(cmd: list, env: dict, timeout: float = TRIAL_TIMEOUT) -> subprocess.CompletedProcess:
    return subprocess.run([str(c) for c in cmd], env=env, capture_output=True, text=True,
                          timeout=timeout)


def show(result: subprocess.CompletedProcess) -> str:
    return f"exit {result.returncode}\n--- stdout\n{result.stdout}--- stderr\n{result.stderr}"


def pixel(png: Path, x: int, y: int) -> tuple:
    text = subprocess.run(["convert", str(png), "-crop", f"1x1+{x}+{y}", "txt:-"],
                          capture_output=True, text=True, check=True).stdout
    m = re.search(r"\((\d+),(\d+),(\d+)", text.splitlines()[-1])
    return tuple(int(v) for v in m.groups())


def image_size(png: Path) -> tuple:
    text = subprocess.run(["identify", "-format", "%w %h", str(png)], capture_output=True,
                          text=True, check=True).stdout
    return tuple(int(v) for v in text.split())


def processes_of(run_folder: str) -> list:
    """Processes whose environment names the trial's prefix."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            environ = Path(f"/proc/{entry}/environ").read_bytes()
        except OSError:
            continue
        if run_folder.encode() in environ:
            found.append(int(entry))
    return found


def after_first_line(text: str) -> str:
    return text.split("\n", 1)[1] if "\n" in text else ""


def check_without_wine(lmvpack: Path, installer: Path, env: dict) -> list:
    result = run([lmvpack, "try", installer], dict(env, PATH="/nonexistent"), 60)
    problems = []
    if result.returncode != 3:
        problems.append(f"without Wine: expected exit status 3\n{show(result)}")
    if "apt-get install" not in result.stderr or "wine" not in result.stderr:
        problems.append(f"without Wine: no word on how to get it\n{show(result)}")
    return problems


def check_interactive(lmvpack: Path, installer: Path, sources: Path, win32: Path, work: Path,
                      env: dict) -> list:
    """sources: the sample's folder; win32: where the screen saver and our uninstaller were
    built (the sample manifest names the one, lmvpack packs the other)."""
    png = work / "title.png"
    kept = work / "kept-interactive"
    result = run([lmvpack, "try", installer, "--screenshot", png, "--keep", kept], env)
    out = result.stdout
    problems = []
    if result.returncode != 0:
        return [f"interactive trial failed\n{show(result)}"]
    # The driver asks for a look at the files before its run; try answers at once instead of
    # leaving it to wait a minute for an answer.
    log = kept / "drive_c" / "lmvpack-try" / "driver.log"
    marks = [e for e in driver_events(log) if e.startswith("mark")] if log.exists() else []
    if marks != ["mark-request", "mark-done"]:
        problems.append(f"the driver's request before its run was not answered: {marks}")
    expected = [
        '"Aurora Screen Saver Installation": OK\n',
        '"License Agreement": Accept\n',
        "Exit status: 0\n",
        f"  C:\\windows\\Aurora.scr  ({(win32 / 'aurora.scr').stat().st_size} bytes)\n",
        f"Aurora\\Aurora.dat  ({(sources / 'aurora.dat').stat().st_size} bytes)\n",
        f"Aurora\\UNINSTAL.EXE  ({(win32 / 'lmvuninst.exe').stat().st_size} bytes)\n",
        f"Aurora\\JUKE0001.WAV  ({(sources / 'sunrise.wav').stat().st_size} bytes)\n",
        "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\INSTALL.LOG:\n  C:\\windows\\Aurora.scr\n",
        "  [Aurora]\n",
        "    DisplayName = REG_SZ",
        "SCRNSAVE.EXE=",
        "; screen saving on\n",
        f"Screenshot of the title screen: {png}\n",
    ]
    for text in expected:
        if text not in out:
            problems.append(f"interactive trial: {text!r} not in the report")
    if not png.exists():
        return problems + [f"no screenshot at {png}\n{show(result)}"]
    if image_size(png) != (1024, 768):
        problems.append(f"screenshot is {image_size(png)}, expected the 1024x768 screen")
    # Right of the centred question, inside the frame: the top band is the top colour
    # (#102060); the gradient darkens toward black.
    top, low = pixel(png, 1000, 8), pixel(png, 1000, 740)
    if top != (0x10, 0x20, 0x60):
        problems.append(f"screenshot: top band {top}, expected (16, 32, 96)")
    if not sum(low) < sum(top):
        problems.append(f"screenshot: no gradient toward black ({top} at the top, {low} below)")
    if problems:
        problems.append(show(result))
    return problems


def check_signed_installs_alike(lmvpack: Path, installer: Path, work: Path, env: dict) -> list:
    keys = work / "keys"
    keys.mkdir()
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Try Test", "-keyout", keys / "key.pem", "-out",
                    keys / "cert.pem"], capture_output=True, check=True)
    signed = work / "SignedSetup.exe"
    sign = run([lmvpack, "sign", installer, "-o", signed, "--cert", keys / "cert.pem",
                "--key", keys / "key.pem"], env, 120)
    if sign.returncode != 0:
        return [f"lmvpack sign failed\n{show(sign)}"]
    plain = run([lmvpack, "try", installer], env)
    signed_run = run([lmvpack, "try", signed], env)
    problems = []
    for name, result in (("unsigned", plain), ("signed", signed_run)):
        if result.returncode != 0 or "Exit status: 0\n" not in result.stdout:
            problems.append(f"{name} trial failed\n{show(result)}")
    if not problems and after_first_line(plain.stdout) != after_first_line(signed_run.stdout):
        problems.append("the signed installer installed differently from the unsigned one\n"
                        f"--- unsigned\n{plain.stdout}--- signed\n{signed_run.stdout}")
    return problems


def check_interrupt(lmvpack: Path, installer: Path, cache: Path, env: dict) -> list:
    proc = subprocess.Popen([str(lmvpack), "try", str(installer), "--interactive"], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    display = None
    lines = []
    ready = threading.Event()

    def read_progress():
        nonlocal display
        for line in proc.stderr:
            lines.append(line)
            m = re.search(r"on display :(\d+)", line)
            if m:
                display = m.group(1)
                ready.set()
        ready.set()

    reader = threading.Thread(target=read_progress, daemon=True)
    reader.start()
    # The condition: lmvpack says it is running the installer on its display.
    if not ready.wait(TRIAL_TIMEOUT) or display is None:
        proc.kill()
        proc.wait()
        return ["the trial never started running the installer:\n" + "".join(lines)]
    runs = [p for p in (cache / "lmvpack" / "runs").iterdir()]
    proc.send_signal(signal.SIGINT)
    try:
        status = proc.wait(120)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return ["lmvpack did not end within 120 s of Ctrl-C"]
    reader.join(10)
    problems = []
    if status != 130:
        problems.append(f"Ctrl-C: exit status {status}, expected 130\n" + "".join(lines))
    if Path(f"/tmp/.X11-unix/X{display}").exists():
        problems.append(f"Ctrl-C: the virtual display :{display} is still there")
    for folder in runs:
        if folder.exists():
            problems.append(f"Ctrl-C: the trial's prefix {folder} is still there")
        left = processes_of(str(folder))
        if left:
            problems.append(f"Ctrl-C: processes of the trial still run: {left}")
    return problems


def driver_events(log: Path) -> list:
    events = []
    for line in log.read_text(encoding="utf-8", errors="replace").splitlines():
        m = re.search(r'"event":"([a-z_-]+)"', line)
        if m:
            events.append(m.group(1))
    return events


def check_uninstall(lmvpack: Path, installer: Path, env: dict) -> list:
    result = run([lmvpack, "try", installer, "--uninstall"], env)
    out = result.stdout
    problems = []
    if result.returncode != 0:
        problems.append(f"try --uninstall of the sample: exit status {result.returncode}")
    removal = out[out.find("Removed as Add/Remove Programs does"):]
    expected = [
        'UninstallString: "C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\UNINSTAL.EXE"\n',
        '"Aurora Screen Saver": Yes\n      Remove Aurora Screen Saver and all of its files?\n',
        "Exit status: 0\n",
        "Left behind of what the installation added: nothing\n",
    ]
    for text in expected:
        if text not in removal:
            problems.append(f"try --uninstall: {text!r} not in the removal's report")
    return problems + ([show(result)] if problems else [])


def check_vandal_removal(lmvpack: Path, manifest: Path, stub: Path, cache: Path, work: Path,
                         env: dict) -> list:
    vandal = stub.parent / "stand_in_vandal.exe"
    if not vandal.exists():
        return [f"no {vandal}: build the win32 preset"]
    installer = work / "VandalSetup.exe"
    build = run([lmvpack, "build", manifest, "-o", installer, "--stub", stub, "--uninstaller",
                 vandal, "-q"], env, 300)
    if build.returncode != 0:
        return [f"building the installer with the vandal as uninstaller failed\n{show(build)}"]
    templates = list((cache / "lmvpack").glob("wine-prefix-*/drive_c/windows/system32"))
    if len(templates) != 1:
        return [f"expected one kept prefix in {cache / 'lmvpack'}, found {templates}"]
    library = templates[0] / "kernel32.dll"
    before = library.read_bytes()
    kept = work / "kept-vandal"
    result = run([lmvpack, "try", installer, "--uninstall", "--keep", kept], env)
    problems = []
    if result.returncode != 1:
        problems.append(f"a removal that leaves everything: exit status {result.returncode}, "
                        "expected 1")
    for text in ("Left behind of what the installation added:\n",
                 "  file C:\\windows\\Aurora.scr\n",
                 "  file C:\\ProgramData\\Tarrowby\\Lumenvault\\Aurora\\INSTALL.LOG\n",
                 "  folder C:\\ProgramData\\Tarrowby\n",
                 "registry value HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
                 "\\Uninstall\\Aurora: UninstallString",
                 "  setting system.ini [boot] SCRNSAVE.EXE=C:\\windows\\Aurora.scr\n"):
        if text not in result.stdout:
            problems.append(f"the vandal's removal: {text!r} not in the report")
    damaged = kept / "drive_c" / "windows" / "system32" / "kernel32.dll"
    if not damaged.exists() or damaged.read_bytes() != b"not a library any more":
        problems.append("the vandal did not run in the trial (its kernel32.dll is untouched), so "
                        "this proves nothing")
    if library.read_bytes() != before:
        problems.append(f"the trial changed the kept prefix's {library}")
    return problems + ([show(result)] if problems else [])


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--lmvpack", required=True, type=Path)
    parser.add_argument("--stub", required=True, type=Path)
    parser.add_argument("--manifest", required=True, type=Path)
    parser.add_argument("--work", required=True, type=Path)
    args = parser.parse_args()
    work = args.work.resolve() / "lmvpack_try"
    cache = args.work.resolve() / "try-cache"  # kept: the next test run reuses the prefix
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    env = dict(os.environ, XDG_CACHE_HOME=str(cache))
    env.pop("LMVPACK_KEY_PASSWORD", None)

    installer = work / "AuroraSetup.exe"
    build = run([args.lmvpack, "build", args.manifest, "-o", installer, "--stub", args.stub,
                 "--uninstaller", args.stub.parent / "lmvuninst.exe", "-q"], env, 300)
    if build.returncode != 0:
        print(f"lmvpack build failed\n{show(build)}")
        return 1
    problems = []
    for name, check in (
            ("without Wine", lambda: check_without_wine(args.lmvpack, installer, env)),
            ("interactive with screenshot",
             lambda: check_interactive(args.lmvpack, installer, args.manifest.parent,
                                       args.stub.parent, work, env)),
            ("signed as unsigned",
             lambda: check_signed_installs_alike(args.lmvpack, installer, work, env)),
            ("Ctrl-C", lambda: check_interrupt(args.lmvpack, installer, cache, env)),
            ("--uninstall", lambda: check_uninstall(args.lmvpack, installer, env)),
            ("a removal that damages",
             lambda: check_vandal_removal(args.lmvpack, args.manifest, args.stub, cache, work,
                                          env))):
        started = time.monotonic()
        found = check()
        print(f"{name}: {'ok' if not found else 'FAILED'} ({time.monotonic() - started:.1f} s)")
        problems += found
    for problem in problems:
        print(problem)
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
