#!/usr/bin/python3
"""Extracts the contacts of a PST with libpst's readpst and prints them as JSON.

Usage: readpst_contacts.py FILE [OUTDIR]

Runs `readpst -r -cv -tc -8 -o OUTDIR FILE` (a temporary folder when OUTDIR is
not given), reads every vCard file readpst wrote and prints
{"readpst_status": int, "readpst_output": text,
 "contacts": [{"folder", "FN", "N", "EMAIL", "NOTE", "ORG", "TITLE", "TEL;CELL", "lines"}...]}
in the order readpst wrote them. N is the list of its components, EMAIL the
list of addresses, "TEL;CELL" the first TEL whose TYPE includes cell (readpst
writes "TEL;TYPE=cell,voice:"), AGENT the assistant's name; absent properties
are null. readpst writes the assistant as "AGENT:BEGIN:VCARD" followed by an
FN line and no END, so that FN is taken as the AGENT, not as the card's FN.
Exit status 1 when readpst fails.
"""

import json
import os
import subprocess
import sys
import tempfile

WANTED = ("FN", "N", "EMAIL", "NOTE", "ORG", "TITLE", "TEL;CELL", "AGENT")


def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            nxt = value[i + 1]
            out.append("\n" if nxt in "nN" else nxt)
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def split_unescaped(value, sep):
    parts, cur, i = [], [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            cur.append(value[i:i + 2])
            i += 2
            continue
        if value[i] == sep:
            parts.append("".join(cur))
            cur = []
        else:
            cur.append(value[i])
        i += 1
    parts.append("".join(cur))
    return parts


def unfold(text):
    lines = []
    for line in text.replace("\r\n", "\n").split("\n"):
        if line[:1] in (" ", "\t") and lines:
            lines[-1] += line[1:]
        elif line:
            lines.append(line)
    return lines


def parse_cards(text, folder):
    cards, card, agent = [], None, False
    for line in unfold(text):
        if line.upper() == "BEGIN:VCARD":
            card = {"folder": folder, "lines": []}
            card.update({k: None for k in WANTED})
            card["EMAIL"] = []
            continue
        if card is None:
            continue
        if line.upper() == "END:VCARD":
            cards.append(card)
            card = None
            continue
        card["lines"].append(line)
        name, _, value = line.partition(":")
        key = name.upper()
        params = key.split(";")
        if key == "AGENT" and value.upper() == "BEGIN:VCARD":
            agent = True
        elif agent and key == "FN":
            card["AGENT"], agent = unescape(value), False
        elif params[0] == "TEL" and "CELL" in key.replace("=", ",").split(","):
            if card["TEL;CELL"] is None:
                card["TEL;CELL"] = unescape(value)
        elif key == "N":
            card["N"] = [unescape(p) for p in split_unescaped(value, ";")]
        elif key.split(";")[0] == "EMAIL":
            card["EMAIL"].append(unescape(value))
        elif key in WANTED:
            card[key] = unescape(value)
    return cards


def extract(pst, outdir):
    r = subprocess.run(["readpst", "-r", "-cv", "-tc", "-8", "-o", outdir, pst],
                       capture_output=True, text=True, check=False)
    contacts = []
    for root, dirs, files in os.walk(outdir):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            contacts.extend(parse_cards(text, os.path.relpath(root, outdir)))
    return {"readpst_status": r.returncode, "readpst_output": r.stdout + r.stderr,
            "contacts": contacts}


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: readpst_contacts.py FILE [OUTDIR]", file=sys.stderr)
        return 2
    if len(argv) == 3:
        os.makedirs(argv[2], exist_ok=True)
        result = extract(argv[1], argv[2])
    else:
        with tempfile.TemporaryDirectory() as tmp:
            result = extract(argv[1], tmp)
    json.dump(result, sys.stdout, ensure_ascii=False, indent=1)
    print()
    return 0 if result["readpst_status"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
