#!/usr/bin/env python3
"""Counts the tests that ctest skipped in its JUnit reports and says why each was skipped;
names the tests in which the end-to-end harness had to start Wine afresh.

  skipped_tests.py REPORT.xml [REPORT.xml...]

A report that is missing (its ctest run did not get that far) is named as such.
"""

import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path


def reason(case) -> str:
    """The test's own word for why it skipped: run_e2e.py prints "SKIP name: why", GoogleTest
    prints "...: Skipped" and the message on the next line; else ctest's note."""
    output = (case.findtext("system-out") or "").splitlines()
    for i, line in enumerate(output):
        if line.startswith("SKIP "):
            return line.split(": ", 1)[-1]
        if line.rstrip().endswith(": Skipped") and i + 1 < len(output) and output[i + 1].strip():
            return output[i + 1].strip()
    skipped = case.find("skipped")
    return skipped.get("message", "no reason given") if skipped is not None else "no reason given"


# What the harness prints when Wine itself did not start and it starts the prefix afresh.
WINE_RESTART = "harness: Wine did not start"


def main() -> int:
    total = 0
    for report in map(Path, sys.argv[1:]):
        if not report.is_file():
            print(f"{report}: no report (that run did not finish)")
            continue
        cases = list(ElementTree.parse(report).getroot().iter("testcase"))
        skipped = [c for c in cases if c.get("status") == "notrun" or c.find("skipped") is not None]
        total += len(skipped)
        for case in skipped:
            print(f"skipped {case.get('name')} ({report.name}): {reason(case)}")
        for case in cases:
            restarts = (case.findtext("system-out") or "").count(WINE_RESTART)
            if restarts:
                print(f"{case.get('name')}: Wine did not start, started afresh {restarts} time(s)")
    print(f"{total} test{'' if total == 1 else 's'} skipped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
