"""Install-uninstall round trips: packages carry our own uninstaller (lmvuninst.exe, installed
as UNINSTAL.EXE), and after its removal the prefix is as it was before the installation.

Each scenario takes the prefix's state after its preparation (every file and folder under
drive_c, the registry files, system.ini among the files), installs, removes, and then compares:
- right after the removal, what may remain is only what the uninstaller documents until the
  next restart: its copy in the temporary folder, files that were in use, and the system's
  list of files to remove at restart naming exactly those (and folders that held them);
- after a restart of the prefix (a new Wine session, which carries out that list), nothing
  differs from before but what Wine itself changes in every session (WINE_OWN_CHANGES).
"""

from __future__ import annotations

import hashlib
import os
import re
import subprocess
from pathlib import Path
from typing import Callable

import wine_registry
import wine_session
from expectations import (CAPTION, NAME, Package, abort_dialog, agreement_dialog, complete_dialog,
                          confirm_dialog, dialog, expect_dialogs, expect_installed, expect_log,
                          expect_uninstall_values, replace_dialog)
from package_sources import Member
from scenario_model import COMMON_APPDATA, WINDIR, Ctx, Helpers, Run, Scenario
from scenarios import AGREEMENT, standard_package

DATA_FOLDER = COMMON_APPDATA + r"\Tarrowby\Lumenvault" + "\\" + NAME + "\\"
UNINSTALLER = DATA_FOLDER + "UNINSTAL.EXE"
SCREEN_SAVER = WINDIR + "\\" + NAME + ".scr"
WINE_UNINSTALLER = r"C:\windows\system32\uninstaller.exe"  # Wine's Add/Remove Programs
# Runs the command line that a value of the Uninstall entry names, as deployment tools do.
UNINSTALL_COMMAND = r"C:\e2e\bin\run_uninstall_command.exe"
HOLD_OPEN = r"C:\e2e\bin\hold_open.exe"
REMOVAL_CAPTION = NAME + " Screen Saver"
QUESTION = "Remove {} Screen Saver and all of its files?"
LEFTOVERS_HEAD = "{} Screen Saver could not be removed completely:"
PENDING_KEY = r"system\currentcontrolset\control\session manager"
PENDING_VALUE = "PendingFileRenameOperations"
# Where the uninstaller puts the copy of itself that removes its file and folders: a folder made
# for it, with the administrators' rules, in the Windows directory's Temp (as prefix_state
# names it).
COPY_FOLDER = r"windows/temp/lmv[0-9a-f]{8}\.tmp"

# What Wine itself changes in a prefix, whatever programs run in it. Registry keys (and their
# subkeys), lower case:
WINE_OWN_CHANGES = [
    # Wine's display driver registers the display adapter and the monitor afresh in every
    # session on a display: their driver date is the time of that registration, and the class
    # names are written again with it, or not.
    r"system\currentcontrolset\control\class\{4d36e968-e325-11ce-bfc1-08002be10318}",
    r"system\currentcontrolset\control\class\{4d36e96e-e325-11ce-bfc1-08002be10318}",
    # Wine's console host writes its window settings under HKCU\Console the first time a console
    # program of the prefix starts (the registry tool of a step, or one of Wine's own helpers);
    # whether that falls before or after the snapshot depends on when wineserver saves user.reg.
    r"console",
]
# Files up to this size are compared by content, larger ones (Wine's own libraries) by size and
# time.
HASHED_SIZE = 4 << 20
# Files and folders that are the tests' own: the helpers, the installers, the driver's script
# and log, the markers of started programs.
TEST_OWN_FILES = re.compile(r"e2e(/|$)")


# --- The prefix's state -------------------------------------------------------------------

def prefix_state(prefix: Path) -> dict:
    """Every folder, file and link under drive_c (lower-case relative path -> what it is) and
    every registry key of system.reg and user.reg (-> its values)."""
    drive = prefix / "drive_c"
    state: dict = {}
    for folder, dirs, files in os.walk(drive):
        for name in dirs + files:
            path = Path(folder) / name
            rel = str(path.relative_to(drive)).lower()
            if TEST_OWN_FILES.match(rel):
                continue
            st = path.lstat()
            if path.is_symlink():
                state[rel] = ("link", os.readlink(path))
            elif path.is_dir():
                state[rel] = ("folder",)
            elif st.st_size <= HASHED_SIZE:
                # By content: Wine writes system.ini anew, unchanged, when a program writes a
                # value that is already there. (Not the link count: other scenarios' prefixes
                # share the system folders' files by hard links, and come and go meanwhile.)
                state[rel] = ("file", hashlib.sha1(path.read_bytes()).hexdigest())
            else:
                state[rel] = ("file", st.st_size, st.st_mtime_ns)
    for reg in ("system.reg", "user.reg"):
        for key, entry in wine_registry.read_registry(prefix / reg).items():
            if not any(key == k or key.startswith(k + "\\") for k in WINE_OWN_CHANGES):
                state[f"[{reg}] {key}"] = ("key", entry["values"])
    return state


