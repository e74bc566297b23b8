#!/usr/bin/python3
"""Measures how many of the values a generated export's contacts hold arrive in each output.

Generates COUNT contact files, queues the contacts (groups, folders and messages left out, so
that any version of the converter can be measured alike), converts them with plumbrae-convert
into all three outputs and reads each back with outside readers (see
tests/writers/zimbra_outputs.py). A value counts for an output when the key table places it
there; it has arrived when the reader finds it in its place.

usage: value_coverage.py PLUMBRAE_CONVERT GENERATE_META_TREE [COUNT]
"""
import collections
import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "writers"))
import zimbra_outputs as z  # noqa: E402


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, generator = argv[1], argv[2]
    count = int(argv[3]) if len(argv) > 3 else 2000
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        subprocess.run([generator, tree, str(count), "9"], check=True, capture_output=True)
        files, contacts = [], []
        for folder, _, names in sorted(os.walk(tree)):
            for name in sorted(names):
                path = os.path.join(folder, name)
                fields = z.read_meta(path)
                if fields is not None:
                    files.append(path)
                    contacts.append(fields)
        placed = collections.Counter()
        arrived = collections.Counter()
        missing = collections.Counter()
        for option, output in (("--vcards", "vcard"), ("--excel", "xls"), ("--pst", "pst")):
            out = os.path.join(work, output)
            subprocess.run([program, option, "--out", out] + files, capture_output=True)
            cards = z.read_vcards(out) if output == "vcard" else None
            rows = (z.read_xls(os.path.join(out, "ZimbraContacts.xls"))
                    if output == "xls" else None)
            items = (z.read_pst(glob.glob(os.path.join(out, "*.pst"))[0])
                     if output == "pst" else None)
            for index, fields in enumerate(contacts):
                for (key, where), ok in z.check_contact(fields, index + 1, cards, rows, items,
                                                        index).items():
                    placed[where] += 1
                    arrived[where] += ok
                    if not ok:
                        missing[(where, key)] += 1
        values = sum(1 for fields in contacts for key, value in fields.items()
                     if key in z.PLACES and value.strip(" "))
        print("%d contacts, %d values of the key table" % (len(contacts), values))
        for where in ("vcard", "xls", "pst"):
            share = 100.0 * arrived[where] / placed[where] if placed[where] else 0.0
            print("%-6s %6d of %6d placed values arrived (%.1f%%)"
                  % (where, arrived[where], placed[where], share))
        for (where, key), n in sorted(missing.items()):
            print("  missing in %s: %s x%d" % (where, key, n))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
