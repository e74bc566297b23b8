#!/usr/bin/python3
"""Self-test of pst_check.py: damages copies of an Outlook-made PST and expects
each damage to be reported.

Usage: pst_selftest.py REFERENCE_DIR
The copies are made in a temporary folder; exit 77 when the reference files
are absent so that ctest reports the test as skipped.
"""

import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import pst_check  # noqa: E402
import pst_ndb  # noqa: E402
from pst_ndb import crc, u32, u64  # noqa: E402

REFERENCE_DIR = None
ONE_CONTACT = "outlook-one-contact.pst"
CONTACT_MESSAGE = 0x200024  # a contact in the Contacts folder 0x8142


def parse(buf):
    ndb = pst_ndb.Ndb("copy", bytes(buf), lambda what, where: None)
    ndb.walk_trees()
    return ndb


def fix_header(buf):
    struct.pack_into("<I", buf, 4, crc(bytes(buf[8:8 + 471])))
    struct.pack_into("<I", buf, 524, crc(bytes(buf[8:8 + 516])))


def leaf_entry(buf, ptype, key):
    """Offset of the B-tree leaf entry with the given key, and its page."""
    ndb = parse(buf)
    size = 32 if ptype == pst_ndb.PT_NBT else 24
    for ib, _, t in ndb.pages:
        if t == ptype and buf[ib + 491] == 0:
            for i in range(buf[ib + 488]):
                read = u32 if ptype == pst_ndb.PT_NBT else u64
                if read(buf, ib + i * size) == key:
                    return ib + i * size, ib
    raise AssertionError("no leaf entry 0x%X" % key)


def node_block(buf, nid):
    entry, _ = leaf_entry(buf, pst_ndb.PT_NBT, nid)
    return u64(buf, entry + 8)


class Damage(unittest.TestCase):
    """Each case damages one structure and expects the matching finding."""

    def run_checker(self, buf):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "damaged.pst")
            with open(path, "wb") as f:
                f.write(buf)
            r = subprocess.run([sys.executable, os.path.join(HERE, "pst_check.py"), path],
                               capture_output=True, text=True, check=False)
        return r.returncode, r.stdout

    def load(self, name=ONE_CONTACT):
        with open(os.path.join(REFERENCE_DIR, name), "rb") as f:
            return bytearray(f.read())

    def expect(self, buf, *texts):
        """Each text must be found, and every finding must be one of them:
        the damage is reported, and nothing else is."""
        rc, out = self.run_checker(buf)
        self.assertEqual(rc, 1, out)
        for text in texts:
            self.assertIn(text, out)
        for line in out.splitlines():
            self.assertTrue(any(text in line for text in texts), "unexpected: " + line)

    def test_header_fields(self):
        cases = [  # (offset, struct format, new value, finding, fix CRCs)
            (100, "<B", 0x55, ("dwCRCPartial", "dwCRCFull"), False),
            (516 + 1, "<B", 0x7F, "dwCRCFull", False),
            (180 + 20, "<Q", 64, "cbAMapFree", True),
            (180 + 68, "<B", 0, "fAMapValid", True),
            (516, "<Q", 4, "bidNextB", True),
            (32, "<Q", 1, "bidNextP", True),
            (44 + 4 * 4, "<I", 0x10001, "rgnid[0x4]", True),
            (180 + 4, "<Q", 271360 - 512, "ibFileEof", True),
        ]
        for offset, fmt, value, finding, fix in cases:
            findings = finding if isinstance(finding, tuple) else (finding,)
            with self.subTest(findings[0]):
                buf = self.load()
                struct.pack_into(fmt, buf, offset, value)
                if fix:
                    fix_header(buf)
                self.expect(buf, *findings)

    def test_block_damage(self):
        bid = node_block(self.load(), CONTACT_MESSAGE)
        ib, cb, _ = parse(self.load()).blocks[bid]
        size = (cb + 16 + 63) // 64 * 64
        # Damaged data also makes the contents-table row disagree with the item.
        cases = [(ib + 20, ("block CRC", "differs from the object's property")),
                 (ib + size - 14, ("block wSig",)), (ib + size - 12, ("block CRC",)),
                 (ib + size - 16, ("trailer cb",)), (ib + size - 4, ("trailer bid",))]
        for offset, findings in cases:
            with self.subTest(findings[0]):
                buf = self.load()
                buf[offset] ^= 0x01
                self.expect(buf, *findings)

    def test_page_damage(self):
        buf = self.load()
        ndb = parse(buf)
        nbt_ib = ndb.nbt_root[1]
        # Byte 487 lies after the entries of the root page, so only the CRC notices.
        for offset, finding in ((nbt_ib + 487, "page CRC"), (nbt_ib + 498, "page wSig")):
            with self.subTest(finding):
                damaged = bytearray(buf)
                damaged[offset] ^= 0x04
                self.expect(damaged, finding)

    def test_random_damage_is_reported_not_crashed_on(self):
        rnd = random.Random(5)
        original = bytes(self.load())
        for _ in range(150):
            buf = bytearray(original)
            for _ in range(rnd.randint(1, 6)):
                pos = rnd.randrange(len(buf))
                buf[pos:pos + 2] = rnd.randbytes(2)
            findings, _ = pst_check.check_data("copy", bytes(buf))
            self.assertFalse([f for f in findings if "checking stopped" in f])

    def test_unreadable_files(self):
        for name, data in (("empty", b""), ("text", b"hello" * 200),
                           ("ansi", b"!BDN" + bytes(6) + b"\x0e\x00" + bytes(600))):
            with self.subTest(name):
                rc, out = self.run_checker(bytearray(data))
                self.assertEqual(rc, 2, out)
                self.assertIn("cannot be read", out)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: pst_selftest.py REFERENCE_DIR", file=sys.stderr)
        sys.exit(2)
    REFERENCE_DIR = sys.argv.pop(1)
    if not os.path.exists(os.path.join(REFERENCE_DIR, ONE_CONTACT)):
        print("reference files not found in %s: skipped" % REFERENCE_DIR)
        sys.exit(77)
    unittest.main(verbosity=1)