def differences(before: dict, after: dict) -> dict:
    """name -> (before, after) for everything that is not the same."""
    return {k: (before.get(k), after.get(k)) for k in sorted(set(before) | set(after))
            if before.get(k) != after.get(k)}


def describe(diff: dict, limit: int = 40) -> str:
    lines = [f"    {k}: {b!r} -> {a!r}" for k, (b, a) in list(diff.items())[:limit]]
    if len(diff) > limit:
        lines.append(f"    ... and {len(diff) - limit} more")
    return "\n".join(lines)


def unix_rel(win_path: str) -> str:
    """C:\\a\\B -> a/b, as prefix_state names it."""
    return win_path[3:].replace("\\", "/").lower()


def pending_operations(prefix: Path) -> list:
    """The system's list of files to remove at restart, as Windows paths."""
    key = wine_registry.read_registry(prefix / "system.reg").get(PENDING_KEY, {})
    kind_data = key.get("values", {}).get(PENDING_VALUE)
    if not kind_data:
        return []
    parts = kind_data[1].split("\0")
    # Pairs of (file, new name); an empty new name removes the file.
    return [p.removeprefix("\\??\\") for p, q in zip(parts[::2], parts[1::2]) if p and not q]


# --- Preparing and changing the prefix ------------------------------------------------------

def set_screen_saving_on(prefix: Path) -> None:
    """ScreenSaveActive=1, as every Windows user profile has it: the installer writes that
    value when it activates the screen saver, and a profile without it would show the write
    as a change that no uninstaller may undo (the earlier value is not known to it)."""
    reg = prefix / "user.reg"
    text = reg.read_text(encoding="utf-8")
    header = re.search(r"^\[Control Panel\\\\Desktop\][^\n]*\n(#time=[^\n]*\n)?", text, re.M)
    if header is None:
        raise wine_session.HarnessError("user.reg has no [Control Panel\\Desktop] key")
    if '"ScreenSaveActive"=' not in text[header.end():text.find("\n[", header.end())]:
        text = text[:header.end()] + '"ScreenSaveActive"="1"\n' + text[header.end():]
    reg.write_text(text, encoding="utf-8")


def take_before(ctx: Ctx) -> None:
    ctx.before = prefix_state(ctx.prefix)
    ctx.snapshots = {}


def prepare(*steps: Callable) -> Callable:
    def run(ctx: Ctx) -> None:
        set_screen_saving_on(ctx.prefix)
        for step in steps:
            step(ctx)
        take_before(ctx)
    return run


def snapshot(name: str) -> Callable:
    def run(ctx: Ctx) -> None:
        ctx.snapshots[name] = prefix_state(ctx.prefix)
    return run


# Files of other owners that a tampered log names, planted before the installation.
VICTIMS = {
    r"C:\windows\system32\kernel32.dll": None,  # the system's own, left as it is
    r"C:\ProgramData\Tarrowby\Lumenvault\Other\Other.dat": b"another screen saver's data",
    r"C:\victims\climbed.txt": b"reached only by climbing out with ..",
    r"C:\victims\shared.dat": b"a file that the data file's other name points at",
}
TAMPERED_LINES = [r"C:\windows\system32\kernel32.dll",
                  r"C:\ProgramData\Tarrowby\Lumenvault\Other\Other.dat",
                  DATA_FOLDER + r"..\..\..\..\victims\climbed.txt"]


def plant_victims(ctx: Ctx) -> None:
    for path, content in VICTIMS.items():
        if content is not None:
            target = wine_session.win_to_unix(ctx.prefix, path)
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)


