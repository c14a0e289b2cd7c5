#!/usr/bin/env python3
"""CPU time that the sample screen saver Aurora costs per second of display, full screen.

  bench/aurora_cpu.py --aurora build/win32/aurora.scr \\
      --template build/native/tests/e2e/work/template [--seconds 20] [--sizes 1920x1080,3840x2160]

For each screen size: a private Xvfb of that size, a copy of the 32-bit Wine prefix, and
"aurora.scr /s" in it. After a warm-up of a few seconds the CPU time (user and system) of every
process involved is read from /proc over the measured seconds: the screen saver's own process,
the rest of Wine (wineserver and the desktop process) and the X server, which receives each
frame. The figure is CPU seconds per second of display: 1.0 is one core kept busy.

On this project's machines 32-bit Wine runs under an emulator (qemu-user), which makes the
screen saver's own figure several times what the same program costs on Windows; the figures
compare versions and sizes with each other, not with Windows.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

import harness  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
SAVER_TITLE = "Aurora Screen Saver"


def cpu_seconds(pid: int) -> float:
    """User and system time of a live process, in seconds; 0 once it is gone."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / TICKS


def prefix_processes(prefix: Path) -> list:
    """The processes started for the prefix (Wine passes WINEPREFIX to all of them)."""
    marker = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if marker in (entry / "environ").read_bytes().split(b"\0"):
                found.append(int(entry.name))
        except OSError:
            continue
    return found


def measure(aurora: Path, template: Path, size: str, seconds: float, warm_up: float) -> dict:
    width, height = (int(v) for v in size.split("x"))
    with tempfile.TemporaryDirectory(prefix="aurora-cpu-") as work:
        prefix = Path(work) / "prefix"
        harness.copy_prefix(template, prefix)
        shutil.copy2(aurora, harness.win_to_unix(prefix, r"C:\windows\Aurora.scr"))
        xvfb = harness.Xvfb(width, height)
        saver = None
        try:
            saver = harness.start_program(prefix, xvfb, r"C:\windows\Aurora.scr", "/s")
            harness.wait_for(lambda: xvfb.shows_window(SAVER_TITLE), "the full-screen window")
            time.sleep(warm_up)
            pids = prefix_processes(prefix)
            own = saver.pid
            before = {pid: cpu_seconds(pid) for pid in pids + [xvfb.proc.pid]}
            start = time.monotonic()
            time.sleep(seconds)
            after = {pid: cpu_seconds(pid) for pid in before}
            elapsed = time.monotonic() - start
            if saver.poll() is not None:
                raise harness.HarnessError(f"aurora.scr ended during the measurement "
                                           f"(status {saver.returncode})")
            used = {pid: after[pid] - before[pid] for pid in before}
            return {
                "size": size,
                "saver": used.get(own, 0.0) / elapsed,
                "wine": sum(v for pid, v in used.items()
                            if pid not in (own, xvfb.proc.pid)) / elapsed,
                "x_server": used[xvfb.proc.pid] / elapsed,
            }
        finally:
            if saver is not None and saver.poll() is None:
                saver.kill()
                saver.wait()
            harness.stop_wineserver(prefix, wait=False)
            xvfb.stop()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--aurora", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--warm-up", type=float, default=3)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    args = parser.parse_args()
    print("| screen | aurora.scr | rest of Wine | X server | all |")
    print("|---|---:|---:|---:|---:|")
    for size in args.sizes.split(","):
        m = measure(Path(args.aurora), Path(args.template), size, args.seconds, args.warm_up)
        total = m["saver"] + m["wine"] + m["x_server"]
        print(f"| {size} | {m['saver']:.3f} | {m['wine']:.3f} | {m['x_server']:.3f} | "
              f"{total:.3f} |", flush=True)
    return 0


if __name__ == "__main__":
    harness.exit_with(main, "aurora_cpu")
