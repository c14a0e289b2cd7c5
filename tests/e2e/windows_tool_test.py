#!/usr/bin/env python3
"""lmvpack.exe under Wine gives what the Linux lmvpack gives, byte for byte.

  windows_tool_test.py --template DIR --tool-exe LMVPACK.EXE --stub LMVSTUB.EXE
                       --lmvpack LINUX_TOOL --manifest TOML --work DIR

Builds the manifest with both tools and compares the installers; lists the Windows-built
installer with both (`list --json`) and compares the listings, also through a path longer
than the 255 characters the installer's passes accept; verifies it with lmvpack.exe; and
builds once more with the stub found beside lmvpack.exe instead of named by --stub, also with
lmvpack.exe started by a Unix path no drive leads to; draws the title preview with both; and
refuses to write an installer over the build's agreement.
A console program, so no X server: only a copy of the e2e template prefix.
"""

from __future__ import annotations

import argparse
import json
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
# The Wine prefix, the display and the GUI driver, shared with scripts/demo_install.py.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "wine"))

import package_sources  # noqa: E402
import wine_session  # noqa: E402

WINE_TIMEOUT = 120


def windows_path(path: Path) -> str:
    # Wine maps the Linux root to Z:. A path starting with "/" would be read as an option by
    # the Windows tool's command line, so every path it gets is a Windows one.
    return "Z:" + str(path.resolve()).replace("/", "\\")


