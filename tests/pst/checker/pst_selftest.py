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
EMPTY = "outlook-empty.pst"
CONTACT_MESSAGE = 0x200024  # a contact in the Contacts folder 0x8142
PERMUTE_ENCODE = pst_ndb._PERMUTE_R


def parse(buf):
    ndb = pst_ndb.Ndb("copy", bytes(buf), lambda what, where: None)
    ndb.walk_trees()
    return ndb


def fix_header(buf):
    struct.pack_into("<I", buf, 4, crc(bytes(buf[8:8 + 471])))
    struct.pack_into("<I", buf, 524, crc(bytes(buf[8:8 + 516])))


def fix_page(buf, ib):
    struct.pack_into("<I", buf, ib + 500, crc(bytes(buf[ib:ib + 496])))


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


def rewrite_block(buf, bid, edit):
    """Applies edit(bytearray) to a block's decoded data and stores it back
    encoded (internal blocks are stored plain), with a fresh CRC, so that only
    the intended damage remains."""
    ndb = parse(buf)
    ib, cb, _ = ndb.blocks[bid]
    plain = bytes(buf[ib:ib + cb])
    external = not bid & 2
    data = bytearray(plain.translate(pst_ndb._PERMUTE_DECODE) if external else plain)
    edit(data)
    buf[ib:ib + cb] = bytes(data).translate(PERMUTE_ENCODE) if external else bytes(data)
    size = (cb + 16 + 63) // 64 * 64
    struct.pack_into("<I", buf, ib + size - 12, crc(bytes(buf[ib:ib + cb])))


def node_block(buf, nid):
    entry, _ = leaf_entry(buf, pst_ndb.PT_NBT, nid)
    return u64(buf, entry + 8)


def replace_once(data, old, new):
    at = bytes(data).find(old)
    assert at >= 0 and bytes(data).find(old, at + 1) < 0, "pattern not unique"
    data[at:at + len(old)] = new


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

    def test_reference_files_pass(self):
        for name in (EMPTY, ONE_CONTACT):
            with self.subTest(name):
                self.assertEqual(self.run_checker(self.load(name)), (0, ""))

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

    def test_block_tree_entries_out_of_order(self):
        buf = self.load()
        bid = node_block(buf, CONTACT_MESSAGE)
        entry, page = leaf_entry(buf, pst_ndb.PT_BBT, bid)
        first = page if entry == page else entry - 24
        a, b = bytes(buf[first:first + 24]), bytes(buf[first + 24:first + 48])
        buf[first:first + 48] = b + a
        fix_page(buf, page)
        self.expect(buf, "keys are not in strictly ascending order")

    def test_subnode_points_to_a_missing_block(self):
        buf = self.load()
        entry, _ = leaf_entry(buf, pst_ndb.PT_NBT, 0x61)
        sub_bid = u64(buf, entry + 16)
        self.assertTrue(sub_bid & 2, "the name map's subnodes hang off an SLBLOCK")
        # The second subnode holds the map's string stream; point it nowhere.
        rewrite_block(buf, sub_bid, lambda d: struct.pack_into("<Q", d, 8 + 24 + 8, 0xFFF4))
        self.expect(buf, "bid 0xFFF4 is referenced but not in the BBT (node 0x61 subnode 0x805F)",
                    "bidNextB 0x12F0 is not above the highest block bid 0xFFF4",
                    # and so the string-named entries lose their names
                    "lies outside the string stream", "bucket", "hash bucket records disagree")

    def test_amap_bit_cleared_under_a_block(self):
        buf = self.load()
        ib, _, _ = parse(buf).blocks[node_block(buf, CONTACT_MESSAGE)]
        unit = (ib - pst_ndb.AMAP_FIRST) // 64
        buf[pst_ndb.AMAP_FIRST + unit // 8] &= ~(0x80 >> (unit % 8)) & 0xFF
        fix_page(buf, pst_ndb.AMAP_FIRST)
        struct.pack_into("<Q", buf, 180 + 20, u64(buf, 180 + 20) + 64)
        fix_header(buf)
        self.expect(buf, "marks offset 0x%X free but it is in use" % ib)

    def test_cref_below_references(self):
        buf = self.load()
        bid = node_block(buf, 0x60D)  # the hierarchy template, shared by many tables
        entry, page = leaf_entry(buf, pst_ndb.PT_BBT, bid)
        struct.pack_into("<H", buf, entry + 18, 1)
        fix_page(buf, page)
        self.expect(buf, "cRef 1 is below the")

    def test_message_moved_in_the_node_index_only(self):
        buf = self.load()
        entry, page = leaf_entry(buf, pst_ndb.PT_NBT, CONTACT_MESSAGE)
        struct.pack_into("<I", buf, entry + 24, 0x8162)  # Journal
        fix_page(buf, page)
        self.expect(buf, "message 0x200024 has no row in this table (folder 0x8162",
                    "row 0x200024 names no message of this owner in the node index (folder 0x8142")

    def test_folder_properties_disagree_with_tables(self):
        cases = [  # (node, prop id, type, old value, new value, findings)
            (0x8142, 0x3602, 0x0003, 2, 3,
             ["PidTagContentCount 3, the contents table has 2",
              "cell 0x36020003 differs from the object's property (folder 0x8022"]),
            (0x8142, 0x3603, 0x0003, 0, 1,
             ["PidTagContentUnreadCount 1, the folder holds 0 unread",
              "cell 0x36030003 differs from the object's property (folder 0x8022"]),
            (0x8142, 0x360A, 0x000B, 0, 1,
             ["PidTagSubfolders True, the folder has 0 child folders",
              "cell 0x360A000B differs from the object's property (folder 0x8022 table 0x802D "
              "row 0x8142)"]),
            (CONTACT_MESSAGE, 0x0E07, 0x0003, 1, 0,
             ["PidTagContentUnreadCount 0, the folder holds 1 unread",
              "cell 0x0E070003 differs from the object's property"]),
        ]
        for nid, prop, ptype, old, new, findings in cases:
            with self.subTest(hex(prop)):
                buf = self.load()
                before, after = (struct.pack("<HHI", prop, ptype, v) for v in (old, new))
                rewrite_block(buf, node_block(buf, nid),
                              lambda d, b=before, a=after: replace_once(d, b, a))
                self.expect(buf, *findings)

    def test_contacts_entry_id_leads_to_a_folder_of_another_class(self):
        buf = self.load()
        rewrite_block(buf, node_block(buf, 0x8142),
                      lambda d: replace_once(d, "IPF.Contact".encode("utf-16-le"),
                                             "IPF.Xontact".encode("utf-16-le")))
        self.expect(buf, "entry ID points to folder 0x8142 of class IPF.Xontact, not IPF.Contact "
                    "(node 0x122 property 0x36D1)", "(node 0x8082 property 0x36D1)",
                    "cell 0x3613001F differs from the object's property (folder 0x8022")

    def test_heap_signature(self):
        buf = self.load()
        rewrite_block(buf, node_block(buf, CONTACT_MESSAGE), lambda d: d.__setitem__(2, 0xED))
        self.expect(buf, "heap signature bSig 0xEC missing (node 0x200024)")

    def test_name_map_bucket_record_misplaced(self):
        buf = self.load()

        def move_record(data):
            # The first record of bucket 0 names LID 0x8550 in GUID slot 4.
            replace_once(data, bytes.fromhex("508500000800b500"),
                         bytes.fromhex("518500000800b500"))

        rewrite_block(buf, node_block(buf, 0x61), move_record)
        self.expect(buf, "bucket 0 lacks the record of property 0x80B5",
                    "bucket 0 holds a record (key 0x8551")

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