def tamper_with_installation(ctx: Ctx) -> None:
    """After the installation: the log names files that are not the screen saver's, and the
    data file is replaced by a second name of someone else's file (a hard link)."""
    log = wine_session.win_to_unix(ctx.prefix, DATA_FOLDER + "INSTALL.LOG")
    with open(log, "ab") as f:
        f.write(b"".join(line.encode("cp1252") + b"\r\n" for line in TAMPERED_LINES))
    data = wine_session.win_to_unix(ctx.prefix, DATA_FOLDER + NAME + ".dat")
    data.unlink()
    os.link(wine_session.win_to_unix(ctx.prefix, r"C:\victims\shared.dat"), data)
    snapshot("tampered")(ctx)


MOVED_FOLDER = r"C:\victims\moved"


def replace_folder_by_link(ctx: Ctx) -> None:
    """After the installation the screen saver's folder becomes a link to another folder that
    holds files of the same names (here: the installed ones, moved there)."""
    folder = wine_session.win_to_unix(ctx.prefix, DATA_FOLDER.rstrip("\\"))
    moved = wine_session.win_to_unix(ctx.prefix, MOVED_FOLDER)
    moved.parent.mkdir(parents=True, exist_ok=True)
    folder.rename(moved)
    folder.symlink_to(moved)
    snapshot("linked")(ctx)


OTHER_USER = 65534  # nobody: Wine reports the files of another Unix user as ANONYMOUS LOGON's


def give_folder_away(ctx: Ctx) -> None:
    """After the installation the screen saver's folder is given to another user, who could
    have rewritten INSTALL.LOG or put a program of theirs where UninstallString points."""
    os.chown(wine_session.win_to_unix(ctx.prefix, DATA_FOLDER.rstrip("\\")), OTHER_USER, OTHER_USER)
    snapshot("given away")(ctx)


# A temporary folder the user's own environment names: the elevated uninstaller must not put
# the copy of itself that it runs there, where that user could swap it.
USERS_TEMP = r"C:\users\Public\their temp"


def redirect_users_temp(ctx: Ctx) -> None:
    wine_session.win_to_unix(ctx.prefix, USERS_TEMP).mkdir(parents=True)
    reg = ctx.prefix / "user.reg"
    text = reg.read_text(encoding="utf-8")
    value = USERS_TEMP.replace("\\", "\\\\")
    text, count = re.subn(r'^"(TEMP|TMP)"="[^"\n]*"$', lambda m: f'"{m[1]}"="{value}"', text,
                          flags=re.MULTILINE)
    if count != 2:
        raise wine_session.HarnessError("user.reg has no TEMP and TMP values to change")
    reg.write_text(text, encoding="utf-8")


def expect_users_temp_unused(ctx: Ctx) -> list:
    found = sorted(p.name for p in wine_session.win_to_unix(ctx.prefix, USERS_TEMP).iterdir())
    return [f"written into the user's temporary folder: {found}"] if found else []