def run(cmd: list, env: dict | None = None, cwd: Path | None = None) -> subprocess.CompletedProcess:
    try:
        return subprocess.run(cmd, env=env, cwd=cwd, capture_output=True, timeout=WINE_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise wine_session.HarnessError(f"{cmd[:3]} did not finish within {WINE_TIMEOUT} s")


def describe(result: subprocess.CompletedProcess) -> str:
    return (f"exit {result.returncode}\n{result.stdout.decode(errors='replace')}"
            f"{result.stderr.decode(errors='replace')}")


def first_difference(a: bytes, b: bytes) -> str:
    for offset, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return f"first difference at offset {offset:#x} ({x:#04x} against {y:#04x})"
    return f"sizes differ: {len(a)} against {len(b)} bytes"


def unix_lines(text: bytes) -> bytes:
    # The Windows runtime writes standard output in text mode, so its lines end in CR LF.
    # That and nothing else may differ; a stray CR elsewhere still fails the comparison.
    return text.replace(b"\r\n", b"\n")


def program_bytes(body: bytes) -> bytes:
    """What lmvpack takes for a 32-bit Windows program: the headers a loader reads first."""
    headers = bytearray(0x40 + 24 + 224)
    headers[0:2], headers[0x3C] = b"MZ", 0x40
    headers[0x40:0x46] = b"PE\0\0\x4c\x01"  # i386
    headers[0x54], headers[0x56] = 224, 0x02  # optional header size; an executable image
    headers[0x58:0x5A] = b"\x0b\x01"  # PE32
    return bytes(headers) + body


def write_non_ascii_manifest(folder: Path) -> Path:
    """A manifest whose file names lie outside ASCII (all within Windows-1252, which the
    installer uses); the name and the suffixes, which lmvpack takes in ASCII only, do not."""
    folder.mkdir(parents=True)
    files = {"écran.scr": program_bytes(package_sources.compressible_bytes(5000, 1)),
             "données.dat": package_sources.random_bytes(700, 2),
             "désinstaller.exe": program_bytes(package_sources.random_bytes(300, 3)),
             "chanson à moi.wav": package_sources.wav_bytes(3000),
             "bruit.dür": package_sources.compressible_bytes(2000, 4)}
    for name, content in files.items():
        (folder / name).write_bytes(content)
    (folder / "manifest.toml").write_text(
        'name = "Cafe Ol"\ntop_color = "#204060"\nbottom_color = "#000000"\n'
        'screensaver = "écran.scr"\ndata = "données.dat"\n'
        '[uninstaller]\nfile = "désinstaller.exe"\ncompress = false\n'
        '[[media]]\nfile = "chanson à moi.wav"\nprefix = "JUKE"\n'
        '[[media]]\nfile = "bruit.dür"\nprefix = "FILE"\nsuffix = ".dur"\n', encoding="utf-8")
    return folder / "manifest.toml"


def tree(folder: Path) -> dict:
    return {p.name: p.read_bytes() for p in folder.iterdir()} if folder.is_dir() else {}


def check_non_ascii_names(work: Path, args, wine_tool) -> list:
    """Names from the manifest and from the installer reach the file system as the same
    characters on both systems (Windows must not read the UTF-8 as its ANSI code page)."""
    problems = []
    manifest = write_non_ascii_manifest(work / "accents")
    linux_out, windows_out = work / "accents-linux.exe", work / "accents-windows.exe"
    linux = run([args.lmvpack, "build", str(manifest), "-o", str(linux_out), "--stub", args.stub])
    if linux.returncode != 0:
        return [f"Linux lmvpack build of the non-ASCII manifest failed: {describe(linux)}"]
    built = wine_tool("build", windows_path(manifest), "-o", windows_path(windows_out),
                      "--stub", windows_path(Path(args.stub)))
    if built.returncode != 0 or not windows_out.is_file():
        return [f"lmvpack.exe build of the non-ASCII manifest failed: {describe(built)}"]
    if windows_out.read_bytes() != linux_out.read_bytes():
        problems.append("the non-ASCII installers differ: " +
                        first_difference(windows_out.read_bytes(), linux_out.read_bytes()))

    # An installer from before names had to be ASCII: its name in Windows-1252, "Café Öl".
    listing = json.loads(run([args.lmvpack, "list", str(linux_out), "--json"]).stdout)
    at = listing["package_offset"] + 2 + listing["agreement_length"]
    older = bytearray(linux_out.read_bytes())
    older[at:at + 8] = "Café Öl".encode("cp1252") + b"\0"
    older_out = work / "accents-older.exe"
    older_out.write_bytes(bytes(older))

    linux_dir, windows_dir = work / "extract-linux", work / "extract-windows"
    extracted = run([args.lmvpack, "extract", str(older_out), "-o", str(linux_dir)])
    if extracted.returncode != 0:
        return problems + [f"Linux lmvpack extract failed: {describe(extracted)}"]
    extracted = wine_tool("extract", windows_path(older_out), "-o", windows_path(windows_dir))
    if extracted.returncode != 0:
        return problems + [f"lmvpack.exe extract failed: {describe(extracted)}"]
    expected, got = tree(linux_dir), tree(windows_dir)
    if "Café Öl.scr" not in expected:
        problems.append(f"Linux extract wrote {sorted(expected)}, no \"Café Öl.scr\"")
    if sorted(got) != sorted(expected):
        problems.append(f"lmvpack.exe extract wrote {sorted(got)}, Linux {sorted(expected)}")
    elif got != expected:
        problems.append("lmvpack.exe extract wrote other contents than Linux: " +
                        ", ".join(n for n in expected if got[n] != expected[n]))
    return problems


def check_inputs_kept(work: Path, args, wine_tool) -> list:
    """lmvpack.exe refuses to write the installer over a file the build reads: the agreement
    under its own name and through a hard link (the Windows runtime's own file comparison
    calls them different files, so this once replaced the agreement and exited 0)."""
    folder = work / "inputs"
    shutil.copytree(Path(args.manifest).parent, folder)
    manifest = folder / Path(args.manifest).name
    # The sample names its screen saver where the win32 build puts it, relative to the
    # manifest: in the copy it stands beside the manifest instead.
    shutil.copy2(Path(args.stub).parent / "aurora.scr", folder / "aurora.scr")
    text = re.sub(r'(?m)^screensaver = ".*"$', 'screensaver = "aurora.scr"', manifest.read_text())
    manifest.write_text(text)
    agreement = folder / "license.txt"
    if not agreement.is_file():
        return [f"{manifest} names no license.txt beside it; the check needs an agreement"]
    (folder / "licence-link.txt").hardlink_to(agreement)
    before = agreement.read_bytes()
    problems = []
    for target in ("license.txt", "licence-link.txt"):
        built = wine_tool("build", windows_path(manifest), "-o", windows_path(folder / target),
                          "--stub", windows_path(Path(args.stub)), "--quiet")
        if built.returncode != 2 or b"is one of the build's inputs" not in built.stderr:
            problems.append(f"lmvpack.exe build -o {target} was not refused: {describe(built)}")
        if agreement.read_bytes() != before:
            problems.append(f"lmvpack.exe build -o {target} changed the agreement")
            agreement.write_bytes(before)
    return problems


def check_started_by_unix_path(work: Path, args, prefix: Path, env: dict,
                               expected: bytes) -> list:
    """lmvpack.exe started by a Unix path outside every drive (the prefix without its Z:
    drive) finds the stub beside itself: the system names such a program "unix\\...", which
    reads as relative to the current folder. Runs after check_inputs_kept, whose folder holds
    the sample's files."""
    tool = work / "unix-tool"
    tool.mkdir()
    for name in ("lmvpack.exe", "lmvstub.exe", "lmvuninst.exe"):
        shutil.copyfile(Path(args.stub).parent / name, tool / name)
    drive_z, away = prefix / "dosdevices" / "z:", prefix / "z-away"
    wine_session.stop_wineserver(prefix, wait=True)
    drive_z.rename(away)
    try:
        built = run(["wine", str(tool / "lmvpack.exe"), "build", Path(args.manifest).name, "-o",
                     "unix.exe", "--quiet"], env=env, cwd=work / "inputs")
    finally:
        wine_session.stop_wineserver(prefix, wait=True)
        away.rename(drive_z)
    out = work / "inputs" / "unix.exe"
    if built.returncode != 0 or not out.is_file():
        return [f"lmvpack.exe started by its Unix path did not build: {describe(built)}"]
    if out.read_bytes() != expected:
        return ["lmvpack.exe started by its Unix path built another installer: " +
                first_difference(out.read_bytes(), expected)]
    return []


def read_png(png: Path) -> wine_session.Image:
    ppm = subprocess.run(["convert", str(png), "ppm:-"], capture_output=True, timeout=60,
                         check=True).stdout
    return wine_session.Image(ppm)


def check_preview(work: Path, args, wine_tool) -> list:
    """lmvpack.exe draws the title with the installer's own painting code: its bands and frame
    are the Linux preview's pixel for pixel, and its title is white text over a black shadow.
    (The letters themselves differ: each system draws them with its own fonts.)"""
    width, height = 800, 600
    size = f"{width}x{height}"
    manifest = Path(args.manifest)
    linux_png, windows_png = work / "title-linux.png", work / "title-windows.png"
    linux = run([args.lmvpack, "preview", str(manifest), "-o", str(linux_png), "--size", size])
    if linux.returncode != 0:
        return [f"Linux lmvpack preview failed: {describe(linux)}"]
    drawn = wine_tool("preview", windows_path(manifest), "-o", windows_path(windows_png),
                      "--size", size)
    if drawn.returncode != 0 or not windows_png.is_file():
        return [f"lmvpack.exe preview failed: {describe(drawn)}"]
    windows, linux_image = read_png(windows_png), read_png(linux_png)
    if (windows.width, windows.height) != (width, height):
        return [f"lmvpack.exe preview is {windows.width}x{windows.height}, asked for {size}"]
    problems = []
    # Every row above and well below the title's (at most two) lines of text.
    for y in [*range(0, 20), *range(250, height)]:
        for x in (0, 2, width // 2, width - 3):
            if windows.pixel(x, y) != linux_image.pixel(x, y):
                problems.append(f"preview pixel ({x},{y}): lmvpack.exe drew {windows.pixel(x, y)}, "
                                f"Linux {linux_image.pixel(x, y)}")
                break
        if problems:
            break
    white, black = (255, 255, 255), (0, 0, 0)
    for fx in (0, 1, width - 2, width - 1):
        if windows.pixel(fx, height // 2) != white:
            problems.append(f"preview frame pixel ({fx},{height // 2}) is not white")
    shadowed = sum(1 for y in range(20, 120) for xx in range(30, 600)
                   if windows.pixel(xx, y) == white and windows.pixel(xx + 2, y + 2) == black)
    if shadowed < 100:
        problems.append(f"the preview's title shows {shadowed} white pixels over a black shadow; "
                        "expected the name's letters")
    return problems


def check(args) -> list:
    problems = []
    work = Path(args.work) / "windows_tool"
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    prefix = work / "prefix"
    wine_session.copy_prefix(Path(args.template), prefix)
    env = wine_session.wine_env(prefix)
    tool_exe, stub, manifest = Path(args.tool_exe), Path(args.stub), Path(args.manifest)
    for needed in (tool_exe, stub):
        if not needed.is_file():
            return [f"{needed} is missing; build the win32 preset"]

    def wine_tool(*tool_args: str, exe: str | None = None) -> subprocess.CompletedProcess:
        return run(["wine", exe or windows_path(tool_exe), *tool_args], env=env, cwd=work)

    try:
        linux_out, windows_out = work / "linux.exe", work / "windows.exe"
        # Outputs named relative to the folder, so that the summaries name them alike.
        linux = run([args.lmvpack, "build", str(manifest), "-o", linux_out.name, "--stub", str(stub)],
                    cwd=work)
        if linux.returncode != 0:
            return [f"Linux lmvpack build failed: {describe(linux)}"]
        built = wine_tool("build", windows_path(manifest), "-o", windows_out.name,
                          "--stub", windows_path(stub))
        if built.returncode != 0 or not windows_out.is_file():
            return [f"lmvpack.exe build failed: {describe(built)}"]
        linux_bytes, windows_bytes = linux_out.read_bytes(), windows_out.read_bytes()
        if linux_bytes != windows_bytes:
            problems.append("the installers differ: " + first_difference(windows_bytes, linux_bytes))
        if unix_lines(built.stdout) != linux.stdout.replace(b"linux.exe", b"windows.exe"):
            problems.append("the build summaries differ:\n" + describe(built) + "\n" + describe(linux))

        # Listings of one installer (the Windows-built one), also from a path too long for
        # the installer's passes, which the Windows tool shortens its own way.
        deep = work / "/".join(f"a_folder_with_a_rather_long_name_{i:02d}" for i in range(7))
        deep.mkdir(parents=True)
        deep_copy = deep / "windows.exe"
        shutil.copyfile(windows_out, deep_copy)
        assert len(str(deep_copy)) > 255
        linux_list = run([args.lmvpack, "list", "--json", str(windows_out)])
        if linux_list.returncode != 0 or not linux_list.stdout.startswith(b"{"):
            return problems + [f"Linux lmvpack list failed: {describe(linux_list)}"]
        for path in (windows_out, deep_copy):
            listed = wine_tool("list", "--json", windows_path(path))
            if listed.returncode != 0 or unix_lines(listed.stdout) != linux_list.stdout:
                problems.append(f"list --json of {path.name} ({len(str(path))} characters) "
                                f"differs from Linux:\n{describe(listed)}\nLinux:\n"
                                f"{linux_list.stdout.decode(errors='replace')}")

        verified = wine_tool("verify", windows_path(windows_out))
        if verified.returncode != 0 or b"OK:" not in verified.stdout:
            problems.append(f"lmvpack.exe verify failed: {describe(verified)}")

        # The stub and the uninstaller beside the tool are found without --stub, as a Windows
        # author keeps them.
        tools = prefix / "drive_c" / "lmvpack"
        tools.mkdir()
        shutil.copyfile(tool_exe, tools / "lmvpack.exe")
        shutil.copyfile(stub, tools / "lmvstub.exe")
        shutil.copyfile(stub.parent / "lmvuninst.exe", tools / "lmvuninst.exe")
        found_out = work / "found.exe"
        found = wine_tool("build", windows_path(manifest), "-o", windows_path(found_out),
                          exe=r"C:\lmvpack\lmvpack.exe")
        if found.returncode != 0 or not found_out.is_file():
            problems.append(f"lmvpack.exe build without --stub failed: {describe(found)}")
        elif found_out.read_bytes() != linux_bytes:
            problems.append("the installer built with the stub found beside lmvpack.exe differs: " +
                            first_difference(found_out.read_bytes(), linux_bytes))

        problems += check_non_ascii_names(work, args, wine_tool)
        problems += check_inputs_kept(work, args, wine_tool)
        problems += check_preview(work, args, wine_tool)
        problems += check_started_by_unix_path(work, args, prefix, env, linux_bytes)
    finally:
        wine_session.stop_wineserver(prefix, wait=False)
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return problems


def main() -> int:
    parser = argparse.ArgumentParser()
    for name in ("--template", "--tool-exe", "--stub", "--lmvpack", "--manifest", "--work"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    try:
        problems = check(args)
    except wine_session.HarnessError as failure:
        problems = [str(failure)]
    for problem in problems:
        print(problem)
    print("FAIL" if problems else "PASS: lmvpack.exe under Wine matches the Linux lmvpack")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
