"""Damage for the end-to-end scenarios: edits of a built installer (cut short, header fields
overwritten, member data replaced), changes to a prefix before a run, and what each damaged
installer must come to.
"""

from __future__ import annotations

import struct
from dataclasses import dataclass
from typing import Callable

import wine_session
from expectations import (CAPTION, DAMAGED_TEXT, INCOMPLETE_STATUS, INCOMPLETE_TEXT, NAME,
                          OUTSIDE_TEXT, REFUSED_STATUS, UNUSABLE_NAME_TEXT, dialog, expect_dialogs,
                          expect_no_crash, expect_writes)
from package_sources import header_offsets, random_bytes
from scenario_model import WINDIR, Ctx, Run

def break_web_browser(ctx: Ctx) -> None:
    """Points the http and https handlers at a program that does not exist, so opening a
    page fails (the registry file is read when the prefix's wineserver starts)."""
    reg = ctx.prefix / "system.reg"
    reg.write_text(reg.read_text(encoding="utf-8").replace("recorder_url.exe", "no_browser.exe"),
                   encoding="utf-8")


# The user's font smoothing as the prefix holds it, and the value a test puts in its place:
# "1" reads as on, as "2" does, but no program that switches smoothing writes it back.
FONT_SMOOTHING_LINE = '"FontSmoothing"="2"'
USERS_FONT_SMOOTHING = "1"


def set_users_font_smoothing(ctx: Ctx) -> None:
    """Gives the user a font smoothing value of their own (on), so that a program that writes
    the setting, even back to on, leaves a trace."""
    reg = ctx.prefix / "user.reg"
    text = reg.read_text(encoding="utf-8")
    if FONT_SMOOTHING_LINE not in text:
        raise wine_session.HarnessError(f"the template's user.reg holds no {FONT_SMOOTHING_LINE}")
    reg.write_text(text.replace(FONT_SMOOTHING_LINE,
                                f'"FontSmoothing"="{USERS_FONT_SMOOTHING}"'), encoding="utf-8")


def set_name_suffix(index: int, suffix: bytes) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[1] + 28 * index + 12
        data[at:at + 15] = suffix.ljust(15, b" ")[:15]
    return damage


def set_name(name: bytes) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[0]
        data[at:at + 260] = name.ljust(260, b"\0")[:260]
    return damage


def set_entry_field(index: int, offset: int, value: int) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        at = header_offsets(listing)[1] + 28 * index + offset
        data[at:at + 4] = value.to_bytes(4, "little")
    return damage


def cut_at(where: Callable) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        del data[where(listing):]
    return damage


def resource_section_end(data: bytes) -> int:
    """Where the raw data of the installer's last section, its resources, ends in the file."""
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count, = struct.unpack_from("<H", data, lfanew + 6)
    table = lfanew + 24 + struct.unpack_from("<H", data, lfanew + 20)[0]
    return max(sum(struct.unpack_from("<II", data, table + 40 * i + 16))
               for i in range(count))


# Wine's loader rounds the length of a file up to a whole 512-byte sector before it checks that
# every section's raw data is there (Windows does not round), so a file cut in the last sector
# of its resource section still loads under Wine.
SECTOR = 512


def cut_inside_header_within_the_section(data: bytearray, listing: dict) -> None:
    """Cuts the package inside its header and, as any loader sees it, inside the resource
    section, which reaches past the start of the package by an empty package's worth of
    zeros: 100 bytes into the name, or earlier where the section ends sooner."""
    at = min(header_offsets(listing)[0] + 100, resource_section_end(data) - SECTOR - 1)
    if at < listing["package_offset"]:
        raise wine_session.HarnessError(
            "the stub's resource section ends within a sector of the package's start, so no cut "
            "inside the header lies inside the section as Wine sees it")
    del data[at:]


def fill_member_with_noise(index: int) -> Callable:
    def damage(data: bytearray, listing: dict) -> None:
        m = listing["members"][index]
        data[m["data_offset"]:m["data_offset"] + m["stored_size"]] = random_bytes(m["stored_size"], 99)
    return damage


def drop_terminator(data: bytearray, listing: dict) -> None:
    at = header_offsets(listing)[1] + 28 * len(listing["members"])
    data[at:at + 28] = b"\xff" * 28


def agreement_length_65535(data: bytearray, listing: dict) -> None:
    at = listing["package_offset"]
    data[at:at + 2] = b"\xff\xff"
    del data[at + 4000:]


def plant_existing_screen_saver(ctx: Ctx) -> None:
    path = ctx.prefix / "drive_c" / "windows" / (ctx.package.name + ".SCR")
    path.write_bytes(b"an older screen saver")


@dataclass
class Outcome:
    """What one silent run of a damaged installer must come to: its script's answers, the
    dialogs it shows, its exit status (None: the system refuses to start it) and the files it
    writes (as expect_writes takes one run's files)."""
    answers: list
    dialogs: Callable
    exit_code: int | None
    writes: object  # as one run's files for expect_writes


def refused(text: str) -> Outcome:
    return Outcome([("Error!!!", "OK")],
                   lambda c: [dialog("Error!!!", text, ["OK"], owned=False, pressed="OK")],
                   REFUSED_STATUS, lambda c: [])


LOADER_REFUSES = Outcome([], lambda c: [], None, lambda c: [])


