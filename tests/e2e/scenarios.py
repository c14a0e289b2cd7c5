"""The end-to-end scenarios: each is a short package description, the runs of the installer
with the answers a user gives, and a short list of expectations (expectations.py); the
damaged installers come from damage.py, and scenario_runner.run_scenario plays them.
"""

from __future__ import annotations

import os
import shutil
from pathlib import Path
from typing import Callable

import authoring_packages
import scenario_runner
import wine_session
from damage import (DAMAGES, DEVICE_NAMES, DOTTED_NAMES, ESCAPING_NAME, ESCAPING_SUFFIX,
                    LONG_NAME, NAMELESS_DAMAGES, NON_ASCII_NAME, USERS_FONT_SMOOTHING,
                    break_web_browser, cut_at, damaged_runs, expect_outcomes,
                    plant_existing_screen_saver, refused, set_name, set_users_font_smoothing)
from expectations import (CAPTION, DAMAGED_TEXT, FALLBACK_APPDATA, NAME, NO_WINDOW_STATUS,
                          REFUSED_STATUS, UNUSABLE_NAME_TEXT, Package, abort_dialog,
                          agreement_dialog, complete_dialog, confirm_dialog, dialog, directx_dialog,
                          expect_activated, expect_centred, expect_codec_notice, expect_codec_notice_starts,
                          expect_cut_members, expect_dialogs, expect_disk_full, expect_distinct_urls,
                          expect_exit_code, expect_exit_code_per_run, expect_exit_zero,
                          expect_file_bytes, expect_install_dialog, expect_installed,
                          expect_installer_signed, expect_log, expect_marker, expect_no_crash,
                          expect_no_crash_dialog, expect_no_file, expect_not_activated,
                          expect_nothing_installed, expect_page_failure,
                          expect_some_dialog_mentions, expect_title_pixels, expect_title_window,
                          expect_uninstall_key_empty, expect_uninstall_values, expect_user_value,
                          expect_writes, replace_dialog, screen_saver_module, uninstaller_module)
from package_sources import Member, compressible_bytes, random_bytes, wav_bytes
from scenario_model import COMMON_APPDATA, PKG_DIR, WINDIR, Helpers, Run, Scenario
from scenario_runner import plant_small_data_folder

def wav(seconds_tenths: int = 5) -> bytes:
    return wav_bytes(800 * seconds_tenths)


def standard_package(h: Helpers, name: str = "Aurora", *, media=None, big_member: int | None = None,
                     big_size: int = 12 << 20, **kwargs) -> Package:
    """Screen saver stored, data compressed, uninstaller compressed, and media files that the
    media devices open: stored and compressed, each prefix kind."""
    members = [
        Member(h.program("screensaver", big_size if big_member == 0 else 0, 1), compress=False),
        Member(compressible_bytes(300_000, 2), compress=True),
        Member(h.program("uninstaller", big_size if big_member == 2 else 0, 3),
               compress=False if big_member == 2 else True),
    ]
    if media is None:
        media = [Member(wav(5), compress=False, suffix=".WAV", prefix="FILE"),
                 Member(wav(7), compress=True, suffix=".wav", prefix="JUK_"),
                 Member(wav(3), compress=False, suffix="_chime.wav", prefix="JUKE")]
    return Package(name=name, members=members + media, **kwargs)


def stored_data_package(h: Helpers) -> Package:
    p = standard_package(h)
    p.members[1] = Member(compressible_bytes(300_000, 2), compress=False)
    return p


AGREEMENT = ("AURORA SCREEN SAVER LICENCE\n\nYou may use this screen saver on any number of "
             "computers.\nYou may not sell it.\n")
UNSUPPORTED_MEDIA = [Member(wav_bytes(4000), compress=False, suffix=".WAV", prefix="FILE"),
                     Member(random_bytes(3000, 7), compress=False, suffix=".xyz", prefix="FILE"),
                     Member(random_bytes(5000, 8), compress=True, suffix=".xyz", prefix="JUK_"),
                     Member(random_bytes(2000, 9), compress=False, suffix=".xy", prefix="JUKE"),
                     Member(random_bytes(1000, 10), compress=False, suffix="b.XYZ", prefix="FILE")]
