#!/usr/bin/env python3
"""lmvpack's manual page and bash completion, made from the built tool's own --help.

  lmvpack_help_pages.py --lmvpack PATH [--manual lmvpack.1] [--completion FILE]

The build runs this after linking lmvpack, so the manual and the completion say exactly what
the tool's --help says: the manual holds the top-level help and every command's help as the
tool prints them, and the completion offers the commands and each command's options that the
help lists. What a value completes to follows from the words of its help: an installer or a
stub is an .exe, a manifest a .toml, a picture a .png, a folder a folder; the choices of
"effort: fast, default or best" or {fast,default,best} are offered as words; numbers get
nothing; anything else any file.
"""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path


@dataclass
class Option:
    names: list[str]
    value: str | None  # the value's type as the help shows it; None for a flag
    description: str


@dataclass
class Help:
    description: str
    usage: str
    body: list[str]  # every line after the usage line, as printed
    commands: list[tuple[str, str]] = field(default_factory=list)
    options: list[Option] = field(default_factory=list)
    positionals: list[Option] = field(default_factory=list)


class HelpError(Exception):
    pass


# The help names a document where the tool that prints it finds it (in the source tree, for a
# tool run from its build); the manual describes the installed tool, whose documents are here.
INSTALLED_DOCUMENTS = "/usr/share/doc/lmvpack/docs/"
DOCUMENT_PATH = re.compile(r"(?<![\w/])/\S*/docs/(?=[\w.-]+\.md\b)")


def as_installed(help_text: str) -> str:
    return DOCUMENT_PATH.sub(INSTALLED_DOCUMENTS, help_text)


def run_help(lmvpack: str, *command: str) -> str:
    # Named lmvpack, not by its path: the usage lines name the program as it was started.
    env = dict(os.environ, LC_ALL="C")
    result = subprocess.run(["lmvpack", *command, "--help"], executable=lmvpack,
                            capture_output=True, text=True, env=env, timeout=60)
    if result.returncode != 0 or "Usage:" not in result.stdout:
        raise HelpError(f"{lmvpack} {' '.join(command)} --help failed (exit "
                        f"{result.returncode}): {result.stderr.strip()}")
    return as_installed(result.stdout)


def entries_of(lines: list[str]) -> list[tuple[str, str]]:
    """The entries of a section: (name and value, description); CLI11 starts an entry two
    columns in and continues its description on lines indented further."""
    found: list[tuple[str, str]] = []
    for line in lines:
        if line.startswith("  ") and not line.startswith("   "):
            head, _, description = line.strip().partition("  ")
            found.append((head, description.strip()))
        elif line.startswith("   ") and found:
            head, description = found[-1]
            found[-1] = (head, (description + " " + line.strip()).strip())
    return found


def parse_help(text: str) -> Help:
    lines = text.rstrip("\n").split("\n")
    usage_at = next((i for i, line in enumerate(lines) if line.startswith("Usage:")), None)
    if usage_at is None:
        raise HelpError("no Usage: line in the help")
    help_ = Help(description="\n".join(lines[:usage_at]).strip(),
                 usage=lines[usage_at][len("Usage:"):].strip(), body=lines[usage_at + 1:])
    # Sections: a header line "Name:" and its indented entries.
    sections: dict[str, list[str]] = {}
    current = None
    for line in help_.body:
        if re.fullmatch(r"\S.*:", line):
            current = line[:-1]
            sections[current] = []
        elif current is not None and line.startswith("  "):
            sections[current].append(line)
        else:
            current = None
    for name, lines_of in sections.items():
        for head, description in entries_of(lines_of):
            words = head.split(" ")
            if name == "Subcommands":
                help_.commands.append((words[0], description))
            elif words[0].startswith("-") or name == "Positionals":
                value = " ".join(words[1:]) or None
                if value and value.split(" ")[0] in ("REQUIRED", "Excludes:", "Needs:"):
                    value = None
                option = Option(words[0].split(","), value, description)
                if name == "Positionals":
                    help_.positionals.append(option)
                elif option.names[0] not in ("-h", "--help"):
                    help_.options.append(option)
    return help_


