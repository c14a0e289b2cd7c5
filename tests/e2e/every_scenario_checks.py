"""The checks every scenario gets, whatever else it checks: each run started (or was refused
by the system as no program, where its damage means that), met only the dialogs its script
answers, and no file the drive held before the scenario is gone at its end."""

from __future__ import annotations

import re

from scenario_model import ERROR_BAD_EXE_FORMAT, Ctx
from wine_session import changed_files

HARNESS_FILES = re.compile(r"e2e/run/")


def expect_nothing_deleted(ctx: Ctx) -> list:
    """No file that the drive held when the scenario began is gone at its end."""
    before, after = ctx.results[0].files_before, ctx.last.files_after
    if before is None or after is None:
        return ["the driver took no stock of the drive's files"]
    _, deleted = changed_files(before, after)
    deleted = [p for p in deleted if not HARNESS_FILES.match(p)]
    return [f"deleted: {deleted}"] if deleted else []


def expect_started(ctx: Ctx) -> list:
    """Each run started, or, where the damage leaves no program, the system refused it as such."""
    out = []
    for i, (run, r) in enumerate(zip(ctx.scenario.runs, ctx.results)):
        error = r.log.start_error()
        if run.loader_refuses and error != ERROR_BAD_EXE_FORMAT:
            out.append(f"run {i + 1}: " + ("the system started it" if error is None else
                                           f"its start failed with error {error}") +
                       f"; expected the system to refuse the file (error {ERROR_BAD_EXE_FORMAT})")
        elif not run.loader_refuses and error is not None:
            out.append(f"run {i + 1}: the installer could not be started (error {error})")
    return out


def expect_only_scripted_dialogs(ctx: Ctx) -> list:
    """Each run met exactly the dialogs its script answers: the driver dismisses any other one
    so that the run ends, but the scenario fails."""
    return [f"run {i + 1}: {p}" for i, r in enumerate(ctx.results) for p in r.log.unscripted()]


# Checked in every scenario, whatever else it checks.
EVERY_SCENARIO = [expect_started, expect_only_scripted_dialogs, expect_nothing_deleted]