def note_held_copy(ctx: Ctx, xvfb) -> None:
    """While the uninstaller's last message waits for the user: its copy is already made, in a
    folder of its own in the Windows directory's Temp, and held there: another program of the
    user's tries to write, rename and delete it, from inside Wine, whose sharing rules are
    Windows'."""
    temp = wine_session.win_to_unix(ctx.prefix, WINDIR + r"\temp")
    ctx.copies_at_message = sorted(str(p.relative_to(temp)).lower()
                                   for p in temp.glob("lmv*.tmp/*"))
    for copy in ctx.copies_at_message:
        subprocess.run(["wine", r"C:\e2e\bin\try_replace.exe",
                        WINDIR + "\\temp\\" + copy.replace("/", "\\")],
                       env=wine_session.wine_env(ctx.prefix, xvfb.display), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def expect_copy_held_at_message(ctx: Ctx) -> list:
    copies = getattr(ctx, "copies_at_message", None)
    if copies is None:
        return ["the uninstaller's last message was not seen"]
    if len(copies) != 1 or not re.fullmatch(r"lmv[0-9a-f]{8}\.tmp/uninstal\.exe", copies[0]):
        return [f"copies in the Windows directory's Temp at the last message: {copies}"]
    seen = ctx.last.marker("try_replace")
    done = [field for line in seen for field in line[1].split("\t") if field.endswith(":0")]
    if len(seen) != 1:
        return [f"try_replace.exe saw {seen}"]
    return [f"another program could change the uninstaller's copy: {done}"] if done else []


def start_others(ctx: Ctx, xvfb) -> None:
    """While the second installation waits for its licence to be accepted: another installer
    of the same screen saver (silent) is started and must say that one is running; then the
    installed uninstaller, silent, which must refuse."""
    ctx.second_installer = wine_session.start_program(ctx.prefix, xvfb, ctx.package.installer, "/S")
    wine_session.wait_for(lambda: ctx.second_installer.poll() is not None or
                     xvfb.shows_window("Error!!!"), "the second installer's message or end", 30)
    ctx.uninstaller_status = wine_session.start_program(ctx.prefix, xvfb, UNINSTALLER,
                                                        "/s").wait(60)


def expect_others_refused(ctx: Ctx) -> list:
    out = []
    second = ctx.second_installer.wait(60)
    if second != 5:
        out.append(f"the second installer ended with {second}, expected 5")
    if ctx.uninstaller_status != 2:
        out.append(f"the uninstaller ended with {ctx.uninstaller_status} during the installation, "
                   f"expected 2")
    return out


ALREADY_RUNNING = ("Another installation or removal of {} Screen Saver is running.  Wait until "
                   "it has finished, and then run this installation again.")


# --- Packages -------------------------------------------------------------------------------

def our_uninstaller(h: Helpers) -> bytes:
    return (h.bin / "lmvuninst.exe").read_bytes()


def package_with_our_uninstaller(h: Helpers, **kwargs) -> Package:
    """The standard package (recorder screen saver, data file, three media files), with our
    uninstaller in place of the recorder."""
    p = standard_package(h, **kwargs)
    p.members[2] = Member(our_uninstaller(h), compress=True)
    return p


AUTHOR_NAME = "Polar Night"
NODATA = b"This screen saver keeps no data of its own.\r\n"


def author_package(h: Helpers) -> Package:
    """What an author with nothing but a .scr builds: lmvpack init, the name and the screen
    saver set in the manifest, everything else lmvpack's own. The name has a blank, so the
    list of programs starts the uninstaller by a bare path with a blank in it."""
    scr = (h.bin / "aurora.scr").read_bytes()

    def write_source(folder: Path, lmvpack: Path) -> Path:
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "aurora.scr").write_bytes(scr)
        return init_author_manifest(lmvpack, folder)

    return Package(name=AUTHOR_NAME, write_source=write_source,
                   members=[Member(scr), Member(NODATA), Member(our_uninstaller(h))])


def init_author_manifest(lmvpack: Path, folder: Path) -> Path:
    """lmvpack init, then the two edits the author makes."""
    result = subprocess.run([str(lmvpack), "init", str(folder)], capture_output=True, timeout=60)
    if result.returncode != 0:
        raise wine_session.HarnessError(f"lmvpack init failed: {result.stderr!r}")
    manifest = folder / "screensaver.toml"
    text = manifest.read_text(encoding="utf-8")
    edited, named = re.subn(r'^name = "[^"\n]*"$', f'name = "{AUTHOR_NAME}"', text,
                            flags=re.MULTILINE)
    edited = edited.replace('screensaver = "my.scr"', 'screensaver = "aurora.scr"')
    if named != 1 or "aurora.scr" not in edited:
        raise wine_session.HarnessError("lmvpack init's manifest no longer has the lines to edit")
    manifest.write_text(edited, encoding="utf-8")
    return manifest


# --- Expectations -----------------------------------------------------------------------------

def expect_exit_codes(*codes) -> Callable:
    """Per run: the exit status of the program the run started (None: not looked at)."""

    def check(ctx: Ctx) -> list:
        out = []
        for i, (want, result) in enumerate(zip(codes, ctx.results)):
            code = result.log.exit_code()
            if want is not None and code != want:
                out.append(f"run {i + 1}: exit status {code}, expected {want}")
        return out
    return check


def removal_question(name: str, pressed: str) -> dict:
    return dialog(name + " Screen Saver", QUESTION.format(name), ["Yes", "No"], owned=False,
                  pressed=pressed)


def leftovers_message(name: str, lines: list) -> dict:
    text = LEFTOVERS_HEAD.format(name) + "\r\n" + "".join("\r\n" + line for line in lines)
    return dialog(name + " Screen Saver", text, ["OK"], owned=False, pressed="OK")


def check_installation(ctx: Ctx) -> None:
    """Before the removal: the installation is complete (checked now, reported with the
    expectations)."""
    ctx.installation_problems = expect_installed()(ctx) + expect_log()(ctx)
    snapshot("installed")(ctx)


