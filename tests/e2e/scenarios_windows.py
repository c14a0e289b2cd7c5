"""Scenarios of the installer on today's Windows: libraries, links and folders planted by
another user, the installer's own file replaced while it runs, the quoted uninstall command,
and a 64-bit Windows 10.

scenarios.py imports this module at its end and adds SCENARIOS to its own.
"""

from __future__ import annotations

import dataclasses
import os
import shutil
import subprocess
from pathlib import Path

import wine_session
import scenarios as base
from damage import set_name
from expectations import (CAPTION, NAME, REFUSED_STATUS, UNINSTALL_KEY, UNINSTALL_KEY_WOW64,
                          complete_dialog, confirm_dialog, dialog, expect_activated, expect_dialogs,
                          expect_exit_code_per_run, expect_exit_zero, expect_installed, expect_log,
                          expect_marker, expect_not_activated, expect_uninstall_values,
                          screen_saver_module)
from scenario_model import COMMON_APPDATA, WINDIR, Ctx, Run, Scenario
from scenarios import standard_package

# --- Libraries planted beside the installer -----------------------------------------------

# What the installer imports: KnownDLLs, which Windows always takes from the system directory.
# Wine has no KnownDLLs: with a native-first override it would load a planted KERNEL32.DLL
# for any program, so these are planted without one (the unit test of the import table is
# what proves the list).
KNOWN_DLLS = ["KERNEL32", "USER32", "GDI32", "ADVAPI32", "SHELL32", "MSVCRT"]
# Loaded at run time, by full path from the system directory.
LOADED = ["WINMM", "SHFOLDER", "DDRAW"]
# The names commonly planted: libraries that system code loads by bare name.
COMMONLY_PLANTED = ["UXTHEME", "DWMAPI", "CRYPTBASE", "PROPSYS", "USERENV", "COMCTL32", "MSIMG32"]
# Planted without an override, for what Wine's loader does that Windows' does not; an
# override would test Wine, not the installer:
# - VERSION: Wine's own built-in libraries import it, and Wine looks for it in the program's
#   folder, where Windows takes the dependencies of KnownDLLs from the system directory.
# - MSIMG32: Wine's UXTHEME.DLL (itself taken from the system directory) loads it on first
#   use through Wine's delay-load resolver, which searches the program's folder whatever
#   SetDefaultDllDirectories said (traced: "looking for msimg32.dll in (null)", found in
#   C:\e2e\pkg). On Windows, loads on a program's behalf follow its default directories.
NO_OVERRIDE = KNOWN_DLLS + ["VERSION", "MSIMG32"]
PLANTED = KNOWN_DLLS + LOADED + COMMONLY_PLANTED + ["VERSION"]
PLANTED_MARKER = r"C:\e2e\markers\planted_libraries.log"


def plant_libraries(ctx: Ctx) -> None:
    source = ctx.prefix / "drive_c" / "e2e" / "bin" / "PLANTED.DLL"
    for name in PLANTED:
        shutil.copy2(source, ctx.prefix / "drive_c" / "e2e" / "pkg" / f"{name}.DLL")


def expect_no_planted_library(ctx: Ctx) -> list:
    data = ctx.last.file(PLANTED_MARKER)
    return [f"planted libraries were loaded: {data.decode('latin-1')!r}"] if data else []


# --- Links in the data folder -------------------------------------------------------------

ELSEWHERE = r"C:\e2e\elsewhere"  # where a planted folder link leads
LINK_TEXT = ("{path} is a link to another place. This screen saver cannot be installed "
             "through it, and nothing has been changed.")
LUMENVAULT = COMMON_APPDATA + r"\Tarrowby\Lumenvault"
# The cases inside Lumenvault, one screen saver name each, so that one prefix holds them all:
# the screen saver's own folder a link; its INSTALL.LOG a symbolic link to win.ini; its
# INSTALL.LOG a second (hard) name of win.ini.
LINKED_FOLDER, SYMBOLIC_LOG, HARD_LOG = "Linked", "SymbolicLog", "HardLog"
REFUSED_INSIDE = {LINKED_FOLDER: LUMENVAULT + "\\" + LINKED_FOLDER,
                  SYMBOLIC_LOG: LUMENVAULT + "\\" + SYMBOLIC_LOG + r"\INSTALL.LOG",
                  HARD_LOG: LUMENVAULT + "\\" + HARD_LOG + r"\INSTALL.LOG"}


