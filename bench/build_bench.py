#!/usr/bin/env python3
"""lmvpack on large members and many members: peak memory and time of build, verify and
extract, and how much a parallel build saves. Prints the tables of docs/benchmarks.md.

  build_bench.py memory   [--size-mb 200] [--levels fast,default,best]
  build_bench.py parallel [--corpus DIR] [--repeat 5] [--jobs N]
  build_bench.py wine     --prefix WINEPREFIX [--size-mb 1000] [--level fast]

Common options: --lmvpack (default build/native/lmvpack), --stub (default
build/win32/lmvstub.exe), --work (a scratch folder, default one in /tmp, removed afterwards).

memory: a member of --size-mb MB of sound (a WAV file of tones and noise, which compresses
    about as little as real recordings do), built at each level, then verified and extracted;
    the peak resident memory (the kernel's maxrss of the process) and wall time of each run.
parallel: the benchmark corpus as five media members at --level best, built alternately with
    --jobs 1 and --jobs N (default: every core the process may use), --repeat times each; the
    fastest and the median wall time of each and their ratio. Run it under `taskset -c 0,1` to
    pin it to two cores.
wine: lmvpack.exe (the 32-bit Windows build) under Wine in an existing 32-bit prefix builds,
    verifies and extracts one member of --size-mb MB; exit statuses, wall times, peak memory
    of the Wine process, and whether the extracted member equals the original.

--like FILE (memory and wine): the member is FILE repeated to --size-mb MB instead of sound.
    Memory does not depend on what the member holds, but time does: where 32-bit Wine runs
    under an emulator, a gigabyte of sound takes hours, a gigabyte of a picture
    (the corpus's screenshot.bmp) minutes.
"""

from __future__ import annotations

import argparse
import math
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
MB = 1_000_000


def run_measured(command: list, env: dict | None = None) -> tuple:
    """(exit status, wall seconds, peak resident memory in MB, stderr) of one run. Measured by
    /usr/bin/time: a child forked from this Python process would count Python's own pages."""
    with tempfile.NamedTemporaryFile() as measures, tempfile.TemporaryFile() as errors:
        started = time.monotonic()
        status = subprocess.run(["/usr/bin/time", "-o", measures.name, "-f", "%M"] + command,
                                env=env, stdout=subprocess.DEVNULL, stderr=errors).returncode
        wall = time.monotonic() - started
        peak_kb = int(Path(measures.name).read_text().split()[-1])
        errors.seek(0)
        text = errors.read().decode(errors="replace")
    return status, wall, peak_kb / 1024, text


def write_sound(path: Path, size: int) -> None:
    """A 16-bit stereo WAV of `size` bytes: chords with noise, one second repeated."""
    rate = 44100
    rng = random.Random(1)
    second = bytearray()
    for i in range(rate):
        t = i / rate
        left = 6000 * math.sin(2 * math.pi * 220 * t) + 3000 * math.sin(2 * math.pi * 277 * t)
        right = 6000 * math.sin(2 * math.pi * 330 * t) + 3000 * math.sin(2 * math.pi * 415 * t)
        second += struct.pack("<hh", int(left + rng.gauss(0, 300)), int(right + rng.gauss(0, 300)))
    body = size - 44
    header = (b"RIFF" + struct.pack("<I", size - 8) + b"WAVEfmt " +
              struct.pack("<IHHIIHH", 16, 1, 2, rate, rate * 4, 4, 16) + b"data" +
              struct.pack("<I", body))
    with path.open("wb") as out:
        out.write(header)
        left = body
        while left > 0:
            piece = second[:left]
            out.write(piece)
            left -= len(piece)


def write_member(path: Path, size: int, like: str | None) -> None:
    if not like:
        write_sound(path, size)
        return
    pattern = Path(like).read_bytes()
    with path.open("wb") as out:
        left = size
        while left > 0:
            piece = pattern[:left]
            out.write(piece)
            left -= len(piece)


def write_manifest(folder: Path, media: list, program: Path, name: str = "Bench") -> Path:
    """The screen saver and the uninstaller are copies of `program` (a Windows program: the
    stub will do), which lmvpack requires of them."""
    for file, content in (("b.scr", program.read_bytes()), ("b.dat", b"data"),
                          ("u.exe", program.read_bytes())):
        (folder / file).write_bytes(content)
    text = (f'name = "{name}"\nscreensaver = "b.scr"\ndata = "b.dat"\n'
            '[uninstaller]\nfile = "u.exe"\ncompress = false\n')
    for path in media:
        text += f'[[media]]\nfile = "{Path(path).as_posix()}"\n'
    manifest = folder / "bench.toml"
    manifest.write_text(text)
    return manifest


def check(status: int, what: str, stderr: str) -> None:
    if status != 0:
        sys.exit(f"build_bench: {what} failed with status {status}:\n{stderr}")


def memory(args, work: Path) -> None:
    member = work / "member.bin"
    write_member(member, args.size_mb * MB, args.like)
    manifest = write_manifest(work, [member], Path(args.stub))
    print(f"| level | build | verify | extract |")
    print("|---|---:|---:|---:|")
    for level in args.levels.split(","):
        installer = work / f"{level}.exe"
        status, wall, peak, err = run_measured(
            [args.lmvpack, "build", str(manifest), "-o", str(installer), "--stub", args.stub,
             "--level", level, "--quiet"])
        check(status, f"build at {level}", err)
        row = [f"{peak:.1f} MB, {wall:.0f} s"]
        status, wall, peak, err = run_measured([args.lmvpack, "verify", str(installer)])
        check(status, f"verify at {level}", err)
        row.append(f"{peak:.1f} MB, {wall:.0f} s")
        out = work / f"out-{level}"
        status, wall, peak, err = run_measured(
            [args.lmvpack, "extract", str(installer), "-o", str(out), "--quiet"])
        check(status, f"extract at {level}", err)
        row.append(f"{peak:.1f} MB, {wall:.0f} s")
        extracted = out / "FILE0001.bin"
        if subprocess.run(["cmp", "-s", str(extracted), str(member)]).returncode != 0:
            sys.exit(f"build_bench: the member extracted at {level} differs from the original")
        shutil.rmtree(out)
        installer.unlink()
        print(f"| {level} | " + " | ".join(row) + " |")


