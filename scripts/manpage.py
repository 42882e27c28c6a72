#!/usr/bin/env python3
"""Writes the manual page orvane-pack(1) from the packager's own --help text,
so the two never disagree:
    scripts/manpage.py ORVANE_PACK OUTPUT.1

The first line ("orvane-pack: what it does.") becomes NAME, the "Usage:"
block SYNOPSIS, the "Exit codes:" paragraph EXIT STATUS and everything else
DESCRIPTION, laid out as --help lays it out (its option tables are aligned
by spaces)."""
import subprocess
import sys


def roff_line(line: str) -> str:
    line = line.replace("\\", "\\e")
    # A line starting with a dot or a quote would be read as a request.
    return "\\&" + line if line.startswith((".", "'")) else line


def manpage(help_text: str, version_line: str) -> str:
    lines = help_text.rstrip("\n").split("\n")
    program, _, summary = lines[0].partition(": ")
    synopsis, description, exit_status = [], [], []
    block = description
    for line in lines[1:]:
        if line == "Usage:":
            block = synopsis
            continue
        if block is synopsis and not line.startswith("  "):
            block = description
        if line.startswith("Exit codes:"):
            exit_status.append(line[len("Exit codes:"):].strip())
            continue
        block.append(line.strip() if block is synopsis else line)
    while description and not description[0]:
        description.pop(0)
    out = [f'.TH {program.upper()} 1 "" "{version_line}" "Orvane tools"',
           ".SH NAME", f"{program} \\- {summary.rstrip('.')}",
           ".SH SYNOPSIS", ".nf", *map(roff_line, synopsis), ".fi",
           ".SH DESCRIPTION", ".nf", *map(roff_line, description), ".fi"]
    if exit_status:
        out += [".SH EXIT STATUS", *map(roff_line, exit_status)]
    return "\n".join(out) + "\n"


def main():
    program, output = sys.argv[1], sys.argv[2]
    help_text = subprocess.run([program, "--help"], check=True, capture_output=True,
                               text=True).stdout
    version = subprocess.run([program, "--version"], check=True, capture_output=True,
                             text=True).stdout.strip()
    with open(output, "w") as f:
        f.write(manpage(help_text, version))


if __name__ == "__main__":
    main()
