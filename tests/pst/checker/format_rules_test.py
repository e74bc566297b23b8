#!/usr/bin/python3
# The checker refuses row matrices laid out otherwise than readers find their rows, heaps
# whose first allocation is not the B-tree header readers take from heap id 0x20, and heap
# blocks whose fill level claims room they do not have, and distribution lists whose member
# properties outgrow 15,000 bytes or whose members stream does not parse or disagrees with them.

import struct
import sys
import unittest

import dist_list_rules as dl
import format_rules
from pst_check import Node


class Findings:
    def __init__(self):
        self.findings = []

    def report(self, what, where, result=None):
        self.findings.append(what)
        return result


def rows(count, size):
    return [struct.pack("<I", n).ljust(size, b"r") for n in range(count)]


def blocks(data, size, pad):
    # Whole rows per block, padded to a full block when `pad`; end to end when size is 1.
    step = 8176 // size * size
    chunks = [data[at:at + step] for at in range(0, len(data), step)]
    return [c.ljust(8176, b"\0") if pad and i + 1 < len(chunks) else c
            for i, c in enumerate(chunks)]


class RowMatrix(unittest.TestCase):
    def test_layouts(self):
        size, written = 126, rows(200, 126)
        whole = b"".join(written)
        for name, chunks, in_subnode, fault in (
                ("padded whole rows", blocks(whole, size, True), True, None),
                ("short blocks", blocks(whole, size, False), True, "holds 8064 bytes"),
                ("rows across blocks", blocks(whole, 1, False), True, "ends inside a row"),
                ("a heap item with part of a row", [whole[:size * 3 - 1]], False,
                 "ends inside a row")):
            with self.subTest(name):
                checker = Findings()
                found = format_rules.row_matrix(checker, size, chunks, in_subnode, "node")
                self.assertEqual(bool(fault), bool(checker.findings), checker.findings)
                if fault:
                    self.assertIn(fault, checker.findings[0])
                elif in_subnode:
                    self.assertEqual(found, written)
        # Row 64 of the packed layout is not where a reader looks for it.
        packed = format_rules.row_matrix(Findings(), size, blocks(whole, 1, False), True, "")
        self.assertNotEqual(packed[64], written[64])


class FirstAllocation(unittest.TestCase):
    def test_the_header_comes_first(self):
        header, values = bytes([0xB5, 2, 6, 0]) + bytes(4), b"v" * 8
        for name, first, root, fault in (("header first", header, 0x20, False),
                                         ("header last", values, 0x40, True)):
            with self.subTest(name):
                second = values if first is header else header
                block = struct.pack("<HBBI", 28, 0xEC, 0xBC, root) + bytes(4) + first + second
                checker = Findings()
                format_rules.first_allocation(checker, Node(0x122, [block], {}),
                                              [[(12, 20), (20, 28)]], 0xBC, "node")
                self.assertEqual(fault, bool(checker.findings), checker.findings)


class FillLevels(unittest.TestCase):
    def test_a_full_block_is_graded_full(self):
        # Block 0 leaves 176 bytes free (grade 10), block 1 leaves 8076 (grade 0).
        for name, levels, fault in (("graded", b"\x0A", False), ("all empty", b"\0", True)):
            with self.subTest(name):
                checker = Findings()
                block = bytes(8) + levels + bytes(8000 - 9)
                format_rules.fill_levels(checker, Node(0x122, [block, bytes(100)], {}), "node")
                self.assertEqual(fault, bool(checker.findings), checker.findings)


def one_off(n):
    texts = "Member %d\0SMTP\0m%d@example.org\0" % (n, n)
    return bytes(4) + dl.ONE_OFF_PROVIDER + b"\0\0\x01\x80" + texts.encode("utf-16-le")


def multi(values):
    offsets = [4 + 4 * len(values) + sum(map(len, values[:i])) for i in range(len(values))]
    return struct.pack("<%dI" % (1 + len(values)), len(values), *offsets) + b"".join(values)


def stream(members, extra=b"", count=None):
    size = sum(map(len, members))
    body = b"".join(struct.pack("<I", len(m)) + m + struct.pack("<I", len(m)) + m +
                    struct.pack("<I", len(extra)) + extra for m in members)
    return struct.pack("<HHIIIIII", 1, 0, 30000, 0, len(members) if count is None else count,
                       size, size, 0) + body + bytes(8)


class DistLists(unittest.TestCase):
    def test_member_properties_and_stream(self):
        every = [one_off(n) for n in range(300)]
        lead = every[:150]
        changed = every[:10] + [one_off(999)] + every[11:]
        for name, props, streamed, fault in (
                ("short list, no stream", every[:20], None, None),
                ("long list in the properties", every, None, "15,000 or more"),
                ("leading members and the stream", lead, stream(every), None),
                ("stream short of its count", lead, stream(every, count=301), "member 301 whole"),
                ("stream with extra bytes", lead, stream(every, b"x"), "member 1 as an entry"),
                ("stream without its terminators", lead, stream(every)[:-8], "two zero words"),
                ("stream and properties disagree", lead, stream(changed), "does not begin")):
            with self.subTest(name):
                pc = {1: (0x1102, multi(props)), 2: (0x1102, multi(props)),
                      3: (0x0003, struct.pack("<I", dl.crc(b"".join(props))))}
                if streamed is not None:
                    pc[4] = (0x0102, streamed)
                checker = Findings()
                dl.check_list(checker, pc, {dl.LID_DL_MEMBERS: 1, dl.LID_DL_ONE_OFF_MEMBERS: 2,
                                            dl.LID_DL_CHECKSUM: 3, dl.LID_DL_STREAM: 4}, "list")
                self.assertEqual(bool(fault), bool(checker.findings), checker.findings)
                if fault:
                    self.assertIn(fault, checker.findings[0])


if __name__ == "__main__":
    sys.exit(unittest.main())