def incomplete_after(index: int, last_name: str | None = None) -> Outcome:
    """The member loop ends after member `index`, which the package cannot supply whole: the
    members up to it are written (and logged), nothing is activated, the user is told.
    last_name: that member's file name when the damage made it a member of its own."""
    def writes(c: Ctx) -> list:
        files = c.package.destinations()[:index + 1]
        if last_name is not None:
            files.append(c.package.shared_folder() + last_name)
        return files + [c.package.shared_folder() + "INSTALL.LOG"]
    return Outcome([(CAPTION, "OK")],
                   lambda c: [dialog(CAPTION, INCOMPLETE_TEXT.format(name=NAME), ["OK"], owned=True,
                                     pressed="OK")],
                   INCOMPLETE_STATUS, writes)


# Whatever the member data hold, the installer writes every member, logs it and makes the
# screen saver the system's (system.ini keeps its time when it already names it).
COMPLETED = Outcome([], lambda c: [], 0,
                    (lambda c: c.package.destinations() + [c.package.shared_folder() + "INSTALL.LOG"],
                     [WINDIR + r"\system.ini"]))


def damaged_runs(damages: list) -> list:
    return [Run(args="/S", damage=damage, answers=outcome.answers,
                loader_refuses=outcome.exit_code is None) for _, damage, outcome in damages]


def expect_outcomes(damages: list) -> list:
    """The checks of a scenario whose runs are damaged_runs(damages)."""
    def expect_exit_codes(ctx: Ctx) -> list:
        out = []
        for i, ((label, _, outcome), r) in enumerate(zip(damages, ctx.results)):
            if outcome.exit_code is not None and r.log.exit_code() != outcome.exit_code:
                out.append(f"run {i + 1} ({label}): exit code {r.log.exit_code()}, expected "
                           f"{outcome.exit_code}")
        return out
    return [expect_exit_codes, expect_no_crash,
            expect_dialogs(*[outcome.dialogs for _, _, outcome in damages]),
            expect_writes(*[outcome.writes for _, _, outcome in damages])]


# Damages that leave the package without a readable header: there is no name to judge, and
# the user is told the package is damaged or missing.
NAMELESS_DAMAGES = [
    # The stub's resource section reaches past the package header (so that a bare stub holds
    # an empty package's worth of zeros): a file cut there ends inside a section, and the
    # system's loader refuses it before the installer runs.
    ("cut inside the header", cut_inside_header_within_the_section, LOADER_REFUSES),
    ("AgreementLength 65535 in a short file", agreement_length_65535, refused(DAMAGED_TEXT)),
]
# Damaged copies of one good installer (silent runs of one scenario), each with what it must
# come to. The system's loader refuses a file cut inside its headers or sections; the
# installer refuses a package it cannot read to the end of its member table; a member the
# package cannot supply whole ends the installation as incomplete; damage inside member data
# that the format cannot notice installs what the package holds.
DAMAGES = [
    ("cut inside the PE headers", cut_at(lambda l: 200), LOADER_REFUSES),
    ("cut inside the resource section before the package",
     cut_at(lambda l: l["package_offset"] - 16), LOADER_REFUSES),
    ("cut inside the member table", cut_at(lambda l: header_offsets(l)[1] + 40),
     refused(DAMAGED_TEXT)),
    ("cut inside the screen saver's data",
     cut_at(lambda l: l["members"][0]["data_offset"] + 5000), incomplete_after(0)),
    ("cut inside the compressed data file",
     cut_at(lambda l: l["members"][1]["data_offset"] + 3000), incomplete_after(1)),
    # The entry after the last member (media member 1) reads as an 0xFF-filled member 4,
    # named by its 15 suffix bytes; its data lie nowhere in the file.
    ("no terminating entry", drop_terminator, incomplete_after(3, "FILE0002" + "\xff" * 15)),
    ("name without NUL", set_name(b"N" * 260), refused(UNUSABLE_NAME_TEXT)),
    # A declared size the decoder does not restore: an empty data file.
    ("UnpackedSize 0xFFFFFFFF", set_entry_field(1, 8, 0xFFFFFFFF), COMPLETED),
    ("DataOffset into the header", set_entry_field(0, 0, 0x200), COMPLETED),
    ("StoredSize past the end", set_entry_field(2, 4, 0x7FFFFFF0), incomplete_after(2)),
    ("compressed stream of random bytes", fill_member_with_noise(1), COMPLETED),
]
ESCAPING_SUFFIX = [("suffix \\..\\..\\..\\e.wav", set_name_suffix(3, b"\\..\\..\\..\\e.wav"),
                    refused(OUTSIDE_TEXT))]
ESCAPING_NAME = [("name ..\\..\\Evil", set_name(b"..\\..\\Evil"), refused(UNUSABLE_NAME_TEXT))]
DEVICE_NAMES = [(f"name {name!r}", set_name(name), refused(UNUSABLE_NAME_TEXT))
                for name in (b"NUL", b"com1.txt", b"Aux. .", b"LPT9 ", b"CON.scr")]
# Names whose folder Windows would create without their last dot, while the log, the screen
# saver's file and the Uninstall key kept it.
DOTTED_NAMES = [(f"name {name!r}", set_name(name), refused(UNUSABLE_NAME_TEXT))
                for name in (b"Mr. T.", b"Aurora.  ")]
# A name beyond ASCII, which a Windows of another code page than 1252 reads as other
# characters (on Japanese Windows "\xe9" is a lead byte that swallows the "\" after it).
NON_ASCII_NAME = [("name 'Caf\xe9' in code page 932", set_name(b"Caf\xe9"),
                   refused(UNUSABLE_NAME_TEXT))]
# The package as built (its name patched to 259 characters): nothing to damage further.
LONG_NAME = [("name of 259 characters", lambda data, listing: None, refused(UNUSABLE_NAME_TEXT))]
