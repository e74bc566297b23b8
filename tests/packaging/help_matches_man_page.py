#!/usr/bin/env python3
# Each manual page renders without a warning and has its NAME line; plumbrae-convert --help,
# --version and its page (the first given), as man shows it, say the same: every option with its
# text, the exit statuses and the version.
# usage: help_matches_man_page.py PLUMBRAE_CONVERT VERSION CONVERT_PAGE [OTHER_PAGE...]
import os, re, subprocess, sys


def run(*command, **env):
    done = subprocess.run(command, capture_output=True, text=True, check=True,
                          env={**os.environ, "LC_ALL": "C.UTF-8", **env})
    return done.stdout, done.stderr


convert, version, pages = sys.argv[1], sys.argv[2], sys.argv[3:]
problems = []
for man_page in pages:
    rendered, warnings = run("man", "--warnings", "-l", man_page, MANWIDTH="1000")
    name = os.path.basename(man_page)[:-2]
    if warnings or not re.search(rf"^ *{name} +- ", rendered, re.M):
        problems.append(f"man -l {man_page} warns or lacks the NAME line: {warnings}")
help_text = run(convert, "--help")[0]
page = " ".join(run("man", "-l", pages[0], MANWIDTH="1000")[0].split())
for option, text in re.findall(r"^ {2}(--[a-z]+(?: [A-Z]+)?) +(\S.*)$", help_text, re.M):
    if f"{option} {text}" not in page:
        problems.append(f"the page lacks the option '{option}' with '{text}'")
statuses = re.findall(r"(\d) ([^;]+?)[.;]", " ".join(help_text.split("Exit status:")[1].split()))
if len(statuses) != 3 or any(f"{code} {text}" not in page for code, text in statuses):
    problems.append(f"the exit statuses differ from the page's: {statuses}")
if run(convert, "--version")[0].strip() != f"plumbrae-convert {version}" or \
        f"plumbrae {version}" not in page:
    problems.append(f"--version or the page's footer does not name version {version}")
sys.exit("\n".join(f"FAIL: {problem}" for problem in problems) or None)