DISK_FULL_CLAIM = 200 << 20  # claimed by the terminating entry, on a 96 MB drive
DOTTED_NAME = "Aurora 2.0  "
DOTTED_CAPTION = "Aurora 2.0 Screen Saver Installation"


def failed_write_checks(file_name: str) -> list:
    """A write the disk refuses, at any member and on either path: what the run had written is
    taken back (files, log, folders, Uninstall key), the file is named, nothing is activated or
    started, exit status 3."""
    return [expect_exit_code(3), expect_some_dialog_mentions(file_name), expect_nothing_installed,
            expect_writes([]), expect_no_crash_dialog]


def failing_at(member: int):
    """A package whose member `member` (1 to 3) alone outgrows a 64 KB data folder, every
    member before it fitting: the data file, the uninstaller, or the first media file."""
    def package(h: Helpers) -> Package:
        big = 200_000
        return Package(name=NAME, members=[
            Member(h.program("screensaver", 0, 1), compress=False),
            Member(compressible_bytes(big if member == 1 else 2000, 2),
                   compress=member != 1),
            Member(h.program("uninstaller", big if member == 2 else 0, 3), compress=member != 2),
            Member(wav(30) + random_bytes(big if member == 3 else 0, 4), compress=False,
                   suffix=".WAV", prefix="FILE")])
    return package


def failed_write_runs(*answers) -> list:
    return [Run(answers=list(answers) + [(CAPTION, "OK"), ("Error!!!", "OK")])]


def two_members(h: Helpers) -> Package:
    p = standard_package(h, media=[])
    p.members_in_table = 2
    return p


def disk_full_package(h: Helpers) -> Package:
    p = standard_package(h)
    p.claimed_extra_size = DISK_FULL_CLAIM
    return p


# Windows version of each run and the answer to the DirectX question (None: not asked).
DIRECTX_RUNS = [("win95", "Yes"), ("win98", "Yes"), ("winxp", "Yes"), ("nt40", None),
                ("winxp", "No")]


def directx_answers(index: int, answer: str | None) -> list:
    replace = [("Replace Screen Saver?", "Yes")] if index else []
    return replace + [(CAPTION, "OK"), (CAPTION, "OK")] + ([(CAPTION, answer)] if answer else [])


def directx_dialogs(index: int, answer: str | None) -> Callable:
    return lambda c: (([replace_dialog(c, "Yes")] if index else []) +
                      [confirm_dialog(c), complete_dialog(c)] +
                      ([directx_dialog(c, answer)] if answer else []))


def typical_runs() -> list:
    """Confirmation OK, agreement Accept, completion OK."""
    return [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Accept"), (CAPTION, "OK")])]


def typical_checks() -> list:
    """What the typical installation shows, writes and starts, whatever the installer's
    branding or signature."""
    return [expect_exit_zero,
            expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Accept"),
                                      complete_dialog(c)]),
            expect_title_window(True), expect_install_dialog(True), expect_installed(),
            expect_log(), expect_uninstall_values(), expect_activated(),
            expect_marker("screensaver", [""], screen_saver_module)]


def switch_runs():
    silent = ["/S", "-s", "/Silent", "x/S"]
    return [Run(args="/q -S", answers=[(CAPTION, "Cancel")])] + [Run(args=a) for a in silent]