def check_installation_and_values(ctx: Ctx) -> None:
    """check_installation, and the Uninstall entry holds every value it should, the removal
    command that deployment tools use among them."""
    check_installation(ctx)
    ctx.installation_problems += expect_uninstall_values()(ctx)


def expect_quiet_command_run(ctx: Ctx) -> list:
    seen = ctx.last.marker("uninstall_command")
    want = [(NAME, "QuietUninstallString\t\"" + UNINSTALLER + "\" /s")]
    return [] if seen == want else [f"removal commands run {seen}, expected {want}"]


def expect_installation_was_complete(ctx: Ctx) -> list:
    return getattr(ctx, "installation_problems", ["the installation was not checked"])


def expect_unchanged_between(first: str, second: str) -> Callable:
    def check(ctx: Ctx) -> list:
        diff = differences(ctx.snapshots[first], ctx.snapshots[second])
        return [f"changed between '{first}' and '{second}':\n{describe(diff)}"] if diff else []
    return check


def expect_only_restart_leftovers(in_use: list = (), folders_wait: bool = False,
                                  copies: int = 1) -> Callable:
    """Right after the removal: the differences from before are the uninstaller's copies, each
    in a folder of its own in the Windows directory's Temp, the files still in use, and the
    list of removals at restart naming exactly those (then, when `folders_wait`, the folders
    that hold them)."""

    def check(ctx: Ctx) -> list:
        out = []
        after = prefix_state(ctx.prefix)
        diff = differences(ctx.before, after)
        copy = re.compile(COPY_FOLDER + r"/uninstal\.exe$")
        pending_key = f"[system.reg] {PENDING_KEY}"
        found_copies = [k for k in diff if copy.match(k) and diff[k][0] is None]
        copy_folders = [k.rsplit("/", 1)[0] for k in found_copies]
        kept = [unix_rel(p) for p in in_use]
        folders = [unix_rel(DATA_FOLDER.rstrip("\\")), unix_rel(COMMON_APPDATA + r"\Tarrowby"),
                   unix_rel(COMMON_APPDATA + r"\Tarrowby\Lumenvault")] if folders_wait else []
        unexpected = {k: v for k, v in diff.items()
                      if k not in found_copies + copy_folders and k != pending_key and
                      k not in folders and not any(k == p for p in kept)}
        if unexpected:
            out.append(f"left behind besides what waits for a restart:\n{describe(unexpected)}")
        if len(found_copies) != copies:
            out.append(f"{len(found_copies)} copies of the uninstaller in folders of their own "
                       f"in the Windows directory's Temp, expected {copies}: {found_copies}")
        for path in kept:
            if path not in after:
                out.append(f"{path} is gone, but it was in use")
        pending = [p.lower() for p in pending_operations(ctx.prefix)]
        want = sorted([p.lower() for p in in_use] +
                      [WINDIR[:3].lower() + k.replace("/", "\\")
                       for k in found_copies + copy_folders] +
                      ([(COMMON_APPDATA + r"\Tarrowby\Lumenvault" + "\\" + NAME).lower(),
                        (COMMON_APPDATA + r"\Tarrowby\Lumenvault").lower(),
                        (COMMON_APPDATA + r"\Tarrowby").lower()] if folders_wait else []))
        if sorted(pending) != want:
            out.append(f"removals at restart {pending}, expected {want}")
        return out
    return check


def restart_prefix(prefix: Path) -> None:
    """A new session of the prefix: Wine carries out the removals listed for the restart when
    a session starts, as Windows does when it starts."""
    wine_session.run_checked(["wineboot", "-r"], wine_session.wine_env(prefix), 120, "wineboot -r")
    wine_session.stop_wineserver(prefix, wait=True)


def expect_as_before_after_restart(kept: Callable | None = None) -> Callable:
    """After a restart nothing differs from the state before the installation but what
    `kept(ctx, diff)` accepts (and returns the problems of)."""

    def check(ctx: Ctx) -> list:
        restart_prefix(ctx.prefix)
        diff = differences(ctx.before, prefix_state(ctx.prefix))
        out = kept(ctx, diff) if kept else []
        if kept is None and diff:
            out.append(f"after a restart the prefix differs from before the installation:\n"
                       f"{describe(diff)}")
        return out
    return check


