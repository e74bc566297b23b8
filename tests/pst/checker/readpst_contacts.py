#!/usr/bin/python3
# Extracts the contacts of a PST with libpst's readpst and prints them as JSON.
#
# Usage: readpst_contacts.py FILE [OUTDIR]; exit status 1 when readpst fails.
# Runs `readpst -r -cv -tc -8 -o OUTDIR FILE` (a temporary folder without OUTDIR) and prints
# {"readpst_output", "contacts": [{"folder", "FN", "N", "EMAIL", "NOTE", "ORG", "TITLE",
# "TEL;CELL", "AGENT", "lines"}...]} in the order readpst wrote them: N the list of its
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
        elif line.upper() == "END:VCARD" and card:
            cards.append(card)
            card = None
        elif card and line:
            card["lines"].append(line)
            if key == "AGENT" or agent and key == "FN":
                agent, card["AGENT"] = not agent, unescape(value) if agent else None
            elif key.startswith("TEL") and "CELL" in re.split("[;=,]", key):
                card["TEL;CELL"] = card["TEL;CELL"] or unescape(value)
            elif key == "N":
                card["N"] = [unescape(p) for p in re.split(r"(?<!\\);", value)]
            elif key.split(";")[0] == "EMAIL":
                card["EMAIL"].append(unescape(value))
            elif key in card:
                card[key] = unescape(value)
    return cards


def main(argv):
    with tempfile.TemporaryDirectory() as tmp:
        outdir = argv[2] if len(argv) == 3 else tmp
        os.makedirs(outdir, exist_ok=True)
        r = subprocess.run(["readpst", "-r", "-cv", "-tc", "-8", "-o", outdir, argv[1]],
                           capture_output=True, text=True, check=False)
        contacts = []
        for root, dirs, files in os.walk(outdir):
            dirs.sort()
            for name in sorted(files):
                with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                    contacts += parse_cards(f.read(), os.path.relpath(root, outdir))
    json.dump({"readpst_output": r.stdout + r.stderr, "contacts": contacts}, sys.stdout,
              ensure_ascii=False, indent=1)
    return 0 if r.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