SCENARIOS: dict = {
    # Installation run and uninstall registration
    "clean_install": Scenario(
        "stored and compressed members and media files, interactive, every result exact",
        lambda h: standard_package(h, first_media_number=51),
        [Run(answers=[(CAPTION, "OK"), (CAPTION, "OK")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)]),
         expect_install_dialog(True), expect_installed(), expect_log(), expect_uninstall_values(),
         expect_activated(), expect_marker("screensaver", [""], screen_saver_module),
         expect_marker("uninstaller", []), expect_marker("url", [])]),
    "installed_twice": Scenario(
        "the same package twice: files overwritten, log lines appended, values rewritten",
        lambda h: standard_package(h),
        [Run(args="/S"), Run(args="/S")],
        [expect_exit_zero, expect_dialogs([], []), expect_installed(), expect_log(times=2),
         expect_uninstall_values(), expect_activated()]),
    "silent": Scenario(
        "silent mode: the same run with nothing shown, nothing launched",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_install_dialog(False),
         expect_title_window(False), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated(), expect_marker("screensaver", [])]),
    "cancel_no_then_yes_member0": Scenario(
        "Cancel answered No, then Yes, while the screen saver is written",
        lambda h: standard_package(h, big_member=0),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "No"), ("Abort Installation?", "Yes")],
             cancels=[(WINDIR + "\\" + NAME + ".scr", 300_000), (WINDIR + "\\" + NAME + ".scr", 1_500_000)])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("No"), abort_dialog("Yes")]),
         expect_cut_members(0), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", [])]),
    "cancel_yes_member2": Scenario(
        "Cancel confirmed while the uninstaller is written: it is written whole",
        lambda h: standard_package(h, big_member=2),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "Yes")],
             cancels=[(COMMON_APPDATA + rf"\Tarrowby\Lumenvault\{NAME}\UNINSTAL.EXE", 300_000)])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("Yes")]),
         expect_cut_members(3), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", [])]),
    "no_shfolder": Scenario(
        "SHFOLDER.DLL unavailable: the All Users\\Application Data fallback under the Windows directory",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_installed(FALLBACK_APPDATA), expect_log(appdata=FALLBACK_APPDATA),
         expect_uninstall_values(FALLBACK_APPDATA), expect_activated(),
         expect_no_file(COMMON_APPDATA + r"\Tarrowby")],
        overrides="shfolder=d"),
    "unsupported_media": Scenario(
        "media no device opens: .xyz once (twice unsupported; .xy is contained in it), .XYZ "
        "apart (case counts), no activation, Cancel",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA),
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "Cancel")])],
        [expect_exit_zero, expect_installed(), expect_log(), expect_uninstall_values(),
         expect_not_activated, expect_codec_notice(".xyz\r\n.XYZ\r\n", "Cancel"),
         expect_marker("screensaver", [])]),
    "two_members": Scenario(
        "a package of two members: no Uninstall values (the probe's empty key stays), no probe",
        two_members,
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_uninstall_key_empty, expect_activated()]),
    # Front end
    "typical": Scenario(
        "the typical installation: confirmation OK, agreement Accept, complete, screen saver started",
        lambda h: standard_package(h, agreement=AGREEMENT),
        typical_runs(),
        typical_checks() + [expect_centred("License Agreement")]),
    "branded": Scenario(
        "the typical installation of an installer with the author's icon and version "
        "information: the same dialogs, files and Uninstall values",
        lambda h: standard_package(h, agreement=AGREEMENT,
                                   edit_manifest=authoring_packages.brand_manifest,
                                   display_version=authoring_packages.BRAND_VERSION),
        typical_runs(),
        typical_checks()),
    "signed": Scenario(
        "the typical installation of a signed installer (the certificate table after the "
        "package): the same dialogs, files and Uninstall values",
        lambda h: standard_package(h, agreement=AGREEMENT,
                                   after_build=authoring_packages.sign_installer),
        typical_runs(),
        [expect_installer_signed] + typical_checks()),
    "refuse_replace": Scenario(
        "an existing screen saver, replace answered No: nothing written",
        lambda h: standard_package(h),
        [Run(answers=[("Replace Screen Saver?", "No")])],
        [expect_exit_zero, expect_dialogs(lambda c: [replace_dialog(c, "No")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_file_bytes(WINDIR + "\\" + NAME + ".SCR", lambda c: b"an older screen saver")],
        prepare=plant_existing_screen_saver),
    "refuse_confirmation": Scenario(
        "confirmation answered Cancel: nothing written",
        lambda h: standard_package(h),
        [Run(answers=[(CAPTION, "Cancel")])],
        [expect_exit_zero, expect_dialogs(lambda c: [confirm_dialog(c, "Cancel")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")]),
    "refuse_agreement": Scenario(
        "agreement declined: nothing written",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [Run(answers=[(CAPTION, "OK"), ("License Agreement", "Decline")])],
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c), agreement_dialog(c, "Decline")]),
         expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")]),
    "refuse_disk_full": Scenario(
        "'Disk Full' answered Cancel: nothing written",
        disk_full_package,
        [Run(answers=[("Disk Full", "Cancel")])],
        [expect_exit_zero, expect_disk_full, expect_install_dialog(None), expect_nothing_installed,
         expect_no_file(WINDIR + "\\" + NAME + ".scr")],
        small_disk=True),
    "silent_replaces": Scenario(
        "silent mode over an existing screen saver: replaced without a question, no launch",
        lambda h: standard_package(h),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_marker("screensaver", [])],
        prepare=plant_existing_screen_saver),
    "silent_disk_full": Scenario(
        "silent mode still asks 'Disk Full'",
        disk_full_package,
        [Run(args="/S", answers=[("Disk Full", "Cancel")])],
        [expect_exit_zero, expect_disk_full, expect_nothing_installed],
        small_disk=True),
    "silent_agreement": Scenario(
        "silent mode still shows the agreement; accepted, it installs without completion or launch",
        lambda h: standard_package(h, agreement=AGREEMENT),
        [Run(args="/S", answers=[("License Agreement", "Accept")])],
        [expect_exit_zero, expect_dialogs(lambda c: [agreement_dialog(c, "Accept")]),
         expect_install_dialog(False), expect_installed(), expect_log(), expect_activated(),
         expect_marker("screensaver", [])]),
    "codec_notice_ok": Scenario(
        "codec notice answered OK: the media player page is opened, nothing started",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "OK")])],
        [expect_exit_zero, expect_codec_notice(".xyz\r\n", "OK"), expect_not_activated,
         expect_marker("screensaver", [])]),
    "web_page_fails": Scenario(
        "the media player page cannot be opened: 'Could not connect to this site.' under the "
        "page's address",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        # The shell's own "Error" comes first; the installer's message is captioned with the
        # page's address, whatever page the installer names.
        [Run(answers=[(CAPTION, "OK"), ("Missing support codecs", "OK"), ("Error", "OK"),
                      ("http*", "OK")])],
        [expect_exit_zero, expect_page_failure, expect_not_activated,
         expect_marker("screensaver", []), expect_marker("url", [])],
        prepare=break_web_browser),
    "codec_notice_silent": Scenario(
        "silent mode still shows the codec notice",
        lambda h: standard_package(h, media=UNSUPPORTED_MEDIA[:2]),
        [Run(args="/S", answers=[("Missing support codecs", "Cancel")])],
        [expect_exit_zero, expect_codec_notice(".xyz\r\n", "Cancel"), expect_not_activated,
         expect_marker("screensaver", [])]),
    "directx_versions": Scenario(
        "NeedsDirectX without DDRAW.DLL: asked on Windows 95, 98, XP (Yes opens the page of "
        "Windows 95 or the general one; No opens none), not on NT 4; started every time",
        lambda h: standard_package(h, needs_directx=True, media=[]),
        [Run(winver=version, answers=directx_answers(i, answer))
         for i, (version, answer) in enumerate(DIRECTX_RUNS)],
        [expect_exit_zero,
         expect_dialogs(*[directx_dialogs(i, answer) for i, (_, answer) in enumerate(DIRECTX_RUNS)]),
         expect_distinct_urls,
         expect_marker("screensaver", [""] * len(DIRECTX_RUNS), screen_saver_module)],
        overrides="ddraw=d"),
    "switch_forms": Scenario(
        "/S, -s, /Silent and x/S are silent; /q -S is interactive",
        lambda h: standard_package(h, media=[]),
        switch_runs(),
        [expect_exit_zero,
         expect_dialogs(lambda c: [confirm_dialog(c, "Cancel")], [], [], [], []),
         expect_install_dialog(None, False, False, False, False)]),
    "title_screen": Scenario(
        "the title window's gradient, frame and shadowed title, read from a screenshot; the "
        "user's font smoothing setting is left as it was",
        lambda h: standard_package(h, name="Aurora", top_color="#20E0A0", bottom_color="#E02040",
                                   media=[]),
        [Run(answers=[(CAPTION, "Cancel")], shot=CAPTION)],
        [expect_exit_zero, expect_title_window(True), expect_title_pixels,
         expect_user_value(r"Control Panel\Desktop", "FontSmoothing", USERS_FONT_SMOOTHING)],
        prepare=set_users_font_smoothing),
    "abort_after_unsupported": Scenario(
        "aborted after a media type failed: only the uninstaller is started, no codec notice",
        lambda h: standard_package(h, media=[
            Member(random_bytes(3000, 11), compress=False, suffix=".xyz", prefix="FILE"),
            Member(random_bytes(12 << 20, 12), compress=False, suffix=".WAV", prefix="FILE")]),
        [Run(answers=[(CAPTION, "OK"), ("Abort Installation?", "Yes")],
             cancels=[(COMMON_APPDATA + rf"\Tarrowby\Lumenvault\{NAME}\FILE0002.WAV", 300_000)])],
        [expect_exit_zero, expect_dialogs(lambda c: [confirm_dialog(c), abort_dialog("Yes")]),
         expect_cut_members(4), expect_log(), expect_not_activated,
         expect_marker("uninstaller", ["/s"], uninstaller_module), expect_marker("screensaver", []),
         expect_marker("url", [])]),
    "disk_full_ok": Scenario(
        "'Disk Full' answered OK: the installation goes on and completes",
        disk_full_package,
        [Run(answers=[("Disk Full", "OK"), (CAPTION, "OK"), (CAPTION, "OK")])],
        [expect_exit_zero, expect_disk_full,
         expect_dialogs(lambda c: [dialog("Disk Full", None, ["OK", "Cancel"], False, "OK"),
                                   confirm_dialog(c), complete_dialog(c)]),
         expect_installed(), expect_log(), expect_activated(),
         expect_marker("screensaver", [""], screen_saver_module)],
        small_disk=True),
    "media_numbers": Scenario(
        "FirstMediaNumber 9998: members 3 to 5 numbered 9998, 9999 and 10000",
        lambda h: standard_package(h, patched_first_media_number=9998),
        [Run(args="/S")],
        [expect_exit_zero, expect_installed(), expect_log(), expect_activated()]),
    "dotted_name_with_blanks": Scenario(
        "the name 'Aurora 2.0  ': tested with its blanks, installed trimmed, the dot kept in "
        "the key and DisplayName, a short path in system.ini",
        lambda h: standard_package(h, name=DOTTED_NAME, media=[]),
        [Run(answers=[(DOTTED_CAPTION, "OK"), (DOTTED_CAPTION, "OK")])],
        [expect_exit_zero, expect_title_window(True),
         expect_dialogs(lambda c: [confirm_dialog(c), complete_dialog(c)]),
         expect_installed(), expect_log(), expect_uninstall_values(), expect_activated(),
         expect_marker("screensaver", [""])]),
    # Robustness
    "damaged_packages": Scenario(
        "damaged installers, silent: each comes to its own end (refused by the system or by the "
        "installer, incomplete, or complete), with its message and exit status, writing exactly "
        "its own files",
        lambda h: standard_package(h, media=[Member(wav(3), compress=False, suffix=".WAV")]),
        damaged_runs(DAMAGES),
        expect_outcomes(DAMAGES) + [expect_activated()],
        small_disk=True, timeout=60),
    "nameless_package": Scenario(
        "a package whose header cannot be read (cut inside it: refused by the system's loader; "
        "AgreementLength past the end: refused as damaged or missing), nothing written",
        lambda h: standard_package(h, media=[]),
        damaged_runs(NAMELESS_DAMAGES),
        expect_outcomes(NAMELESS_DAMAGES) + [expect_nothing_installed],
        small_disk=True, timeout=60),
    "incomplete_installation": Scenario(
        "the package breaks off inside the data file, silent: the user is told, nothing is "
        "activated or started, exit status 4",
        lambda h: standard_package(h),
        [Run(args="/S", answers=[(CAPTION, "OK")],
             damage=cut_at(lambda l: l["members"][1]["data_offset"] + 3000))],
        [expect_exit_code(4), expect_some_dialog_mentions("could not be completed"),
         expect_not_activated, expect_marker("screensaver", []), expect_no_crash_dialog]),
    "escaping_suffix": Scenario(
        "a media name suffix that climbs out of the data folder: refused before anything is written",
        lambda h: standard_package(h),
        damaged_runs(ESCAPING_SUFFIX),
        expect_outcomes(ESCAPING_SUFFIX) + [expect_nothing_installed,
                                            expect_no_file(COMMON_APPDATA + r"\Tarrowby\e.wav")]),
    "escaping_name": Scenario(
        "a screen saver name that climbs out of the Windows directory: refused, nothing written; "
        "interactive, with a file of that name in place, refused before the Replace question",
        lambda h: standard_package(h),
        damaged_runs(ESCAPING_NAME) + [Run(damage=set_name(b"..\\..\\Evil"),
                                           answers=[("Error!!!", "OK")])],
        [expect_exit_code_per_run(REFUSED_STATUS, REFUSED_STATUS), expect_no_crash,
         expect_dialogs(refused(UNUSABLE_NAME_TEXT).dialogs, refused(UNUSABLE_NAME_TEXT).dialogs),
         expect_writes([], []), expect_nothing_installed,
         expect_file_bytes(r"C:\Evil.SCR", lambda c: b"an older evil screen saver")],
        prepare=lambda ctx: (ctx.prefix / "drive_c" / "Evil.SCR").write_bytes(b"an older evil screen saver")),
    "device_names": Scenario(
        "screen saver names that Windows takes for devices, also with an extension, blanks or "
        "dots, and names ending in a dot, which Windows drops from the folder: refused, "
        "nothing written",
        lambda h: standard_package(h, media=[]),
        damaged_runs(DEVICE_NAMES + DOTTED_NAMES),
        expect_outcomes(DEVICE_NAMES + DOTTED_NAMES) + [expect_nothing_installed]),
    "name_beyond_ascii_cp932": Scenario(
        "a name holding a byte above 127, on Japanese Windows (code page 932): refused, nothing "
        "written",
        lambda h: standard_package(h, media=[]),
        damaged_runs(NON_ASCII_NAME),
        expect_outcomes(NON_ASCII_NAME) + [expect_nothing_installed],
        locale="ja_JP.UTF-8"),
    "failed_write_compressed": Scenario(
        "the data folder fills up while the compressed data file is written: what was written "
        "is taken back, reported, nothing activated or started, exit status 3",
        lambda h: standard_package(h),
        failed_write_runs(),
        failed_write_checks(NAME + ".dat"),
        prepare=plant_small_data_folder),
    "failed_write_stored": Scenario(
        "the data folder fills up while a stored data file is written: taken back and reported "
        "like the compressed path",
        lambda h: stored_data_package(h),
        failed_write_runs(),
        failed_write_checks(NAME + ".dat"),
        prepare=plant_small_data_folder),
    "failed_write_screen_saver": Scenario(
        "the drive fills up while the screen saver is written into the Windows directory (after "
        "'Disk Full' answered OK): no screen saver left there, nothing else either",
        lambda h: standard_package(h, big_member=0, big_size=40 << 20, media=[]),
        failed_write_runs(("Disk Full", "OK")),
        failed_write_checks(NAME + ".scr"),
        small_disk=True, timeout=120),
    "failed_write_uninstaller": Scenario(
        "the data folder fills up while the uninstaller is written, its Uninstall values "
        "already registered: the key goes with the files",
        failing_at(2),
        failed_write_runs(),
        failed_write_checks("UNINSTAL.EXE"),
        prepare=plant_small_data_folder),
    "failed_write_media": Scenario(
        "the data folder fills up while a media file is written, after the uninstaller: "
        "everything up to it is taken back",
        failing_at(3),
        failed_write_runs(),
        failed_write_checks("FILE0001.WAV"),
        prepare=plant_small_data_folder),
    "many_unsupported_types": Scenario(
        "sixty media files of distinct unsupported types: no overflow, the notice still shown",
        lambda h: standard_package(h, media=[
            Member(random_bytes(100, 200 + i), compress=False, suffix=f".e{i:02d}")
            for i in range(60)]),
        [Run(args="/S", answers=[("Missing support codecs", "Cancel")])],
        [expect_no_crash, expect_installed(), expect_log(), expect_not_activated,
         expect_codec_notice_starts(".e00\r\n.e01\r\n.e02\r\n")]),
    "long_name": Scenario(
        "a 259-character name, which leaves no room for \".scr\": refused, no overflow, nothing "
        "written",
        lambda h: standard_package(h, name="L" * 109, media=[], patched_name="L" * 259),
        damaged_runs(LONG_NAME),
        expect_outcomes(LONG_NAME) + [expect_nothing_installed]),
    "longest_name": Scenario(
        "the longest name lmvpack accepts, 109 bytes: the data file's path is 259 characters "
        "and every file installs",
        lambda h: standard_package(h, name="N" * 109),
        [Run(args="/S")],
        [expect_exit_zero, expect_dialogs([]), expect_installed(), expect_log(),
         expect_uninstall_values(), expect_activated()]),
    "planted_shfolder": Scenario(
        "a SHFOLDER.DLL beside the installer is never loaded",
        lambda h: standard_package(h, media=[]),
        [Run(args="/S")],
        [expect_exit_zero, expect_no_file(r"C:\e2e\markers\planted_shfolder.log"), expect_installed(),
         expect_log()],
        prepare=lambda ctx: shutil.copy2(ctx.prefix / "drive_c" / "e2e" / "bin" / "SHFOLDER.DLL",
                                         ctx.prefix / "drive_c" / "e2e" / "pkg" / "SHFOLDER.DLL")),
}