def parallel(args, work: Path) -> None:
    corpus = Path(args.corpus)
    files = sorted(p for p in corpus.iterdir() if p.is_file() and p.suffix != ".md")
    if len(files) != 5:
        sys.exit(f"build_bench: expected the five files of the benchmark corpus in {corpus}")
    manifest = write_manifest(work, [p.resolve() for p in files], Path(args.stub))
    jobs = args.jobs or len(os.sched_getaffinity(0))
    times = {1: [], jobs: []}
    outputs = {}
    for _ in range(args.repeat):
        for count in (1, jobs):
            installer = work / f"jobs{count}.exe"
            status, wall, _, err = run_measured(
                [args.lmvpack, "build", str(manifest), "-o", str(installer), "--stub", args.stub,
                 "--level", "best", "--jobs", str(count), "--quiet"])
            check(status, f"build with --jobs {count}", err)
            times[count].append(wall)
            outputs[count] = installer.read_bytes()
    if outputs[1] != outputs[jobs]:
        sys.exit("build_bench: the installers built with 1 and with several jobs differ")
    one, many = times[1], times[jobs]
    print(f"cores this process may use: {len(os.sched_getaffinity(0))}; load average before: "
          f"{args.load_before}; after: {os.getloadavg()[0]:.2f}")
    print("| jobs | fastest | median | runs |")
    print("|---:|---:|---:|---|")
    for count, walls in ((1, one), (jobs, many)):
        print(f"| {count} | {min(walls):.2f} s | {statistics.median(walls):.2f} s | "
              + ", ".join(f"{w:.2f}" for w in walls) + " |")
    print(f"\nratio {jobs} jobs / 1 job: fastest {min(many) / min(one):.2f}, "
          f"median {statistics.median(many) / statistics.median(one):.2f}")


def windows_path(path: Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


def wine(args, work: Path) -> None:
    env = dict(os.environ, WINEPREFIX=str(Path(args.prefix).resolve()), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    member = work / "member.bin"
    write_member(member, args.size_mb * MB, args.like)
    manifest = write_manifest(work, [member], Path(args.stub))
    installer = work / "big.exe"
    out = work / "out"
    tool = ["wine", windows_path(Path(args.tool_exe))]
    print("| command | status | wall time | peak memory of the Wine process |")
    print("|---|---:|---:|---:|")
    try:
        run_tool_commands(tool, env, manifest, installer, out, args)
    finally:
        subprocess.run(["wineserver", "-k"], env=env)
    same = subprocess.run(["cmp", "-s", str(out / "FILE0001.bin"), str(member)]).returncode == 0
    print(f"\nextracted member {'equals' if same else 'DIFFERS FROM'} the original "
          f"({args.size_mb * MB} bytes, installer {installer.stat().st_size} bytes)")
    if not same:
        sys.exit(1)


def run_tool_commands(tool: list, env: dict, manifest: Path, installer: Path, out: Path,
                      args) -> None:
    for what, command in (
            ("build", tool + ["build", windows_path(manifest), "-o", windows_path(installer),
                              "--stub", windows_path(Path(args.stub)), "--level", args.level,
                              "--quiet"]),
            ("verify", tool + ["verify", windows_path(installer)]),
            ("extract", tool + ["extract", windows_path(installer), "-o", windows_path(out),
                                "--quiet"])):
        status, wall, peak, err = run_measured(command, env)
        print(f"| {what} | {status} | {wall:.0f} s | {peak:.1f} MB |", flush=True)
        check(status, f"lmvpack.exe {what}", err)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=("memory", "parallel", "wine"))
    parser.add_argument("--lmvpack", default=str(SOURCE / "build/native/lmvpack"))
    parser.add_argument("--stub", default=str(SOURCE / "build/win32/lmvstub.exe"))
    parser.add_argument("--work")
    parser.add_argument("--size-mb", type=int)
    parser.add_argument("--levels", default="fast,default,best")
    parser.add_argument("--corpus", default=os.environ.get(
        "LMV_BENCH_CORPUS", str(SOURCE.parent / "shared" / "bench-corpus")))
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--jobs", type=int, default=0)
    parser.add_argument("--prefix")
    parser.add_argument("--tool-exe", default=str(SOURCE / "build/win32/lmvpack.exe"))
    parser.add_argument("--level", default="fast")
    parser.add_argument("--like")
    args = parser.parse_args()
    args.size_mb = args.size_mb or (1000 if args.what == "wine" else 200)
    args.load_before = f"{os.getloadavg()[0]:.2f}"
    if args.what == "wine" and not args.prefix:
        parser.error("wine needs --prefix, a 32-bit Wine prefix (WINEARCH=win32 wineboot -i)")
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="build_bench."))
    work.mkdir(parents=True, exist_ok=True)
    try:
        {"memory": memory, "parallel": parallel, "wine": wine}[args.what](args, work)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