def tampered_leftovers(ctx: Ctx, diff: dict) -> list:
    """Every victim is as it was; of the installation only the data file's second name (and
    its folder, which therefore stays) remains."""
    out = []
    for path, content in VICTIMS.items():
        if content is not None and ctx.last.file(path) != content:
            out.append(f"{path} was changed or removed")
    if not ctx.last.exists(r"C:\windows\system32\kernel32.dll"):
        out.append("kernel32.dll was removed")
    shared = unix_rel(r"C:\victims\shared.dat")
    data = unix_rel(DATA_FOLDER + NAME + ".dat")
    allowed = {unix_rel(COMMON_APPDATA + r"\Tarrowby\Lumenvault" + "\\" + NAME), data, shared}
    rest = {k: v for k, v in diff.items() if k not in allowed}
    if rest:
        out.append(f"after a restart, besides the hard-linked data file:\n{describe(rest)}")
    if ctx.last.file(DATA_FOLDER + NAME + ".dat") != VICTIMS[r"C:\victims\shared.dat"]:
        out.append("the hard-linked data file lost its content or its name")
    return out


def expect_untouched_since(name: str) -> Callable:
    """Nothing at all changed since the snapshot: the uninstaller refused everything."""

    def check(ctx: Ctx) -> list:
        diff = differences(ctx.snapshots[name], prefix_state(ctx.prefix))
        return [f"changed since '{name}':\n{describe(diff)}"] if diff else []
    return check


def expect_moved_folder_whole(ctx: Ctx) -> list:
    out = []
    for path, member in zip(ctx.package.destinations(), ctx.package.table()):
        if path.startswith(DATA_FOLDER):
            moved = MOVED_FOLDER + "\\" + path[len(DATA_FOLDER):]
            if ctx.last.file(moved) != member.content:
                out.append(f"{moved} was changed or removed")
    if ctx.last.file(MOVED_FOLDER + r"\INSTALL.LOG") != ctx.package.log_bytes():
        out.append(f"{MOVED_FOLDER}\\INSTALL.LOG was changed or removed")
    return out


def expect_screen_saver_kept(ctx: Ctx) -> list:
    return [] if ctx.last.file(SCREEN_SAVER) == ctx.package.members[0].content else [
        f"{SCREEN_SAVER} was removed"]


PLANT_MARKER = r"C:\e2e\markers\planted_shfolder.log"


def plant_library(ctx: Ctx) -> None:
    """A UXTHEME.DLL in the screen saver's folder (which other users may write into), as our
    planted SHFOLDER.DLL: it leaves a marker when loaded. With uxtheme=n,b Wine looks for it
    in a program's folder, as Windows looks for every library that is not a KnownDLL. A probe
    without the uninstaller's hardening (the sample screen saver, which shows a dialog) runs
    from there first, to show that the plant works."""
    bin_dir = ctx.prefix / "drive_c" / "e2e" / "bin"
    folder = wine_session.win_to_unix(ctx.prefix, DATA_FOLDER)
    (folder / "UXTHEME.DLL").write_bytes((bin_dir / "SHFOLDER.DLL").read_bytes())
    (folder / "probe.scr").write_bytes((bin_dir / "aurora.scr").read_bytes())


def note_probe_and_clear_marker(ctx: Ctx) -> None:
    ctx.probe_loaded_plant = ctx.last.exists(PLANT_MARKER)
    marker = wine_session.win_to_unix(ctx.prefix, PLANT_MARKER)
    if marker.exists():
        marker.unlink()


def expect_plant_loaded_only_by_the_probe(ctx: Ctx) -> list:
    out = []
    if not getattr(ctx, "probe_loaded_plant", False):
        out.append("the probe did not load the planted UXTHEME.DLL: the test proves nothing")
    if ctx.last.exists(PLANT_MARKER):
        out.append("the uninstaller loaded the UXTHEME.DLL planted in its folder")
    return out


# --- The scenarios ----------------------------------------------------------------------------

def check_installation_twice(ctx: Ctx) -> None:
    ctx.installation_problems = expect_installed()(ctx) + expect_log(times=2)(ctx)
    # A file someone made read-only since: the uninstaller makes it writable to remove it.
    os.chmod(wine_session.win_to_unix(ctx.prefix, READ_ONLY), 0o444)


READ_ONLY = DATA_FOLDER + "JUK_0002.wav"


def silent_install_then(*removal: Run) -> list:
    """A silent installation, then the runs that remove it."""
    return [Run(args="/S"), *removal]