def unix(ctx: Ctx, path: str) -> Path:
    return wine_session.win_to_unix(ctx.prefix, path)


def plant_folder_link(level: str):
    """The levels above `level` made as real folders, `level` itself a link to ELSEWHERE (a
    Unix symbolic link, which Wine shows as a reparse point, as Windows shows a junction)."""

    def prepare(ctx: Ctx) -> None:
        target = unix(ctx, ELSEWHERE)
        target.mkdir(parents=True)
        link = unix(ctx, level)
        link.parent.mkdir(parents=True, exist_ok=True)
        link.symlink_to(target, target_is_directory=True)
    return prepare


def plant_links_inside(ctx: Ctx) -> None:
    lumenvault = unix(ctx, LUMENVAULT)
    plant_folder_link(LUMENVAULT + "\\" + LINKED_FOLDER)(ctx)
    win_ini = unix(ctx, WINDIR + r"\win.ini")
    ctx.work.joinpath("win.ini.before").write_bytes(win_ini.read_bytes())
    for name, link in ((SYMBOLIC_LOG, os.symlink), (HARD_LOG, os.link)):
        (lumenvault / name).mkdir()
        link(win_ini, lumenvault / name / "INSTALL.LOG")


def refusal(path: str, text: str = LINK_TEXT) -> list:
    return [dialog("Error!!!", text.format(path=path), ["OK"], owned=False, pressed="OK")]


def expect_nothing_written(names: list):
    """No file of the drive changed but our own under C:\\e2e; no Uninstall key for any of
    the names; system.ini as it was."""

    def check(ctx: Ctx) -> list:
        before = ctx.results[0].files_before
        if before is None:
            return ["the driver took no stock of the drive's files"]
        after = wine_session.snapshot_files(ctx.prefix / "drive_c")
        changed = sorted(p for p, v in after.items()
                         if before.get(p) != v and not p.startswith("e2e/"))
        out = [f"written: {changed}"] if changed else []
        registry = ctx.last.registry()
        out += [f"an Uninstall key for {name}" for name in names
                if (UNINSTALL_KEY + "\\" + name).lower() in registry]
        return out + expect_not_activated(ctx)
    return check


def expect_elsewhere_empty(ctx: Ctx) -> list:
    found = sorted(str(p.relative_to(unix(ctx, ELSEWHERE))) for p in unix(ctx, ELSEWHERE).rglob("*"))
    return [f"written through the link: {found}"] if found else []


def expect_win_ini_unchanged(ctx: Ctx) -> list:
    before = ctx.work.joinpath("win.ini.before").read_bytes()
    return [] if ctx.last.file(WINDIR + r"\win.ini") == before else ["win.ini was written"]


def link_scenario(description: str, names: list, refused: list, prepare, extra: list,
                  text: str = LINK_TEXT) -> Scenario:
    """Silent runs of the package under each name (a copy with that name written in): each
    shows the refusal (`text`) naming its path and writes nothing."""
    return Scenario(
        description, lambda h: standard_package(h),
        [Run(args="/S", answers=[("Error!!!", "OK")], damage=set_name(name.encode()))
         for name in names],
        [expect_exit_code_per_run(*[REFUSED_STATUS] * len(names)),
         expect_dialogs(*[refusal(path, text) for path in refused]),
         expect_nothing_written(names), expect_marker("uninstaller", []),
         expect_marker("screensaver", [])] + extra,
        prepare=prepare, gives_away_files=text != LINK_TEXT)


# --- Folders of ours that belong to someone else -------------------------------------------

FOREIGN_TEXT = ("{path} belongs to another user, not to the administrators of this computer. "
                "This screen saver cannot be installed there, and nothing has been changed. An "
                "administrator can remove it and run this installation again.")