# --- the manual page ---------------------------------------------------------------------

def roff_line(text: str) -> str:
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def verbatim(lines: list[str]) -> list[str]:
    while lines and not lines[0].strip():
        lines = lines[1:]
    while lines and not lines[-1].strip():
        lines = lines[:-1]
    return [".nf", *(roff_line(line) for line in lines), ".fi"]


def manual_page(version: str, top: Help, commands: dict[str, Help]) -> str:
    name_line = top.description.split("\n")[0]
    name_line = name_line[len("lmvpack: "):] if name_line.startswith("lmvpack: ") else name_line
    out = [r'.\" lmvpack(1), made by scripts/lmvpack_help_pages.py from lmvpack --help.',
           f'.TH LMVPACK 1 "" "lmvpack {version}" "User Commands"',
           ".SH NAME", roff_line(f"lmvpack - {name_line}"),
           ".SH SYNOPSIS",
           r".B lmvpack", r".I COMMAND", r"[\fIOPTIONS\fR] [\fIARGUMENTS\fR]", ".br",
           r".B lmvpack \-\-help", r"| \fB\-\-version\fR", ".br",
           r".B lmvpack", r".I COMMAND", r".B \-\-help",
           ".SH DESCRIPTION", *verbatim(top.body),
           ".SH COMMANDS"]
    for name, help_ in commands.items():
        out += [f".SS {roff_line(name)}",
                *verbatim([*help_.description.split("\n"), "", f"Usage: {help_.usage}",
                           *help_.body])]
    out += [".SH FILES",
            ".TP", r".I ../share/lmvpack/",
            roff_line("beside the lmvpack program (/usr/share/lmvpack for /usr/bin/lmvpack): "
                      "the installer stub lmvstub.exe, the uninstaller lmvuninst.exe and "
                      "nodata.dat, which build packs, and gui_driver.exe, which try runs "
                      "under Wine."),
            ".SH SEE ALSO",
            roff_line("The documents in /usr/share/doc/lmvpack (beside the Linux archive's "
                      "bin/ in share/doc/lmvpack): README.md, docs/manifest.md (every "
                      "manifest key), docs/signing.md, docs/ci.md, and the Aurora sample in "
                      "samples/aurora."),
            ".BR wine (1),", ".BR osslsigncode (1)."]
    return "\n".join(out) + "\n"


# --- the bash completion -----------------------------------------------------------------

# Words of an option's help and the files its value names, first match first: an installer
# or a stub is an .exe, and so on. A value whose help names no file (a size, a server, an
# environment variable) completes to nothing.
FILE_WORDS = [(".exe", "exe"), ("installer", "exe"), ("png", "png"), ("manifest", "toml"),
              ("toml", "toml"), ("folder", "dir"), ("file", "file"), ("stream", "file"),
              ("pem", "file"), ("pkcs#12", "file")]


def value_kind(option: Option) -> str:
    """What a value completes to: 'words:a b c', 'exe', 'toml', 'png', 'dir', 'file' (any
    file) or 'none'."""
    value = option.value or ""
    choices = re.search(r"\{([^}]*)\}", value)
    if choices:
        return "words:" + " ".join(choices.group(1).split(","))
    if re.match(r"(U?INT|FLOAT|NUMBER)\b", value):
        return "none"
    listed = re.search(r":\s*([a-z]+(?:, [a-z]+)* or [a-z]+)\s*$", option.description)
    if listed:
        return "words:" + " ".join(re.split(r", | or ", listed.group(1)))
    lowered = option.description.lower()
    if "environment variable" in lowered:
        return "none"
    return next((kind for word, kind in FILE_WORDS if word in lowered), "none")


