#!/usr/bin/env python3
"""Command line of the end-to-end tests (CTest calls it; people can too).

  run_e2e.py template --helpers build/win32 --out DIR [--arch win64]   boot the template prefix
  run_e2e.py smoke    --template DIR --stub EXE --work DIR  the bare stub exits with 0
  run_e2e.py run NAME [NAME...] --template DIR --stub EXE --lmvpack TOOL --work DIR [--keep]
  run_e2e.py list [--runs]                                   scenario names
"""

import argparse
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import scenarios  # noqa: E402


def cmd_template(args) -> int:
    seconds = harness.make_template(Path(args.out), Path(args.helpers), args.arch)
    print(f"template prefix ready in {seconds:.1f} s: {args.out}")
    return 0


def cmd_smoke(args) -> int:
    return scenarios.smoke(Path(args.template), Path(args.stub), Path(args.work))


def cmd_run(args) -> int:
    failed = skipped = 0
    for name in args.names:
        start = time.monotonic()
        try:
            problems = scenarios.run_scenario(name, Path(args.template), Path(args.stub),
                                              Path(args.lmvpack), Path(args.work), keep=args.keep)
        except scenarios.NeedsRoot as reason:
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
    lst = sub.add_parser("list")
    lst.add_argument("--runs", action="store_true", help="name:number of installer runs")
    args = parser.parse_args()
    if args.command == "template":
        return cmd_template(args)
    if args.command == "smoke":
        return cmd_smoke(args)
    if args.command == "run":
        return cmd_run(args)
    if args.runs:
        print("\n".join(f"{name}:{len(s.runs)}" for name, s in scenarios.SCENARIOS.items()))
    else:
        print("\n".join(scenarios.SCENARIOS))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except harness.HarnessError as error:
        print(f"harness error: {error}")
        sys.exit(1)
