#!/usr/bin/env python3
"""plumbrae-convert --help, --version and its manual page, as man shows it, say the same:
the synopsis, the description, every option with its text, and the exit statuses.

usage: help_matches_man_page.py PLUMBRAE_CONVERT MAN_PAGE VERSION
"""
import os
import re
import subprocess
import sys


def flat(text):
    return " ".join(text.split())


def run(*command, **env):
    result = subprocess.run(command, capture_output=True, text=True,
                            env={**os.environ, **env}, check=False)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({result.returncode}):\n{result.stderr}")
    return result


def sections_of(page):
    """The sections of a rendered page by heading: the lines up to the next heading."""
    sections, name = {}, None
    for line in page.splitlines():
        if re.fullmatch(r"[A-Z][A-Z ]+", line):
            name = line
            sections[name] = ""
        elif name:
            sections[name] += line + "\n"
    return sections


def exit_statuses(text):
    return {status: flat(meaning).rstrip(".")
            for status, meaning in re.findall(r"(?:^|[:;])\s*(\d) ([^;]+)", text)}


def main():
    convert, man_page, version = sys.argv[1:4]
    help_text = run(convert, "--help").stdout
    shown_version = run(convert, "--version").stdout.strip()
    rendered = run("man", "--warnings", "-l", man_page, MANWIDTH="1000", LC_ALL="C.UTF-8")
    problems = []
    if rendered.stderr.strip():
        problems.append(f"man warns about the page:\n{rendered.stderr}")
    page = sections_of(rendered.stdout)

    paragraphs = help_text.split("\n\n")
    usage = flat(paragraphs[0].removeprefix("Usage:"))
    if usage not in [flat(line) for line in page.get("SYNOPSIS", "").splitlines()]:
        problems.append(f"the synopsis lacks the usage line: {usage}")

    description = flat(page.get("DESCRIPTION", "")).lower()
    option_pattern = r"^ {2,7}(--?[a-z-]+(?: [A-Z]+)?)(?: +|\n +)(\S.*)$"
    help_options, help_statuses = {}, {}
    for paragraph in paragraphs[1:]:
        if paragraph.lstrip().startswith("-"):
            help_options.update(re.findall(option_pattern, paragraph, re.M))
        elif paragraph.startswith("Exit status:"):
            help_statuses = exit_statuses(paragraph.removeprefix("Exit status:"))
        elif flat(paragraph).lower() not in description:
            problems.append(f"the description lacks: {flat(paragraph)}")

    man_options = dict(re.findall(option_pattern, page.get("OPTIONS", ""), re.M))
    if help_options != man_options:
        problems.append(f"options differ:\n  --help:   {help_options}\n  man page: {man_options}")
    man_statuses = {status: flat(meaning) for status, meaning in
                    re.findall(r"^ {7}(\d) +(\S.*)$", page.get("EXIT STATUS", ""), re.M)}
    if not help_statuses or help_statuses != man_statuses:
        problems.append(f"exit statuses differ:\n  --help:   {help_statuses}\n"
                        f"  man page: {man_statuses}")

    if shown_version != f"plumbrae-convert {version}":
        problems.append(f"--version shows '{shown_version}', the project is {version}")
    if f"plumbrae {version}" not in rendered.stdout.splitlines()[-1]:
        problems.append(f"the page's footer does not name version {version}")

    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