def smoke(template: Path, stub: Path, work: Path) -> int:
    """The bare stub (no package placed in it) starts under Wine, says that its package is
    damaged or missing, and ends with the status of a refused package. Started where no
    display can be had, it has no title window and ends with the status that says so."""
    folder = work / "smoke"
    if folder.exists():
        shutil.rmtree(folder)
    prefix = folder / "prefix"
    wine_session.copy_prefix(template, prefix)
    (prefix / "drive_c" / "e2e" / "pkg").mkdir(parents=True, exist_ok=True)
    shutil.copy2(stub, prefix / "drive_c" / "e2e" / "pkg" / "lmvstub.exe")
    xvfb = wine_session.Xvfb()
    try:
        results, elapsed = wine_session.drive_installer(
            prefix,
            [wine_session.DriverRun(PKG_DIR + r"\lmvstub.exe", "", [("answer", "Error!!!", "OK")])],
            timeout=60, xvfb=xvfb)
    finally:
        xvfb.stop()
        wine_session.stop_wineserver(prefix, wait=False)
    log = results[0].log if results else None
    code = log.exit_code() if log else None
    print(f"lmvstub.exe exit code {code} after {elapsed:.1f} s")
    problems = [] if code == REFUSED_STATUS else [f"exit code {code}, expected {REFUSED_STATUS}"]
    if log:
        problems += log.unscripted()
        shown = [(d["caption"], d["texts"]) for d in log.dialogs()]
        if shown != [("Error!!!", [DAMAGED_TEXT])]:
            problems.append(f"dialogs {shown}, expected the damaged-or-missing message alone")
    headless = wine_session.run_without_display(prefix, PKG_DIR + r"\lmvstub.exe", "/S")
    print(f"lmvstub.exe /S without a display: exit code {headless}")
    if headless != NO_WINDOW_STATUS:
        problems.append(f"without a display: exit code {headless}, expected {NO_WINDOW_STATUS} "
                        "(no title window, nothing installed)")
    if problems:
        print("\n".join(problems))
        print(log.describe() if log else "the driver logged nothing")
        return 1
    if not os.environ.get("E2E_KEEP"):
        shutil.rmtree(folder, ignore_errors=True)
    return 0



# Install-uninstall round trips with our own uninstaller (a module of their own; it uses the
# definitions above).
import round_trip  # noqa: E402

SCENARIOS.update(round_trip.SCENARIOS)

# Scenarios of the installer on today's Windows: planted libraries and links, the quoted
# uninstall command, a 64-bit Windows 10.
import scenarios_windows  # noqa: E402

SCENARIOS.update(scenarios_windows.SCENARIOS)

# Scenarios of deployment: /UNATTENDED on every path where a silent run shows something.
import scenarios_deployment  # noqa: E402

SCENARIOS.update(scenarios_deployment.SCENARIOS)
