#!/usr/bin/env python3
"""The manual page and the bash completion that the build made say what the built lmvpack
says: every line of its --help and of each command's --help stands in the rendered manual,
under that command and in order, and the completion, run by bash, offers the commands, each
command's options, and for a value or an argument the files of its kind.

  help_pages_test.py --lmvpack PATH --manual lmvpack.1 --completion FILE
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ARGS = None


sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "scripts"))
from lmvpack_help_pages import INSTALLED_DOCUMENTS, as_installed  # noqa: E402


def tool_help(*command: str) -> str:
    """The help as the manual must hold it: the documents where the installed tool has them."""
    return as_installed(subprocess.run(["lmvpack", *command, "--help"], executable=ARGS.lmvpack,
                                       capture_output=True, text=True, check=True).stdout)


def commands() -> list:
    listed = tool_help().split("Subcommands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in listed.splitlines()]


class ManualPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        rendered = subprocess.run(["groff", "-man", "-Tutf8", "-P-cbou", "-ww", ARGS.manual],
                                  capture_output=True, text=True, env=dict(os.environ,
                                                                           LC_ALL="C.UTF-8"))
        cls.warnings = rendered.stderr
        cls.lines = [line.strip() for line in rendered.stdout.splitlines()]

    def test_names_documents_where_the_installed_tool_has_them(self):
        # Made from a build's help, the manual would otherwise carry the build machine's paths.
        named = [line for line in self.lines if ".md" in line]
        self.assertTrue(named)
        for line in named:
            for path in re.findall(r"(?<![\w./])/\S*\.md", line):
                self.assertTrue(path.startswith(INSTALLED_DOCUMENTS), line)

    def test_groff_reads_it_without_a_warning(self):
        self.assertEqual(self.warnings, "")
        self.assertIn("LMVPACK(1)", self.lines[0])

    def expect_in_order(self, help_text: str, start: int) -> int:
        """Every line of help_text among the rendered lines from start on, in order; returns
        where the last one stood."""
        at = start
        for line in help_text.strip("\n").splitlines():
            if not line.strip():
                continue
            try:
                at = self.lines.index(line.strip(), at) + 1
            except ValueError:
                self.fail(f"the manual lacks, after line {start}: {line.strip()!r}")
        return at

    def test_holds_every_line_of_every_help_in_its_section(self):
        top = tool_help()
        self.expect_in_order(top.split("\n", 2)[2], 0)  # the lines after the usage line
        at = self.lines.index("COMMANDS")
        for command in commands():
            with self.subTest(command=command):
                at = self.lines.index(command, at) + 1
                at = self.expect_in_order(tool_help(command), at)


class Completion(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="lmvpack-completion-")
        for name in ("saver.toml", "Setup.exe", "OLD.EXE", "title.png", "notes.txt",
                     "folder/inside.toml"):
            path = Path(self.folder.name) / name
            path.parent.mkdir(exist_ok=True)
            path.write_text("x")

    def tearDown(self):
        self.folder.cleanup()

    def complete(self, *words: str) -> list:
        """What bash offers for the last of `words` after `lmvpack`."""
        script = (f". '{ARGS.completion}'\n"
                  "COMP_WORDS=(lmvpack \"$@\"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
                  "_lmvpack; printf '%s\\n' \"${COMPREPLY[@]}\"\n")
        result = subprocess.run(["bash", "-c", script, "-", *words], cwd=self.folder.name,
                                capture_output=True, text=True, check=True)
        return sorted(line for line in result.stdout.splitlines() if line)

    def test_offers_the_commands_and_each_commands_options(self):
        self.assertEqual(self.complete(""), sorted(commands()))
        self.assertEqual(self.complete("ver"), ["verify"])
        self.assertEqual(self.complete("-"), ["--help", "--version"])
        for command in commands():
            with self.subTest(command=command):
                help_options = set(re.findall(r"(?m)^  (?:-\w,)?(--[\w-]+)", tool_help(command)))
                offered = set(self.complete(command, "--"))
                self.assertEqual(offered, help_options)
        self.assertEqual(self.complete("build", "saver.toml", "--le"), ["--level"])

    def test_offers_the_files_of_each_arguments_kind(self):
        self.assertEqual(self.complete("build", ""), ["folder", "saver.toml"])
        self.assertEqual(self.complete("build", "fo"), ["folder"])
        self.assertEqual(self.complete("build", "folder/"), ["folder/inside.toml"])
        for command in ("list", "verify", "try"):
            self.assertEqual(self.complete(command, ""), ["OLD.EXE", "Setup.exe", "folder"])
        self.assertEqual(self.complete("build", "saver.toml", "--stub", ""),
                         ["OLD.EXE", "Setup.exe", "folder"])
        self.assertEqual(self.complete("build", "saver.toml", "-o", "S"), ["Setup.exe"])
        self.assertEqual(self.complete("preview", "saver.toml", "-o", ""), ["folder", "title.png"])
        self.assertEqual(self.complete("extract", "Setup.exe", "-o", ""), ["folder"])
        self.assertEqual(self.complete("init", ""), ["folder"])
        self.assertEqual(self.complete("sign", "Setup.exe", "--cert", "n"), ["notes.txt"])

    def test_offers_the_words_a_value_takes_and_nothing_for_numbers(self):
        self.assertEqual(self.complete("build", "saver.toml", "--level", ""),
                         ["best", "default", "fast"])
        self.assertEqual(self.complete("encode", "--level", "f"), ["fast"])
        self.assertEqual(self.complete("build", "saver.toml", "-j", ""), [])
        self.assertEqual(self.complete("try", "Setup.exe", "--timeout", ""), [])


def main() -> int:
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--lmvpack", "--manual", "--completion"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    return 0 if unittest.main(argv=[sys.argv[0], *rest], exit=False).result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
