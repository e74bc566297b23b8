#!/usr/bin/env python3
"""plumbrae-convert --help, --version and its manual page, as man shows it, say the same: every
option with its text, the exit statuses and the version.

usage: help_matches_man_page.py PLUMBRAE_CONVERT MAN_PAGE VERSION
"""
import os
import re
import subprocess
import sys


def run(*command, **env):
    return subprocess.run(command, capture_output=True, text=True, check=True,
                          env={**os.environ, **env}).stdout


def main():
    convert, man_page, version = sys.argv[1:4]
    help_text = run(convert, "--help")
    page = " ".join(run("man", "-l", man_page, MANWIDTH="1000", LC_ALL="C.UTF-8").split())
    problems = []
    for option, text in re.findall(r"^ {2}(--[a-z]+(?: [A-Z]+)?) +(\S.*)$", help_text, re.M):
        if f"{option} {text}" not in page:
            problems.append(f"the page lacks the option '{option}' with '{text}'")
    statuses = re.findall(r"(\d) ([^;]+?)[.;]", " ".join(help_text.split("Exit status:")[1].split()))
    if len(statuses) != 3 or any(f"{code} {text}" not in page for code, text in statuses):
        problems.append(f"the exit statuses differ from the page's: {statuses}")
    if run(convert, "--version").strip() != f"plumbrae-convert {version}" or \
            f"plumbrae {version}" not in page:
        problems.append(f"--version or the page's footer does not name version {version}")
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
