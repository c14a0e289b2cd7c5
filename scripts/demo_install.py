#!/usr/bin/env python3
"""Installs an installer silently under Wine and shows what landed where.

  demo_install.py INSTALLER --helpers build/win32 --work out/demo

Uses the end-to-end harness: a fresh 32-bit prefix, a private X display, and our GUI driver,
which accepts the agreement (shown even in silent mode when the package has one) and closes
the media notice should a media file not play on this machine.
"""

import argparse
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
import harness  # noqa: E402

UNINSTALL = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("installer")
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = Path(args.work).resolve()
    prefix = work / "prefix"
    if work.exists():
        shutil.rmtree(work)
    print(f"== making a 32-bit Wine prefix in {prefix}")
    harness.make_template(prefix, Path(args.helpers))
    pkg = prefix / "drive_c" / "e2e" / "pkg"
    pkg.mkdir(parents=True, exist_ok=True)
    name = Path(args.installer).name
    shutil.copy2(args.installer, pkg / name)

    print(f"== running C:\\e2e\\pkg\\{name} /S")
    xvfb = harness.Xvfb()
    try:
        steps = [("answer", "License Agreement", "Accept"),
                 ("answer", "Missing support codecs", "Cancel")]
        results, seconds = harness.drive_installer(
            prefix, [harness.DriverRun("C:\\e2e\\pkg\\" + name, "/S", steps)], xvfb=xvfb)
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
        p for p in (drive_c / "ProgramData" / "Tarrowby").rglob("*") if p.is_file())
    for path in written:
        print(f"   C:\\{path.relative_to(drive_c)}  ({path.stat().st_size} bytes)".replace("/", "\\"))
    for log in (drive_c / "ProgramData" / "Tarrowby").rglob("INSTALL.LOG"):
        print(f"== {log.relative_to(drive_c)}")
        print("   " + log.read_bytes().decode("latin-1").replace("\r\n", "\n   ").rstrip())
    print("== registry values under " + UNINSTALL)
    registry = harness.read_registry(prefix / "system.reg")
    for key, entry in registry.items():
        if key.startswith("software\\microsoft\\windows\\currentversion\\uninstall\\") \
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
