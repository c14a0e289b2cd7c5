"""Plays a scenario in a prefix of its own: builds its installer, applies the package's
patches and each run's damage, mounts the small file systems, plays the runs through the GUI
driver, and applies the checks every scenario gets and its own."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path
from typing import Callable

from every_scenario_checks import EVERY_SCENARIO
from package_sources import (build_installer, end_member_table_at, header_offsets,
                             patch_terminator_unpacked_size, write_manifest)
from scenario_model import COMMON_APPDATA, PKG_DIR, Ctx, Helpers, Scenario
from wine_session import (WINVER_INSTALLER, DriverRun, HarnessError, Xvfb, copy_prefix,
                          drive_installer, stop_wineserver, win_to_unix)


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


def check_name(check: Callable) -> str:
    """expect_dialogs for the check that expect_dialogs(...) made, else the function's own."""
    parts = check.__qualname__.split(".")
    return parts[0] if parts[-1] == "check" else parts[-1]


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