# Wine keeps no owners or rules of files. It reports every file as its one user's (so the
# installer trusts that user, the owner of the system directory, as it trusts TrustedInstaller
# on Windows), a file of another Unix user as ANONYMOUS LOGON's, and reads the rules from the
# mode bits, "others" being Everyone; it writes rules given to a file as mode bits.
OTHER_USER = 65534  # nobody
# The cases inside Lumenvault, one screen saver name each: its own folder another user's; its
# INSTALL.LOG another user's, in a folder of ours; another user's file in a folder of ours that
# everyone may add files to.
THEIR_FOLDER, THEIR_LOG, THEIR_FILE_INSIDE = "TheirFolder", "TheirLog", "TheirFileInside"
REFUSED_FOREIGN = {THEIR_FOLDER: LUMENVAULT + "\\" + THEIR_FOLDER,
                   THEIR_LOG: LUMENVAULT + "\\" + THEIR_LOG + r"\INSTALL.LOG",
                   THEIR_FILE_INSIDE: LUMENVAULT + "\\" + THEIR_FILE_INSIDE + r"\notes.txt"}


def give_away(path: Path) -> None:
    os.chown(path, OTHER_USER, OTHER_USER)


def plant_foreign_tarrowby(ctx: Ctx) -> None:
    tarrowby = unix(ctx, COMMON_APPDATA + r"\Tarrowby")
    tarrowby.mkdir()
    give_away(tarrowby)


def plant_foreign_inside(ctx: Ctx) -> None:
    lumenvault = unix(ctx, LUMENVAULT)
    for name in REFUSED_FOREIGN:
        (lumenvault / name).mkdir(parents=True)
    give_away(lumenvault / THEIR_FOLDER)
    log = lumenvault / THEIR_LOG / "INSTALL.LOG"
    log.write_bytes(b"C:\\windows\\win.ini\r\n")
    give_away(log)
    inside = lumenvault / THEIR_FILE_INSIDE
    inside.chmod(0o777)
    (inside / "notes.txt").write_bytes(b"planted while anyone could add files here")
    give_away(inside / "notes.txt")


# Tarrowby and Lumenvault as an installation made before the installer gave them its rules
# leaves them: the administrators' (here: Wine's user's), but others may add files. One file
# of the administrators' is in Lumenvault already.
LOOSE_LEVELS = [COMMON_APPDATA + r"\Tarrowby", LUMENVAULT]
OURS_INSIDE = LUMENVAULT + r"\readme.txt"


def plant_loose_levels(ctx: Ctx) -> None:
    for level in LOOSE_LEVELS:
        unix(ctx, level).mkdir()
        unix(ctx, level).chmod(0o777)
    unix(ctx, OURS_INSIDE).write_bytes(b"an administrator's note")


def expect_levels_ours_alone(ctx: Ctx) -> list:
    """Our rules were written to the levels others could write to: read back as mode bits,
    no one but the owner may write there any longer."""
    return [f"{level} may still be written by others ({unix(ctx, level).stat().st_mode:o})"
            for level in LOOSE_LEVELS if unix(ctx, level).stat().st_mode & 0o002]


# --- The installer's own file, replaced while it runs ---------------------------------------