def completion_action(kind: str) -> str:
    if kind.startswith("words:"):
        return f'COMPREPLY=($(compgen -W "{kind[len("words:"):]}" -- "$cur"))'
    if kind == "none":
        return "COMPREPLY=()"
    return f"_lmvpack_files {kind}"


def completion_script(top: Help, commands: dict[str, Help]) -> str:
    out = ["# bash completion for lmvpack, made by scripts/lmvpack_help_pages.py from lmvpack's",
           "# own --help: its commands, each command's options, and for each value or argument",
           "# the files it takes (.toml manifests, .exe installers, folders). Plain bash: it",
           "# needs no bash-completion package.",
           "",
           "# Files of one kind ($1: an extension, dir for folders only, file for any) and the",
           "# folders to find them in.",
           "_lmvpack_files() {",
           "    local f",
           "    COMPREPLY=()",
           "    compopt -o filenames 2>/dev/null",
           "    while IFS= read -r f; do",
           '        if [[ -d $f ]] || { [[ $1 != dir ]] && { [[ $1 == file ]] || '
           '[[ ${f,,} == *."$1" ]]; }; }; then',
           '            COMPREPLY+=("$f")',
           "        fi",
           '    done < <(compgen -f -- "$cur")',
           "}",
           "",
           "_lmvpack() {",
           '    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}',
           '    local command="" i',
           "    for ((i = 1; i < COMP_CWORD; i++)); do",
           '        if [[ ${COMP_WORDS[i]} != -* ]]; then command=${COMP_WORDS[i]}; break; fi',
           "    done",
           '    case "$command" in']
    top_options = " ".join(n for o in top.options for n in o.names if n.startswith("--"))
    out += ['        "")',
            '            if [[ $cur == -* ]]; then',
            f'                COMPREPLY=($(compgen -W "--help {top_options}" -- "$cur"))',
            "            else",
            f'                COMPREPLY=($(compgen -W "{" ".join(commands)}" -- "$cur"))',
            "            fi ;;"]
    for name, help_ in commands.items():
        options = " ".join(n for o in help_.options for n in o.names)
        out.append(f"        {name})")
        valued = [o for o in help_.options if o.value]
        if valued:
            out.append('            case "$prev" in')
            for option in valued:
                out.append(f"                {'|'.join(option.names)}) "
                           f"{completion_action(value_kind(option))}; return ;;")
            out.append("            esac")
        positional = (completion_action(value_kind(help_.positionals[0]))
                      if help_.positionals else "COMPREPLY=()")
        out += ['            if [[ $cur == -* ]]; then',
                f'                COMPREPLY=($(compgen -W "--help {options}" -- "$cur"))',
                "            else",
                f"                {positional}",
                "            fi ;;"]
    out += ["    esac", "}", "complete -F _lmvpack lmvpack"]
    return "\n".join(out) + "\n"


def read_tool(lmvpack: str) -> tuple[str, Help, dict[str, Help]]:
    version = subprocess.run([lmvpack, "--version"], capture_output=True, text=True,
                             timeout=60).stdout.strip()
    if not version.startswith("lmvpack "):
        raise HelpError(f"{lmvpack} --version said {version!r}")
    top = parse_help(run_help(lmvpack))
    if not top.commands:
        raise HelpError("lmvpack --help lists no commands")
    commands = {name: parse_help(run_help(lmvpack, name)) for name, _ in top.commands}
    return version[len("lmvpack "):], top, commands


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lmvpack", required=True)
    parser.add_argument("--manual", type=Path)
    parser.add_argument("--completion", type=Path)
    args = parser.parse_args()
    try:
        version, top, commands = read_tool(args.lmvpack)
    except (HelpError, OSError, subprocess.TimeoutExpired) as failure:
        print(f"lmvpack_help_pages: {failure}", file=sys.stderr)
        return 1
    if args.manual:
        args.manual.write_text(manual_page(version, top, commands))
    if args.completion:
        args.completion.write_text(completion_script(top, commands))
    return 0


if __name__ == "__main__":
    sys.exit(main())
