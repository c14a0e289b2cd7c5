"""Scenarios of the installer deployed by IT and package managers: /UNATTENDED shows nothing
at all, on every path where a run with /S would show something, and its exit status says how
the run ended.

scenarios.py imports this module at its end and adds SCENARIOS to its own.
"""

from __future__ import annotations

import scenario_runner
import wine_session
from damage import DAMAGES, ESCAPING_SUFFIX, set_name
from expectations import (CAPTION, INCOMPLETE_STATUS, REFUSED_STATUS, confirm_dialog, dialog,
                          expect_activated, expect_dialogs, expect_exit_code_per_run,
                          expect_install_dialog, expect_installed, expect_log, expect_marker,
                          expect_not_activated, expect_nothing_installed, expect_uninstall_key_empty,
                          expect_uninstall_values, expect_writes)
from scenario_model import Ctx, Run, Scenario
from scenarios import (AGREEMENT, UNSUPPORTED_MEDIA, disk_full_package, standard_package,
                       stored_data_package)
from scenarios_windows import (FOREIGN_TEXT, LINKED_FOLDER, REFUSED_FOREIGN, REFUSED_INSIDE,
                               SYMBOLIC_LOG, THEIR_FOLDER, THEIR_LOG, expect_elsewhere_empty,
                               expect_nothing_written, plant_foreign_inside, plant_links_inside)

UNATTENDED = "/UNATTENDED"
# The exit statuses of an unattended run where a silent one would show something
# (platform/exit_status.h, README.md).
WRITE_FAILURE_STATUS = 3
DISK_FULL_STATUS = 7
NO_RIGHTS_STATUS = 8
UNSUPPORTED_MEDIA_STATUS = 9
ALREADY_RUNNING_STATUS = 10
ACCESS_TEXT = ("You do not have access to make the required system configuration modifications. "
               "Please rerun this installation from an administrators account.")
UNINSTALL_KEY_OF_AURORA = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Aurora"


def expect_nothing_visible(*runs: int):
    """In each of these runs (counted from 1; all when none are named) no window of the
    installer ever became visible: no title window, dialog or message box, and no dialog of
    any other program (the driver logs those too)."""

    def check(ctx: Ctx) -> list:
        out = []
        for number, result in enumerate(ctx.results, 1):
            if runs and number not in runs:
                continue
            for wid, states in result.log.windows().items():
                if result.log.ever_visible(wid):
                    out.append(f"run {number}: a window became visible: {states[-1]['class']} "
                               f"{states[-1]['caption']!r}")
        return out
    return check


def unattended(**kwargs) -> Run:
    return Run(args=UNATTENDED, **kwargs)


def start_unattended_beside(ctx: Ctx, xvfb) -> None:
    """While an installation of the screen saver waits at its confirmation: the same installer
    started with /UNATTENDED, which must end by itself at once, showing nothing."""
    second = wine_session.start_program(ctx.prefix, xvfb, ctx.package.installer, UNATTENDED)
    wine_session.wait_for(lambda: second.poll() is not None or xvfb.shows_window("Error!!!"),
                     "the unattended installer's end or message", 30)
    ctx.beside_status = second.poll()
    ctx.beside_message = xvfb.shows_window("Error!!!")


def expect_beside_ended(ctx: Ctx) -> list:
    out = []
    if getattr(ctx, "beside_message", True):
        out.append("the unattended installer showed its message")
    if getattr(ctx, "beside_status", None) != ALREADY_RUNNING_STATUS:
        out.append(f"the unattended installer ended with {getattr(ctx, 'beside_status', None)}, "
                   f"expected {ALREADY_RUNNING_STATUS}")
    return out


def expect_key_denied(ctx: Ctx) -> list:
    """The preparation run took the right to change the key away, as the installer's own probe
    then sees it."""
    seen = ctx.last.marker("deny_key")
    if seen != [(UNINSTALL_KEY_OF_AURORA, "probe:5")]:
        return [f"the key was not locked: deny_key saw {seen}"]
    return []


def damage_named(label: str):
    return next(damage for name, damage, _ in DAMAGES + ESCAPING_SUFFIX if name == label)


# Refused packages and an incomplete one, each unattended: the status of a silent run, no
# message. Writes: nothing, but for the incomplete run (its members before the break, logged).
REFUSED_DAMAGES = ["cut inside the member table", "name without NUL",
                   "suffix \\..\\..\\..\\e.wav"]
INCOMPLETE_DAMAGE = "cut inside the compressed data file"


def incomplete_writes(ctx: Ctx) -> list:
    return ctx.package.destinations()[:2] + [ctx.package.shared_folder() + "INSTALL.LOG"]


REFUSED_NAMES = [LINKED_FOLDER, SYMBOLIC_LOG, THEIR_FOLDER, THEIR_LOG]


def plant_links_and_foreign_folders(ctx: Ctx) -> None:
    plant_links_inside(ctx)
    plant_foreign_inside(ctx)


