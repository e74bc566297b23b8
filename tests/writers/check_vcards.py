#!/usr/bin/python3
"""Reads every vCard of a folder with python3-vobject and checks it.

Every card must parse as one vCard with at least the 21 properties every card has, and its name and note must read back
as our writer meant them (the raw line, unescaped by hand, against what vobject decoded). Cards
named in an expectations file must also hold the expected values. vobject treats commas as
separators, so only fields without commas are compared.

usage: check_vcards.py FOLDER [EXPECTED.json]
"""
import json
import os
import quopri
import sys

import vobject


def raw_value(text, prefix):
    """The value of the first line starting with prefix, unescaped as a reader should."""
    for line in text.split("\r\n"):
        name, _, value = line.partition(":")
        if name.split(";")[0] == prefix:
            if "ENCODING=QUOTED-PRINTABLE" in name:
                value = quopri.decodestring(value.encode("utf-8")).decode("utf-8")
            return value.replace("\\;", ";")
    return None


def text_of(card, name):
    item = getattr(card, name, None)
    if item is None:
        return None
    value = item.value
    return value if isinstance(value, str) else value


def check_card(path, expected):
    problems = []
    with open(path, "rb") as handle:
        data = handle.read()
    text = data.decode("utf-8", errors="surrogateescape")
    if data.count(b"\r\n") < 21 or not data.endswith(b"End:VCARD\r\n"):
        problems.append("fewer than 21 CR LF lines, or not ending in End:VCARD")
    try:
        card = vobject.readOne(text)
    except Exception as error:  # vobject raises many kinds
        return [f"vobject cannot parse it: {error}"]
    fn = text_of(card, "fn")
    if fn != raw_value(text, "FN"):
        problems.append(f"FN reads {fn!r}, written {raw_value(text, 'FN')!r}")
    note = text_of(card, "note")
    written_note = raw_value(text, "NOTE")
    if written_note and "," not in written_note and note != written_note:
        problems.append(f"NOTE reads {note!r}, written {written_note!r}")
    if expected:
        checks = {
            "fn": fn,
            "family": card.n.value.family,
            "given": card.n.value.given,
            "email": text_of(card, "email"),
            "cell": next((t.value for t in card.contents.get("tel", [])
                          if "CELL" in str(t.params) or "CELL" in t.singletonparams), None),
            "note": note,
            "title": text_of(card, "title"),
            "url": text_of(card, "url"),
            "org": card.org.value if hasattr(card, "org") else None,
        }
        for key, want in expected.items():
            got = checks[key]
            if key == "org":
                got = [part for part in got if part]
            if got != want:
                problems.append(f"{key} reads {got!r}, expected {want!r}")
    return problems


def main():
    folder = sys.argv[1]
    expectations = {}
    if len(sys.argv) > 2:
        with open(sys.argv[2], encoding="utf-8") as handle:
            expectations = json.load(handle)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".vcf"))
    if not names:
        print(f"no vCards in {folder}")
        return 1
    failures = 0
    found = set()
    for name in names:
        expected = None
        for key, value in expectations.items():
            if name.startswith(value["fn"]):
                expected = value
                found.add(key)
        problems = check_card(os.path.join(folder, name), expected)
        for problem in problems:
            print(f"{name}: {problem}")
        failures += bool(problems)
    missing = set(expectations) - found
    for key in sorted(missing):
        print(f"no vCard for {key}")
    print(f"{len(names)} vCards read, {failures} with problems, {len(missing)} missing")
    return 1 if failures or missing else 0


if __name__ == "__main__":
    sys.exit(main())