def try_changing_installer(ctx: Ctx, xvfb) -> None:
    """While the confirmation is shown: a program of the same user tries to write, rename and
    delete the running installer's file, from inside Wine, whose sharing rules are Windows'."""
    subprocess.run(["wine", r"C:\e2e\bin\try_replace.exe", ctx.package.installer],
                   env=wine_session.wine_env(ctx.prefix, xvfb.display), timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def replace_installer(ctx: Ctx, xvfb) -> None:
    """While the licence is shown: the installer's file is renamed away (as Windows lets one do
    with a running program before anything holds it) and another installer put at its name:
    this package with the planted recorder as its screen saver. From outside Wine, which does
    not ask the installer's handle."""
    installer = unix(ctx, ctx.package.installer)
    data = bytearray(installer.read_bytes())
    screen_saver = ctx.listing["members"][0]
    planted = (ctx.prefix / "drive_c" / "e2e" / "bin" / "recorder_planted.exe").read_bytes()
    if len(planted) != screen_saver["stored_size"]:
        raise wine_session.HarnessError("the planted recorder must be the screen saver's size")
    data[screen_saver["data_offset"]:screen_saver["data_offset"] + len(planted)] = planted
    installer.rename(installer.with_name("moved.exe"))
    installer.write_bytes(bytes(data))


def expect_installer_kept_from_others(ctx: Ctx) -> list:
    seen = ctx.last.marker("try_replace")
    want = (ctx.package.installer,)
    if len(seen) != 1 or seen[0][:1] != want:
        return [f"try_replace.exe saw {seen}"]
    done = [field for field in seen[0][1].split("\t") if field.endswith(":0")]
    return [f"another program could change the running installer's file: {done}"] if done else []


# --- The data folder's rules ---------------------------------------------------------------

# The system and administrators full control, users read and run, nothing inherited from the
# folder above, all handed down to what is made inside; no owner or group of its own.
FOLDER_RULES = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"


def expect_folder_rules(ctx: Ctx) -> list:
    seen = ctx.last.file(r"C:\e2e\markers\folder_security.log")
    if seen != FOLDER_RULES.encode():
        return [f"the data folder's rules read {seen!r}, expected {FOLDER_RULES!r}"]
    return []


# --- The quoted uninstall command ---------------------------------------------------------

MY_SAVER = "My Saver"
# Unquoted, C:\ProgramData\Tarrowby\Lumenvault\My Saver\UNINSTAL.EXE is tried as
# "C:\ProgramData\Tarrowby\Lumenvault\My.exe" with the rest as its arguments.
PLANTED_PROGRAM = COMMON_APPDATA + r"\Tarrowby\Lumenvault\My.exe"


def plant_program(ctx: Ctx) -> None:
    target = unix(ctx, PLANTED_PROGRAM)
    target.parent.mkdir(parents=True)
    shutil.copy2(ctx.prefix / "drive_c" / "e2e" / "bin" / "recorder_planted.exe", target)


def my_saver_uninstaller(ctx: Ctx) -> str:
    return ctx.package.shared_folder() + "UNINSTAL.EXE"


# --- A 64-bit Windows 10 ------------------------------------------------------------------

def expect_wow64_placement(ctx: Ctx) -> list:
    """Exactly where a 32-bit installer's writes land in a 64-bit Windows: its key under
    Wow6432Node and none in the 64-bit view; the screen saver in C:\\windows, not in the
    folder of either view's system libraries."""
    out = []
    registry = ctx.last.registry()
    key = "\\" + ctx.package.base
    if (UNINSTALL_KEY_WOW64 + key).lower() not in registry:
        out.append(f"no key HKLM\\{UNINSTALL_KEY_WOW64}{key}")
    if (UNINSTALL_KEY + key).lower() in registry:
        out.append(f"a key in the 64-bit view: HKLM\\{UNINSTALL_KEY}{key}")
    name = ctx.package.base + ".scr"
    if not ctx.last.exists(WINDIR + "\\" + name):
        out.append(f"no {WINDIR}\\{name}")
    for folder in ("system32", "syswow64"):
        if ctx.last.exists(WINDIR + "\\" + folder + "\\" + name):
            out.append(f"{name} in {WINDIR}\\{folder}")
    return out


def on_win64(name: str) -> Scenario:
    scenario = base.SCENARIOS[name]
    return dataclasses.replace(scenario, description=scenario.description + " (64-bit Windows 10)",
                               checks=scenario.checks + [expect_wow64_placement], arch="win64")


SCENARIOS: dict = {
    "planted_libraries": Scenario(
        "a library of every name the installer loads, and of the names commonly planted, beside "
        "it and preferred to the system's: none is loaded, the installation (media probe and "
        "DirectX test included) completes",
        lambda h: standard_package(h, needs_directx=True),
        [Run(answers=[(CAPTION, "OK"), (CAPTION, "OK")])],
        [expect_exit_zero, expect_no_planted_library,
         expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)]),
         expect_installed(), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("screensaver", [""], screen_saver_module)],
        prepare=plant_libraries,
        overrides=",".join(n.lower() for n in PLANTED if n not in NO_OVERRIDE) + "=n,b"),
    "link_tarrowby": link_scenario(
        "the data folder's Tarrowby level is a link: refused, nothing written",
        [NAME], [COMMON_APPDATA + r"\Tarrowby"], plant_folder_link(COMMON_APPDATA + r"\Tarrowby"),
        [expect_elsewhere_empty]),
    "link_lumenvault": link_scenario(
        "the data folder's Lumenvault level is a link: refused, nothing written",
        [NAME], [LUMENVAULT], plant_folder_link(LUMENVAULT), [expect_elsewhere_empty]),
    "links_inside_lumenvault": link_scenario(
        "a screen saver's own data folder a link, its INSTALL.LOG a symbolic link to win.ini, "
        "its INSTALL.LOG a second name of win.ini: each refused by name, nothing written",
        list(REFUSED_INSIDE), list(REFUSED_INSIDE.values()), plant_links_inside,
        [expect_elsewhere_empty, expect_win_ini_unchanged]),
    "foreign_tarrowby": link_scenario(
        "the data folder's Tarrowby level belongs to another user: refused, nothing written",
        [NAME], [COMMON_APPDATA + r"\Tarrowby"], plant_foreign_tarrowby, [], FOREIGN_TEXT),
    "foreign_inside_lumenvault": link_scenario(
        "a screen saver's own folder another user's, its INSTALL.LOG another user's, another "
        "user's file in its folder that everyone may add to: each refused by name, nothing "
        "written",
        list(REFUSED_FOREIGN), list(REFUSED_FOREIGN.values()), plant_foreign_inside,
        [], FOREIGN_TEXT),
    "loose_levels_secured": Scenario(
        "Tarrowby and Lumenvault the administrators' but writable by everyone, a file of the "
        "administrators' inside: the installation gets on, and nobody else may write there after",
        lambda h: standard_package(h, media=[]),
        [Run(args="/S")],
        [expect_exit_zero, expect_installed(), expect_log(), expect_activated(),
         expect_levels_ours_alone],
        prepare=plant_loose_levels),
    "installer_replaced_while_running": Scenario(
        "the running installer's file cannot be written, renamed or deleted by another program; "
        "renamed away from outside Wine while the licence is shown and another installer put at "
        "its name, it still installs its own files",
        lambda h: standard_package(h, agreement=base.AGREEMENT),
        [dataclasses.replace(base.typical_runs()[0],
                             during=[(CAPTION, try_changing_installer),
                                     ("License Agreement", replace_installer)])],
        base.typical_checks() + [expect_installer_kept_from_others, expect_marker("planted", [])]),
    "data_folder_rules": Scenario(
        "the rules the installer gives the data folder's levels, as the system reads them",
        lambda h: standard_package(h, media=[]),
        [Run(program=r"C:\e2e\bin\describe_folder_security.exe")],
        [expect_exit_zero, expect_folder_rules]),
    "planted_program_my_exe": Scenario(
        "'My Saver' removed from the list of programs, with a My.exe planted where an "
        "unquoted uninstall command would find it first: the uninstaller runs, the plant not",
        lambda h: standard_package(h, name=MY_SAVER, media=[]),
        [Run(args="/S"),
         Run(program=r"C:\windows\system32\uninstaller.exe", args=f'--remove "{MY_SAVER}"')],
        [expect_exit_zero, expect_installed(), expect_uninstall_values(),
         expect_marker("planted", []),
         expect_marker("uninstaller", [""], my_saver_uninstaller)],
        prepare=plant_program),
    "win64_typical": on_win64("typical"),
    "win64_silent": on_win64("silent"),
    "win64_abort": on_win64("cancel_yes_member2"),
}