SCENARIOS: dict = {
    "unattended": Scenario(
        "/UNATTENDED, -unattended and /q /Unattended: the agreement accepted without its dialog, "
        "nothing shown, installed and made the system's screen saver, nothing started, status 0",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [unattended(), Run(args="-unattended"), Run(args="/q /Unattended")],
        [expect_exit_code_per_run(0, 0, 0), expect_nothing_visible(), expect_dialogs([], [], []),
         expect_install_dialog(False, False, False), expect_installed(), expect_log(times=3),
         expect_uninstall_values(), expect_activated(), expect_marker("screensaver", []),
         expect_marker("url", [])]),
    "unattended_disk_full": Scenario(
        "/UNATTENDED where 'Disk Full' would ask: nothing shown, nothing written, status 7",
        disk_full_package,
        [unattended()],
        [expect_exit_code_per_run(DISK_FULL_STATUS), expect_nothing_visible(), expect_dialogs([]),
         expect_install_dialog(None), expect_nothing_installed, expect_writes([])],
        small_disk=True),
    "unattended_codecs": Scenario(
        "/UNATTENDED where the codec notice would appear: nothing shown, no page opened, "
        "installed but not made the system's screen saver, status 9",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        [unattended()],
        [expect_exit_code_per_run(UNSUPPORTED_MEDIA_STATUS), expect_nothing_visible(),
         expect_dialogs([]), expect_installed(), expect_log(), expect_uninstall_values(),
         expect_not_activated, expect_marker("url", []), expect_marker("screensaver", [])]),
    "unattended_no_rights": Scenario(
        "the Uninstall key may not be written: /UNATTENDED shows nothing and ends with status 8, "
        "writing nothing; /S still shows the access message and ends with 0",
        lambda h: standard_package(h, media=[]),
        [Run(program=r"C:\e2e\bin\deny_key.exe", args=UNINSTALL_KEY_OF_AURORA), unattended(),
         Run(args="/S", answers=[("Error!!!", "OK")])],
        [expect_key_denied, expect_exit_code_per_run(0, NO_RIGHTS_STATUS, 0),
         expect_nothing_visible(2),
         expect_dialogs([], [], [dialog("Error!!!", ACCESS_TEXT, ["OK"], owned=False,
                                        pressed="OK")]),
         expect_writes([r"C:\e2e\markers\deny_key.log"], [], []), expect_uninstall_key_empty,
         expect_not_activated]),
    "unattended_refused": Scenario(
        "/UNATTENDED with a damaged package, a name it refuses, a suffix that climbs out, and a "
        "package that breaks off: no message, the statuses of a silent run (5, 5, 5, 4)",
        lambda h: standard_package(h),
        [unattended(damage=damage_named(label)) for label in REFUSED_DAMAGES]
        + [unattended(damage=damage_named(INCOMPLETE_DAMAGE))],
        [expect_exit_code_per_run(*[REFUSED_STATUS] * len(REFUSED_DAMAGES), INCOMPLETE_STATUS),
         expect_nothing_visible(), expect_dialogs(*[[]] * (len(REFUSED_DAMAGES) + 1)),
         expect_writes(*[[]] * len(REFUSED_DAMAGES), incomplete_writes), expect_not_activated,
         expect_marker("screensaver", [])]),
    "unattended_links_and_owners": Scenario(
        "/UNATTENDED where a folder of ours is a link, INSTALL.LOG a link, a folder or the log "
        "another user's: each refused without a message, status 5, nothing written",
        lambda h: standard_package(h),
        [unattended(damage=set_name(name.encode())) for name in REFUSED_NAMES],
        [expect_exit_code_per_run(*[REFUSED_STATUS] * len(REFUSED_NAMES)),
         expect_nothing_visible(), expect_dialogs(*[[]] * len(REFUSED_NAMES)),
         expect_nothing_written(REFUSED_NAMES), expect_elsewhere_empty],
        prepare=plant_links_and_foreign_folders, gives_away_files=True),
    "unattended_failed_write": Scenario(
        "/UNATTENDED when the data folder fills up: no message, nothing activated or started, "
        "status 3",
        stored_data_package,
        [unattended()],
        [expect_exit_code_per_run(WRITE_FAILURE_STATUS), expect_nothing_visible(),
         expect_dialogs([]), expect_not_activated, expect_marker("screensaver", [])],
        prepare=scenario_runner.plant_small_data_folder),
    "unattended_already_running": Scenario(
        "/UNATTENDED while another installation of the screen saver waits at its confirmation: "
        "no message, status 10; the other installation goes on",
        lambda h: standard_package(h, media=[]),
        [Run(answers=[(CAPTION, "Cancel")], during=[(CAPTION, start_unattended_beside)])],
        [expect_exit_code_per_run(0), expect_beside_ended,
         expect_dialogs(lambda c: [confirm_dialog(c, "Cancel")]), expect_nothing_installed]),
}
