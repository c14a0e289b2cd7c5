#!/usr/bin/env python3
"""The include rule (scripts/check_includes.py) holds for the tree, and the checker catches
what breaks it: an include that runs from a lower folder to a higher one, an include of test
code from product code, and a source file of lmvpack outside its rooms, each named by its
line.

  include_rule_test.py --checker scripts/check_includes.py --tree SOURCE_DIR
"""
import argparse
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ARGS = None


def run_checker(root: Path) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, str(ARGS.checker), "--root", str(root)],
                          capture_output=True, text=True)


def plant(root: Path, files: dict) -> None:
    for name, text in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(text)


class IncludeRule(unittest.TestCase):
    def test_the_tree_keeps_it(self):
        checked = run_checker(ARGS.tree)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_each_break_is_named_by_its_line(self):
        with tempfile.TemporaryDirectory() as folder:
            root = Path(folder)
            plant(root, {
                # Allowed: a room below, a file beside, a header the build generates.
                "tools/lmvpack/pe/icon_file.h": '#include "tools/lmvpack/support/tool_error.h"\n',
                "tools/lmvpack/support/tool_error.h": '#include "little.h"\n',
                "tools/lmvpack/cli/main.cpp": '#include "tools/lmvpack/trial/wine_trial.h"\n'
                                              '#include "install/installer_state.h"\n',
                "frontend/title.cpp": '#include "install/installer_state.h"\n',
                # Upward, and sideways into a Linux-only room.
                "decode/pump.cpp": '#include <windows.h>\n\n#include "install/installer_state.h"\n',
                "tools/lmvpack/support/atomic_file.cpp":
                    '#include "tools/lmvpack/support/atomic_file.h"\n'
                    '#  include "tools/lmvpack/cli/commands.h"\n',
                "tools/lmvpack/preview/png_writer.cpp":
                    '#include "tools/lmvpack/trial/wine_trial.h"\n',
                # Test code in the product, and a file in no room.
                "package/reading.cpp": '#include "tests/unit/support/test_bytes.h"\n',
                "tools/lmvpack/cmd_winget.cpp": "int x;\n",
            })
            checked = run_checker(root)
        self.assertEqual(checked.returncode, 1)
        lines = checked.stdout.splitlines()
        self.assertEqual(len(lines), 5, checked.stdout)
        expected = [
            ("decode/pump.cpp:3:", "decode/ may not include install/"),
            ("package/reading.cpp:1:", "does not know"),
            ("tools/lmvpack/cmd_winget.cpp:", "no room"),
            ("tools/lmvpack/preview/png_writer.cpp:1:", "preview/ may not include trial/"),
            ("tools/lmvpack/support/atomic_file.cpp:2:", "support/ may not include cli/"),
        ]
        for line, (where, why) in zip(lines, expected):
            self.assertTrue(line.startswith(where), line)
            self.assertIn(why, line)


def main() -> None:
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--checker", type=Path, required=True)
    parser.add_argument("--tree", type=Path, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])


if __name__ == "__main__":
    main()
