#!/usr/bin/env python3
"""Installs an installer silently under Wine, shows what landed where, and takes pictures of
the installer's title screen and of the installed screen saver running.

  demo_install.py INSTALLER --helpers build/win32 --work out/demo [--pictures out]

Uses what the end-to-end tests use (scripts/wine): a fresh 32-bit prefix, a private X
display, and our GUI driver, which accepts the agreement (shown even in silent mode when the
package has one) and closes the media notice should a media file not play on this machine.
With --pictures, the installer is first started interactively and photographed as soon as its
title screen is painted (then ended before anything is installed), and after the installation
the screen saver is started full screen ("/s") and photographed once it is animating.
"""

import argparse
import re
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "wine"))
import wine_registry  # noqa: E402
import wine_session  # noqa: E402


def layout_name(constant: str) -> str:
    """A name of the install layout, read where the product keeps it, so that the demo looks
    wherever the installer writes."""
    header = (Path(__file__).resolve().parent.parent / "install" / "install_layout.h").read_text()
    match = re.search(constant + r'\[\] =\s*"((?:[^"\\]|\\.)*)"', header)
    if match is None:
        raise SystemExit(f"install/install_layout.h names no {constant}")
    return match.group(1).replace("\\\\", "\\")


UNINSTALL_KEY = layout_name("kUninstallKeyRoot")
UNINSTALL = "HKEY_LOCAL_MACHINE\\" + UNINSTALL_KEY
PUBLISHER_LEVEL = layout_name("kPublisherLevel")
INSTALL_LOG = layout_name("kInstallLogName")
TITLE = "Aurora"  # the title window's text: the sample's name
SAVER_TITLE = "Aurora Screen Saver"  # the full-screen window of samples/aurora
PICTURE_TIMEOUT = 120


def photograph_title_screen(prefix: Path, installer: str, title: str, xvfb, png: Path) -> None:
    """Starts the installer interactively and photographs its title screen once the title is
    painted, before its first question; then ends it (nothing has been installed yet)."""
    proc = wine_session.start_program(prefix, xvfb, installer)
    try:
        wine_session.wait_for(lambda: xvfb.shows_window(title), "the title window", PICTURE_TIMEOUT)

        def title_painted():
            image = wine_session.Image(xvfb.screenshot(png))
            # White letters of the title near the top left; in the middle of the screen either
            # the gradient (dark here), or the first question with its text painted (dark
            # letters on a light face) rather than a box still empty.
            white = sum(1 for x in range(40, 400, 2) for y in range(40, 80, 2)
                        if image.pixel(x, y) == (255, 255, 255))
            cx, cy = image.width // 2, image.height // 2
            box = min(image.pixel(cx, cy)) >= 200
            letters = sum(1 for x in range(cx - 150, cx + 150, 2) for y in range(cy - 30, cy + 30)
                          if max(image.pixel(x, y)) < 80)
            return white > 50 and (not box or letters > 30)

        wine_session.wait_for(title_painted, "the title screen", PICTURE_TIMEOUT)
    finally:
        proc.kill()
        wine_session.stop_wineserver(prefix, wait=False)


def photograph_screen_saver(prefix: Path, screen_saver: str, xvfb, png: Path) -> None:
    """Starts the installed screen saver full screen and photographs it once two pictures in a
    row differ (it is animating) and its middle is lit; then ends it."""
    proc = wine_session.start_program(prefix, xvfb, screen_saver, "/s")
    try:
        wine_session.wait_for(lambda: xvfb.shows_window(SAVER_TITLE), "the screen saver's window",
                         PICTURE_TIMEOUT)
        previous = [None]

        def animating():
            image = wine_session.Image(xvfb.screenshot(png))
            middle = image.pixel(image.width // 2, image.height * 2 // 3)
            changed = previous[0] is not None and previous[0] != image.data
            previous[0] = image.data
            return changed and sum(middle) > 60

        wine_session.wait_for(animating, "the aurora's animation", PICTURE_TIMEOUT)
    finally:
        proc.kill()
        wine_session.stop_wineserver(prefix, wait=False)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("installer")
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pictures", help="folder for title-screen.png and screen-saver.png")
    args = parser.parse_args()
    work = Path(args.work).resolve()
    prefix = work / "prefix"
    if work.exists():
        shutil.rmtree(work)
    print(f"== making a 32-bit Wine prefix in {prefix}")
    wine_session.make_template(prefix, Path(args.helpers))
    pkg = prefix / "drive_c" / "e2e" / "pkg"
    pkg.mkdir(parents=True, exist_ok=True)
    name = Path(args.installer).name
    shutil.copy2(args.installer, pkg / name)

    pictures = Path(args.pictures).resolve() if args.pictures else None
    xvfb = wine_session.Xvfb()
    try:
        if pictures:
            pictures.mkdir(parents=True, exist_ok=True)
            print(f"== running C:\\e2e\\pkg\\{name} to photograph its title screen")
            photograph_title_screen(prefix, "C:\\e2e\\pkg\\" + name, TITLE, xvfb,
                                    pictures / "title-screen.png")
            print(f"   {pictures / 'title-screen.png'}")
        print(f"== running C:\\e2e\\pkg\\{name} /S")
        steps = [("answer", "License Agreement", "Accept"),
                 ("answer", "Missing support codecs", "Cancel")]
        results, seconds = wine_session.drive_installer(
            prefix, [wine_session.DriverRun("C:\\e2e\\pkg\\" + name, "/S", steps)], xvfb=xvfb)
        if pictures:
            scr = next(iter(sorted((prefix / "drive_c" / "windows").glob("*.scr"))), None)
            if scr is not None:
                photograph_screen_saver(prefix, "C:\\windows\\" + scr.name, xvfb,
                                        pictures / "screen-saver.png")
                print(f"== {scr.name} /s running: {pictures / 'screen-saver.png'}")
    finally:
        xvfb.stop()
    if not results:
        print("the installer did not run")
        return 1
    result = results[0]
    print(f"   exit code {result.log.exit_code()}, {seconds:.1f} s; windows seen:")
    for dialog in result.log.dialogs():
        shown = "shown" if dialog["visible"] else "never shown"
        print(f"   - \"{dialog['caption']}\" ({shown}), pressed: {dialog['pressed']}")

    drive_c = prefix / "drive_c"
    print("== files the installer wrote")
    written = sorted((drive_c / "windows").glob("*.scr")) + sorted(
        p for p in (drive_c / "ProgramData" / PUBLISHER_LEVEL).rglob("*") if p.is_file())
    for path in written:
        print(f"   C:\\{path.relative_to(drive_c)}  ({path.stat().st_size} bytes)".replace("/", "\\"))
    for log in (drive_c / "ProgramData" / PUBLISHER_LEVEL).rglob(INSTALL_LOG):
        print(f"== {log.relative_to(drive_c)}")
        print("   " + log.read_bytes().decode("latin-1").replace("\r\n", "\n   ").rstrip())
    print("== registry values under " + UNINSTALL)
    registry = wine_registry.read_registry(prefix / "system.reg")
    for key, entry in registry.items():
        if key.startswith(UNINSTALL_KEY.lower() + "\\") \
                and entry["values"]:
            print(f"   [{entry['name']}]")
            for value, (kind, data) in entry["values"].items():
                print(f"   {value} ({kind}) = {data!r}")
    ini = drive_c / "windows" / "system.ini"
    if ini.exists():
        lines = [l for l in ini.read_text(encoding="latin-1").splitlines() if "SCRNSAVE" in l.upper()]
        print("== system.ini: " + (", ".join(lines) or "no screen saver set"))
    return 0 if result.log.exit_code() == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
