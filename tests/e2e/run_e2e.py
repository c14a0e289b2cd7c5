#!/usr/bin/env python3
"""Command line of the end-to-end tests (CTest calls it; people can too).

  run_e2e.py template --helpers build/win32 --out DIR [--arch win64]   boot the template prefix
  run_e2e.py smoke    --template DIR --stub EXE --work DIR  the bare stub is refused (status 5),
                                                          and ends with 6 without a display
  run_e2e.py run NAME [NAME...] --template DIR --stub EXE --lmvpack TOOL --work DIR [--keep]
                                              [--stand-in EXE]  that program for every installer
  run_e2e.py mutants --stand-ins DIR --template DIR --stub EXE --lmvpack TOOL --work DIR
                      the refusal scenarios against stand-ins that must fail each of them
  run_e2e.py list [--runs]                                   scenario names
"""

import argparse
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
# The Wine prefix, the display and the GUI driver, shared with scripts/demo_install.py.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "wine"))

import scenario_runner  # noqa: E402
import wine_session  # noqa: E402
import scenarios  # noqa: E402


def cmd_template(args) -> int:
    seconds = wine_session.make_template(Path(args.out), Path(args.helpers), args.arch)
    print(f"template prefix ready in {seconds:.1f} s: {args.out}")
    return 0


def cmd_smoke(args) -> int:
    return scenarios.smoke(Path(args.template), Path(args.stub), Path(args.work))


def cmd_run(args) -> int:
    failed = skipped = 0
    stand_in = Path(args.stand_in) if args.stand_in else None
    for name in args.names:
        start = time.monotonic()
        try:
            problems = scenario_runner.run_scenario(
                name, scenarios.SCENARIOS[name], Path(args.template), Path(args.stub),
                Path(args.lmvpack), Path(args.work), keep=args.keep, stand_in=stand_in)
        except scenario_runner.NeedsRoot as reason:
            print(f"SKIP {name}: {reason}")
            skipped += 1
            continue
        took = time.monotonic() - start
        if problems:
            failed += 1
            print(f"FAIL {name} ({took:.1f} s)")
            for p in problems:
                print(p)
        else:
            print(f"PASS {name} ({took:.1f} s)")
    if failed:
        return 1
    return SKIPPED if skipped == len(args.names) else 0


# CTest's SKIP_RETURN_CODE for the e2e tests.
SKIPPED = 77

# The scenarios that must prove a refusal, and the stand-ins each of them must fail: a program
# that does nothing and ends with 0, and one that overwrites a system library and deletes a
# user's document. Each stand-in names the checks that must be among those that catch it.
REFUSAL_SCENARIOS = ["damaged_packages", "nameless_package", "long_name", "escaping_suffix",
                     "escaping_name", "device_names", "name_beyond_ascii_cp932"]
STAND_INS = {
    "stand_in_idle.exe": {"expect_dialogs"},
    "stand_in_vandal.exe": {"expect_writes", "expect_nothing_deleted"},
}


def cmd_mutants(args) -> int:
    """Every refusal scenario against every stand-in: each run must fail, caught by the checks
    the stand-in names (among others) and by no harness error."""
    fooled = skipped = 0
    for stand_in, must_catch in STAND_INS.items():
        for name in REFUSAL_SCENARIOS:
            caught: dict = {}
            start = time.monotonic()
            # A folder of its own, apart from the scenarios' own runs, removed afterwards: a
            # failing scenario keeps its prefix, and these all fail.
            work = Path(args.work) / "mutants" / Path(stand_in).stem
            try:
                problems = scenario_runner.run_scenario(
                    name, scenarios.SCENARIOS[name], Path(args.template), Path(args.stub),
                    Path(args.lmvpack), work,
                    stand_in=Path(args.stand_ins) / stand_in, caught_by=caught)
            except scenario_runner.NeedsRoot as reason:
                print(f"SKIP {stand_in} vs {name}: {reason}")
                skipped += 1
                continue
            finally:
                shutil.rmtree(work / name, ignore_errors=True)
            took = time.monotonic() - start
            missing = must_catch - set(caught)
            ok = problems and "harness" not in caught and not missing
            verdict = "caught" if ok else "NOT CAUGHT AS REQUIRED"
            print(f"{stand_in} vs {name} ({took:.1f} s): {verdict} by {', '.join(sorted(caught))}"
                  + (f"; missing {sorted(missing)}" if missing else ""))
            for check in sorted(caught):
                print(f"    {check}: {caught[check][0][:300]}"
                      + (f" (+{len(caught[check]) - 1} more)" if len(caught[check]) > 1 else ""))
            if not ok:
                fooled += 1
    print(f"{fooled} of {len(STAND_INS) * len(REFUSAL_SCENARIOS)} stand-in runs not caught as "
          f"required, {skipped} skipped")
    return 1 if fooled else SKIPPED if skipped else 0


def main() -> int:
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    t = sub.add_parser("template")
    t.add_argument("--helpers", required=True)
    t.add_argument("--out", required=True)
    t.add_argument("--arch", choices=("win32", "win64"), default="win32")
    s = sub.add_parser("smoke")
    for p in (s,):
        p.add_argument("--template", required=True)
        p.add_argument("--stub", required=True)
        p.add_argument("--work", required=True)
    r = sub.add_parser("run")
    r.add_argument("names", nargs="+")
    r.add_argument("--template", required=True)
    r.add_argument("--stub", required=True)
    r.add_argument("--lmvpack", required=True)
    r.add_argument("--work", required=True)
    r.add_argument("--keep", action="store_true", help="keep the scenario's prefix even when it passes")
    r.add_argument("--stand-in", help="a program run in place of every installer of the scenario")
    m = sub.add_parser("mutants")
    m.add_argument("--stand-ins", required=True, help="folder of stand_in_idle.exe and stand_in_vandal.exe")
    for option in ("--template", "--stub", "--lmvpack", "--work"):
        m.add_argument(option, required=True)
    lst = sub.add_parser("list")
    lst.add_argument("--runs", action="store_true", help="name:number of installer runs")
    args = parser.parse_args()
    if args.command == "template":
        return cmd_template(args)
    if args.command == "smoke":
        return cmd_smoke(args)
    if args.command == "run":
        return cmd_run(args)
    if args.command == "mutants":
        return cmd_mutants(args)
    if args.runs:
        print("\n".join(f"{name}:{len(s.runs)}" for name, s in scenarios.SCENARIOS.items()))
    else:
        print("\n".join(scenarios.SCENARIOS))
    return 0


if __name__ == "__main__":
    wine_session.exit_with(main, "harness error")
