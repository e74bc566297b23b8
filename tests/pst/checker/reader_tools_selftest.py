#!/usr/bin/python3
"""Checks pst_dump.py and readpst_contacts.py against the Outlook-made file whose
contents are known: Contacts holds a distribution list and "contact name 1".

Usage: reader_tools_selftest.py REFERENCE_DIR   (exit 77 when the file is absent)
"""

import json
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PST = None


def run_json(script, *args):
    r = subprocess.run([sys.executable, os.path.join(HERE, script), *args],
                       capture_output=True, text=True, check=False)
    return r.returncode, json.loads(r.stdout) if r.stdout else None


class ReaderTools(unittest.TestCase):
    def test_libpff_dump_lists_folders_and_the_contact(self):
        rc, dump = run_json("pst_dump.py", PST)
        self.assertEqual(rc, 0)
        paths = [f["path"] for f in dump["folders"]]
        self.assertIn("Top of Personal Folders/Contacts", paths)
        self.assertEqual(dump["contacts_folder"], "Top of Personal Folders/Contacts")
        classes = [c["message_class"] for c in dump["contacts"]]
        self.assertEqual(classes, ["IPM.DistList", "IPM.Contact"])
        person = dump["contacts"][1]
        self.assertEqual((person["given_name"], person["surname"], person["display_name"],
                          person["email1"]),
                         ("contact", "1", "contact name 1", "contact1@rjohnson.id.au"))
        self.assertIsNone(person["mobile"])

    def test_readpst_extracts_the_contact(self):
        rc, out = run_json("readpst_contacts.py", PST)
        self.assertEqual(rc, 0, out and out["readpst_output"])
        self.assertEqual(len(out["contacts"]), 1)
        card = out["contacts"][0]
        self.assertEqual(card["folder"], "Personal Folders/Contacts")
        self.assertEqual(card["EMAIL"], ["contact1@rjohnson.id.au"])
        self.assertEqual(card["N"][:2], ["1", "contact"])
        self.assertEqual(card["FN"], "1, contact name")

    def test_unreadable_file_is_an_error(self):
        for script in ("pst_dump.py", "readpst_contacts.py"):
            with self.subTest(script):
                r = subprocess.run([sys.executable, os.path.join(HERE, script), __file__],
                                   capture_output=True, text=True, check=False)
                self.assertEqual(r.returncode, 1)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: reader_tools_selftest.py REFERENCE_DIR", file=sys.stderr)
        sys.exit(2)
    PST = os.path.join(sys.argv.pop(1), "outlook-one-contact.pst")
    if not os.path.exists(PST):
        print("%s not found: skipped" % PST)
        sys.exit(77)
    unittest.main(verbosity=1)
