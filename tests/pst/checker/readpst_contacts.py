#!/usr/bin/python3
# Extracts the contacts of a PST with libpst's readpst and prints them as JSON.
#
# Usage: readpst_contacts.py FILE [OUTDIR]; exit status 1 when readpst fails.
# Runs `readpst -r -cv -tc -8 -o OUTDIR FILE` (a temporary folder without OUTDIR) and prints
# {"readpst_status", "readpst_output", "contacts": [{"folder", "FN", "N", "EMAIL", "NOTE", "ORG",
# "TITLE", "TEL;CELL", "AGENT", "lines"}...]} in the order readpst wrote them: N the list of its
# components, EMAIL the list of addresses, TEL;CELL the first TEL typed cell, absent values null.
# readpst writes the assistant as "AGENT:BEGIN:VCARD" and an FN line with no END: that FN is the
# AGENT, not the card's FN.

import json
import os
import re
import subprocess
import sys
import tempfile


def unescape(value):
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) in "nN" else m.group(1), value)


def parse_cards(text, folder):
    cards, card, agent = [], None, False
    for line in re.sub(r"\r?\n[ \t]", "", text).replace("\r\n", "\n").split("\n"):
        name, _, value = line.partition(":")
        key = name.upper()
        if line.upper() == "BEGIN:VCARD":
            card = dict.fromkeys(("FN", "N", "NOTE", "ORG", "TITLE", "TEL;CELL", "AGENT"))
            card.update(folder=folder, lines=[], EMAIL=[])
        elif card is None or not line:
            continue
        elif line.upper() == "END:VCARD":
            cards.append(card)
            card = None
        else:
            card["lines"].append(line)
            if key == "AGENT" and value.upper() == "BEGIN:VCARD":
                agent = True
            elif agent and key == "FN":
                card["AGENT"], agent = unescape(value), False
            elif key.startswith("TEL") and "CELL" in re.split("[;=,]", key):
                card["TEL;CELL"] = card["TEL;CELL"] or unescape(value)
            elif key == "N":
                card["N"] = [unescape(p) for p in re.split(r"(?<!\\);", value)]
            elif key.split(";")[0] == "EMAIL":
                card["EMAIL"].append(unescape(value))
            elif key in card:
                card[key] = unescape(value)
    return cards


def extract(pst, outdir):
    r = subprocess.run(["readpst", "-r", "-cv", "-tc", "-8", "-o", outdir, pst],
                       capture_output=True, text=True, check=False)
    contacts = []
    for root, dirs, files in os.walk(outdir):
        dirs.sort()
        for name in sorted(files):
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                contacts += parse_cards(f.read(), os.path.relpath(root, outdir))
    return {"readpst_status": r.returncode, "readpst_output": r.stdout + r.stderr,
            "contacts": contacts}


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: readpst_contacts.py FILE [OUTDIR]", file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory() as tmp:
        if len(argv) == 3:
            os.makedirs(argv[2], exist_ok=True)
        result = extract(argv[1], argv[2] if len(argv) == 3 else tmp)
    json.dump(result, sys.stdout, ensure_ascii=False, indent=1)
    return 0 if result["readpst_status"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