def gone_after_restart(**restart_leftovers) -> list:
    """After the removal only what waits for a restart is left, and after the restart the
    prefix is as it was before the installation."""
    return [expect_only_restart_leftovers(**restart_leftovers), expect_as_before_after_restart()]


INSTALL_INTERACTIVE = Run(answers=[(CAPTION, "OK"), (CAPTION, "OK")])
IN_USE = DATA_FOLDER + "FILE0001.WAV"

SCENARIOS: dict = {
    "round_trip": Scenario(
        "install, then remove through Wine's Add/Remove Programs (uninstaller --remove): one "
        "question, answered Yes; after a restart the prefix is as it was",
        package_with_our_uninstaller,
        [INSTALL_INTERACTIVE,
         Run(program=WINE_UNINSTALLER, args=f"--remove {NAME}",
             answers=[(REMOVAL_CAPTION, "Yes")], before=check_installation)],
        [expect_installation_was_complete, expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)],
                        [removal_question(NAME, "Yes")])] + gone_after_restart(),
        prepare=prepare()),
    "round_trip_declined": Scenario(
        "the removal question answered No changes nothing (exit status 1); a silent removal "
        "after it removes everything (exit status 0)",
        package_with_our_uninstaller,
        silent_install_then(
            Run(program=UNINSTALLER, answers=[(REMOVAL_CAPTION, "No")], before=check_installation),
            Run(program=UNINSTALLER, args="/s", before=snapshot("declined"))),
        [expect_installation_was_complete, expect_exit_codes(0, 1, 0),
         expect_dialogs([], [removal_question(NAME, "No")], []),
         expect_unchanged_between("installed", "declined")] + gone_after_restart(),
        prepare=prepare()),
    "round_trip_quiet": Scenario(
        "installed unattended (its licence accepted for the users, nothing shown), then removed "
        "as deployment tools remove it, by the command line in QuietUninstallString, which asks "
        "nothing (exit status 0); after a restart the prefix is as it was",
        lambda h: package_with_our_uninstaller(h, agreement=AGREEMENT),
        [Run(args="/UNATTENDED"),
         Run(program=UNINSTALL_COMMAND, args=f"{NAME} QuietUninstallString",
             before=check_installation_and_values)],
        [expect_installation_was_complete, expect_exit_codes(0, 0), expect_dialogs([], []),
         expect_quiet_command_run] + gone_after_restart(),
        prepare=prepare()),
    "round_trip_twice": Scenario(
        "installed twice (the log lists every file twice), removed once, silently, a "
        "read-only file among them",
        package_with_our_uninstaller,
        [Run(args="/S"), Run(args="/S"),
         Run(program=UNINSTALLER, args="/s", before=check_installation_twice)],
        [expect_installation_was_complete, expect_exit_codes(0, 0, 0), expect_dialogs([], [], [])]
        + gone_after_restart(),
        prepare=prepare()),
    "round_trip_rollback": Scenario(
        "Cancel while the screen saver is written: the installer's rollback with \"/s\" leaves "
        "the prefix as it was",
        lambda h: package_with_our_uninstaller(h, big_member=0),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "Yes")],
             cancels=[(SCREEN_SAVER, 300_000)])],
        [expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("Yes")])] + gone_after_restart(),
        prepare=prepare()),
    "round_trip_tampered": Scenario(
        "a tampered INSTALL.LOG (kernel32.dll, a path climbing out with .., another screen "
        "saver's file) and a data file that is a hard link: all of them survive, the rest goes, "
        "exit status 2",
        package_with_our_uninstaller,
        silent_install_then(Run(program=UNINSTALLER, args="/s", before=tamper_with_installation)),
        [expect_exit_codes(0, 2), expect_as_before_after_restart(tampered_leftovers)],
        prepare=prepare(plant_victims)),
    "round_trip_folder_link": Scenario(
        "the screen saver's folder replaced by a link to another folder: nothing is removed, "
        "the user is told, exit status 2",
        package_with_our_uninstaller,
        silent_install_then(
            Run(program=UNINSTALLER, before=replace_folder_by_link,
                answers=[(REMOVAL_CAPTION, "OK")])),
        [expect_exit_codes(0, 2),
         expect_dialogs([], [leftovers_message(NAME, [
             DATA_FOLDER.rstrip("\\") + ": a link to another folder; nothing was removed"])]),
         expect_untouched_since("linked"), expect_moved_folder_whole, expect_screen_saver_kept],
        prepare=prepare()),
    "round_trip_in_use": Scenario(
        "a media file held open during the removal: named in the one message as removed at "
        "restart, the rest removed, exit status 2; after a restart nothing remains",
        package_with_our_uninstaller,
        silent_install_then(
            Run(program=HOLD_OPEN, args=f"{IN_USE} {UNINSTALLER}", before=check_installation,
                answers=[(REMOVAL_CAPTION, "Yes"), (REMOVAL_CAPTION, "OK")],
                during=[(REMOVAL_CAPTION, note_held_copy, 2)])),
        [expect_installation_was_complete, expect_exit_codes(0, 2),
         expect_dialogs([], [removal_question(NAME, "Yes"), leftovers_message(NAME, [
             IN_USE + ": in use; it will be removed when Windows restarts"])]),
         expect_copy_held_at_message, expect_users_temp_unused]
        + gone_after_restart(in_use=[IN_USE], folders_wait=True),
        prepare=prepare(redirect_users_temp)),
    "round_trip_foreign_folder": Scenario(
        "the screen saver's folder given to another user after the installation: the removal, "
        "answered Yes, removes nothing and says why, exit status 2",
        package_with_our_uninstaller,
        silent_install_then(
            Run(program=UNINSTALLER, before=give_folder_away,
                answers=[(REMOVAL_CAPTION, "Yes"), (REMOVAL_CAPTION, "OK")])),
        [expect_exit_codes(0, 2),
         expect_dialogs([], [removal_question(NAME, "Yes"), leftovers_message(NAME, [
             DATA_FOLDER.rstrip("\\") + ": belongs to another user, not to the administrators "
             "of this computer; nothing was removed"])]),
         expect_untouched_since("given away"), expect_screen_saver_kept],
        prepare=prepare(), gives_away_files=True),
    "one_at_a_time": Scenario(
        "while a second installation of the screen saver waits for its licence, a third "
        "installer says that one is running (exit status 5) and the installed uninstaller "
        "refuses (exit status 2): the installation stays whole, logged twice",
        lambda h: package_with_our_uninstaller(h, agreement=AGREEMENT, media=[]),
        [Run(args="/S", answers=[("License Agreement", "Accept")]),
         Run(answers=[("Replace Screen Saver?", "Yes"), (CAPTION, "OK"),
                      ("License Agreement", "Accept"), ("Error!!!", "OK"), (CAPTION, "OK")],
             during=[("License Agreement", start_others)])],
        [expect_exit_codes(0, 0), expect_others_refused,
         expect_dialogs(lambda c: [agreement_dialog(c, "Accept")],
                        lambda c: [replace_dialog(c, "Yes"), confirm_dialog(c),
                                   agreement_dialog(c, "Accept"),
                                   dialog("Error!!!", ALREADY_RUNNING.format(NAME), ["OK"],
                                          owned=False, pressed="OK"),
                                   complete_dialog(c)]),
         expect_installed(), expect_log(times=2)]),
    "uninstaller_planted_library": Scenario(
        "a UXTHEME.DLL planted in the screen saver's folder, which a program there without our "
        "hardening loads, is never loaded by the uninstaller (its question shown, answered No)",
        package_with_our_uninstaller,
        silent_install_then(
            Run(program=DATA_FOLDER + "probe.scr", args="/c", before=plant_library,
                answers=[("Aurora Screen Saver Settings", "OK")]),
            Run(program=UNINSTALLER, before=note_probe_and_clear_marker,
                answers=[(REMOVAL_CAPTION, "No")])),
        [expect_exit_codes(0, 0, 1), expect_plant_loaded_only_by_the_probe],
        overrides="uxtheme=n,b"),
    "round_trip_author": Scenario(
        "an author with nothing but a .scr: lmvpack init, name and screen saver set, built with "
        "lmvpack's own data file and uninstaller; installed, then removed through Add/Remove "
        "Programs (its UninstallString has a blank); the prefix is as it was",
        author_package,
        # Silent: an interactive installation would start the screen saver, whose running file
        # a removal right after it could only schedule for the restart.
        silent_install_then(
            Run(program=WINE_UNINSTALLER, args=f'--remove "{AUTHOR_NAME}"',
                before=check_installation, answers=[(AUTHOR_NAME + " Screen Saver", "Yes")])),
        [expect_installation_was_complete,
         expect_dialogs([], [removal_question(AUTHOR_NAME, "Yes")])] + gone_after_restart(),
        prepare=prepare()),
}
