#!/usr/bin/python3
"""Integrity checker for Unicode PST files, written apart from our PST writer.

Usage: pst_check.py [--strict] [--skip-missing] FILE...

Prints one line per finding, "FILE: what (where)". Exit status 0 when every
file is clean, 1 when there are findings, 2 when a file cannot be parsed at all.
Readers such as libpff and libpst skip most of what is checked here (CRCs,
allocation maps, reference counts, ID counters, name-map buckets), while
Outlook relies on all of it. --strict also reports leaked space (blocks no
node references, allocation-map bits set over nothing), which Outlook's own
files contain and which wastes room without damaging anything.
--skip-missing exits with 77 (a skipped test) when a file does not exist.
"""

import os
import struct
import sys
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pst_ndb  # noqa: E402
import pst_ltp  # noqa: E402
import pst_store  # noqa: E402


class Node:
    """One node or subnode: its data blocks (decoded) and its subnodes."""

    def __init__(self, nid, blocks, subnodes, parent=None):
        self.nid = nid
        self.blocks = blocks
        self.subnodes = subnodes  # nid -> Node
        self.parent = parent  # nidParent from the NBT (None for subnodes)


def load_nodes(ndb):
    """Walks every node's data and subnode trees, counting block references."""
    nodes = {}
    for nid, (bid_data, bid_sub, parent) in sorted(ndb.nodes.items()):
        where = "node 0x%X" % nid
        nodes[nid] = Node(nid, ndb.node_data(bid_data, where),
                          load_subnodes(ndb, bid_sub, where), parent)
    return nodes


def load_subnodes(ndb, bid_sub, where):
    out = {}
    for nid, (bid_data, bid_sub2) in ndb.subnodes(bid_sub, where).items():
        w = "%s subnode 0x%X" % (where, nid)
        out[nid] = Node(nid, ndb.node_data(bid_data, w), load_subnodes(ndb, bid_sub2, w))
    return out


def subnode_nids(nodes):
    out = set()
    for node in nodes:
        out.update(node.subnodes)
        out.update(subnode_nids(node.subnodes.values()))
    return out


def check_file(path, strict=False):
    """Returns (findings, parsed): parsed is False when the file is unreadable."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        return ["%s: cannot be read: %s" % (path, e)], False
    return check_data(path, data, strict)


def check_data(path, data, strict=False):
    findings = []

    def report(what, where):
        findings.append("%s: %s (%s)" % (path, what, where))

    try:
        ndb = pst_ndb.Ndb(path, data, report, strict)
    except pst_ndb.Unreadable as e:
        return ["%s: cannot be read: %s" % (path, e)], False
    try:
        ndb.check_header()
        ndb.walk_trees()
        if not ndb.nodes or not ndb.blocks:
            report("the node or block B-tree is empty or unreadable", "ROOT")
            return findings, False
        ndb.check_blocks()
        nodes = load_nodes(ndb)
        ndb.check_refcounts()
        ndb.check_counters(subnode_nids(nodes.values()))
        ndb.check_maps()
        ltp = pst_ltp.Ltp(nodes, report)
        pst_store.check_store(ltp, nodes, report)
    except (struct.error, IndexError, ValueError, RecursionError) as e:
        # Damage this checker did not foresee: the file is at least that broken.
        frame = traceback.extract_tb(e.__traceback__)[-1]
        report("checking stopped on a structure that cannot be parsed: %s: %s"
               % (type(e).__name__, e),
               "in %s line %d" % (os.path.basename(frame.filename), frame.lineno))
        return findings, False
    return findings, True


def main(argv):
    options = {a for a in argv[1:] if a.startswith("--")}
    paths = [a for a in argv[1:] if not a.startswith("--")]
    if not paths or options - {"--strict", "--skip-missing"}:
        print("usage: pst_check.py [--strict] [--skip-missing] FILE...", file=sys.stderr)
        return 2
    strict = "--strict" in options
    missing = [p for p in paths if not os.path.exists(p)]
    if missing and "--skip-missing" in options:
        print("skipped, not found: %s" % " ".join(missing))
        return 77
    status = 0
    for path in paths:
        findings, parsed = check_file(path, strict)
        for line in findings:
            print(line)
        if not parsed:
            status = 2
        elif findings and status == 0:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
