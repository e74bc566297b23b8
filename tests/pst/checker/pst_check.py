#!/usr/bin/python3
# Integrity checker for Unicode PST files, written from MS-PST apart from our writer.
#
# Usage: pst_check.py [--strict] FILE...
# One line per finding, "FILE: what (where)". Exit status 0 when every file is clean, 1 with
# findings, 2 when a file cannot be parsed. Readers
# such as libpff and libpst skip most of what is checked here (CRCs, allocation maps, reference
# counts, name-map buckets, folder counts) while Outlook relies on it. --strict also reports
# leaked space (blocks nobody references, allocation bits over nothing), which Outlook's own
# files contain and which wastes room without damaging anything.

import bisect
import collections
import struct
import sys
import traceback
import zlib

import dist_list_rules
import format_rules

PAGE, AMAP_FIRST, AMAP_RANGE = 512, 0x4400, 0x3E000
PT_BBT, PT_NBT, PT_DL = 0x80, 0x81, 0x86
# (first page, distance, page type) of the AMap, PMap, FMap and FPMap pages.
MAPS = ((AMAP_FIRST, AMAP_RANGE, 0x84), (0x4600, 0x1F0000, 0x83),
        (AMAP_FIRST + 128 * AMAP_RANGE + 0x400, 496 * AMAP_RANGE, 0x82),
        (AMAP_FIRST + 8192 * AMAP_RANGE + 0x600, 31744 * AMAP_RANGE, 0x85))
PC_TYPES, TC_TYPES = {0x02, 0x03, 0x04, 0x05, 0x07, 0x08}, set(range(0x0B, 0x13))
FIXED = {0x0002: 2, 0x0003: 4, 0x0004: 4, 0x000A: 4, 0x000B: 1, 0x0005: 8, 0x0006: 8, 0x0007: 8,
         0x0014: 8, 0x0040: 8, 0x0048: 16}
# [MS-PST] "Minimum PST requirements": nodes every store must hold.
MANDATORY = [0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F, 0x610,
             0x62B, 0x671, 0x692, 0x2223, 0x2226, 0x2227, 0x2230, 0x8022, 0x802D, 0x802E, 0x802F,
             0x8042, 0x804D, 0x804E, 0x804F, 0x8062, 0x806D, 0x806E, 0x806F]
# Properties MS-PST requires of folders, messages and attachments, by node type. (It lists
# PidTagMessageStatus too, but Outlook keeps that in the contents-table row only.)
REQUIRED = {2: [0x3001, 0x3602, 0x3603, 0x360A], 4: [0x001A, 0x0E07, 0x0E08, 0x3007, 0x3008,
                                                     0x300B], 5: [0x0E20, 0x3705]}
REQUIRED.update({3: REQUIRED[2], 8: REQUIRED[4]})
# Entry IDs of the store and its folders, with the container class of the special folders a
# client finds through them (MS-OXOSFLD).
ENTRY_IDS = dict.fromkeys([0x35D8, 0x35E0, 0x35E2, 0x35E3, 0x35E4, 0x35E5, 0x35E6, 0x35E7])
ENTRY_IDS.update({0x36D0: "IPF.Appointment", 0x36D1: "IPF.Contact", 0x36D2: "IPF.Journal",
                  0x36D3: "IPF.StickyNote", 0x36D4: "IPF.Task", 0x36D7: "IPF.Note"})



def unpacker(fmt):
    return lambda b, o: struct.unpack_from(fmt, b, o)[0]


u16, u32, u64 = unpacker("<H"), unpacker("<I"), unpacker("<Q")
# A node: its data blocks in order, its subnodes {nid: Node}, its parent's nid.
Node = collections.namedtuple("Node", "nid blocks subnodes parent", defaults=(None,))


def crc(data):
    # The MS-PST CRC: reflected CRC-32 with initial value 0 and no final XOR.
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def signature(ib, bid):
    v = (ib ^ bid) & 0xFFFFFFFF
    return ((v >> 16) ^ v) & 0xFFFF


Unreadable = type("Unreadable", (Exception,), {})


class Checker:
    def __init__(self, path, data, strict):
        self.path, self.d, self.view, self.strict = path, data, memoryview(data), strict
        self.findings, self.nodes, self.blocks, self.refs = [], {}, {}, {}
        self.extents, self.page_bids, self.pcs, self.tcs = [], [], {}, {}
        self.tc_columns = {}  # where -> column tags of each table context

    def report(self, what, where, result=None):
        self.findings.append("%s: %s (%s)" % (self.path, what, where))
        return result

    # ----- node database: header, B-trees, blocks, data and subnode trees, maps ----------------

    def header(self):
        d = self.d
        if len(d) < 564 or d[:4] != b"!BDN" or not 23 <= u16(d, 10) < 36 or d[513]:
            raise Unreadable("not a Unicode PST with 512-byte pages and no encoding")
        for at, size in ((4, 471), (524, 516)):
            if u32(d, at) != crc(d[8:8 + size]):
                self.report("header CRC does not match the computed one", "offset %d" % at)
        self.eof, self.amap_last, self.amap_free = u64(d, 184), u64(d, 192), u64(d, 200)
        if self.eof != len(d) or self.eof < AMAP_FIRST or (self.eof - AMAP_FIRST) % AMAP_RANGE:
            self.report("ibFileEof %d is not the file size %d ending a whole allocation-map range"
                        % (self.eof, len(d)), "ROOT")
        if d[248] != 2 or u16(d, 8) != 0x4D53 or u16(d, 12) != 19 or d[512] != 0x80:
            self.report("fAMapValid, wMagicClient, wVerClient or bSentinel is wrong", "header")
        self.walk((u64(d, 216), u64(d, 224)), PT_NBT, None, None, None)
        self.walk((u64(d, 232), u64(d, 240)), PT_BBT, None, None, None)

    def page(self, ib, bid, ptype, where):
        if ib % PAGE or ib + PAGE > len(self.d):
            return self.report("page offset 0x%X is not 512-aligned inside the file" % ib, where)
        p, sig = self.d[ib:ib + PAGE], signature(ib, bid) if ptype in (PT_BBT, PT_NBT, PT_DL) else 0
        got, want = struct.unpack_from("<BBHIQ", p, 496), (ptype, ptype, sig, crc(p[:496]), bid)
        if got != want:
            self.report("page trailer (type, type, wSig, CRC, bid) %s, expected %s" % (got, want),
                        where)
        self.extents.append((ib, ib + PAGE, where))
        return p

    def walk(self, bref, ptype, level, lo, hi):
        bid, ib = bref
        where = "%s page bid 0x%X at 0x%X" % ("NBT" if ptype == PT_NBT else "BBT", bid, ib)
        p = self.page(ib, bid, ptype, where)
        if p is None:
            return
        self.page_bids.append(bid)
        n, n_max, size, lvl = p[488:492]
        want = (20, 24) if lvl or ptype == PT_BBT else (15, 32)
        if (n_max, size) != want or n > n_max or (level is not None and (lvl != level or n == 0)):
            self.report("cEnt %d, cEntMax %d, cbEnt %d or cLevel %d does not fit the page"
                        % (n, n_max, size, lvl), where)
            n = min(n, 488 // max(size, 1))
        keys = [(u32 if ptype == PT_NBT else u64)(p, i * size) for i in range(n)]
        if any(a >= b for a, b in zip(keys, keys[1:])) or keys and (
                lo is not None and keys[0] != lo or hi is not None and keys[-1] >= hi):
            self.report("keys not ascending or outside the parent entry's range", where)
        for i, key in enumerate(keys):
            o = i * size
            if lvl:
                self.walk((u64(p, o + 8), u64(p, o + 16)), ptype, lvl - 1, key,
                          keys[i + 1] if i + 1 < n else hi)
            elif ptype == PT_NBT:
                if key in self.nodes or u32(p, o + 4):
                    self.report("nid 0x%X appears twice or has upper bits set" % key, where)
                self.nodes[key] = (u64(p, o + 8), u64(p, o + 16), u32(p, o + 24))
            else:
                if key & 1 or key in self.blocks:
                    self.report("bid 0x%X appears twice or has bit 0 set" % key, where)
                self.blocks[key & ~1] = (u64(p, o + 8), u16(p, o + 16), u16(p, o + 18))

    def check_blocks(self):
        for bid, (ib, cb, _) in sorted(self.blocks.items()):
            where, size = "block bid 0x%X at 0x%X" % (bid, ib), (cb + 16 + 63) // 64 * 64
            if cb > 8176 or ib % 64 or ib < AMAP_FIRST or ib + size > len(self.d):
                self.report("block larger than 8176 bytes, outside the file or not 64-aligned",
                            where)
                continue
            self.extents.append((ib, ib + size, where))
            got = struct.unpack_from("<HHIQ", self.d, ib + size - 16)
            if got != (cb, signature(ib, bid), crc(self.view[ib:ib + cb]), bid):
                self.report("block trailer (cb, wSig, CRC, bid) %s does not match the block" % (got,),
                            where)

    def block(self, bid, where, internal):
        # Counts one reference to bid; returns its (decoded) bytes or None.
        bid &= ~1
        self.refs[bid] = self.refs.get(bid, 0) + 1
        ib, cb, _ = self.blocks.get(bid, (0, 8177, 0))
        if cb > 8176 or ib + cb > len(self.d):
            return self.report("bid 0x%X is referenced but not in the BBT" % bid, where)
        if bool(bid & 2) != internal:
            self.report("bid 0x%X has the wrong internal bit" % bid, where)
        return self.view[ib:ib + cb]

    def data_tree(self, bid, where):
        # The data blocks of a block, XBLOCK or XXBLOCK tree, in order.
        if not bid & 2:
            return [b for b in [self.block(bid, where, False) if bid else None] if b is not None]
        x = self.block(bid, where, True)
        if x is None or len(x) < 8 or x[0] != 1 or x[1] not in (1, 2) or not u16(x, 2) or \
                len(x) != 8 + 8 * u16(x, 2):
            return self.report("bid 0x%X is not a valid XBLOCK/XXBLOCK" % bid, where, [])
        out = []
        for i in range(u16(x, 2)):
            child = u64(x, 8 + 8 * i)
            if bool(child & 2) != (x[1] == 2):
                self.report("XBLOCK bid 0x%X lists bid 0x%X of the wrong kind" % (bid, child), where)
            out += self.data_tree(child, where) if x[1] == 2 else [self.block(child, where, False)]
        out = [b for b in out if b is not None]
        if sum(len(b) for b in out) != u32(x, 4):
            self.report("XBLOCK bid 0x%X lcbTotal %d differs from its data" % (bid, u32(x, 4)), where)
        return out

    def subnode_tree(self, bid, where):
        # {nid: Node} of an SLBLOCK/SIBLOCK tree.
        s = self.block(bid, where, True) if bid else None
        if s is None:
            return {}
        size = 24 if len(s) > 1 and s[1] == 0 else 16
        if len(s) < 8 or s[0] != 2 or s[1] > 1 or len(s) != 8 + size * u16(s, 2):
            return self.report("bid 0x%X is not a valid SLBLOCK/SIBLOCK" % bid, where, {})
        keys, out = [u32(s, 8 + size * i) for i in range(u16(s, 2))], {}
        if any(a >= b for a, b in zip(keys, keys[1:])):
            self.report("subnode block bid 0x%X is not sorted by nid" % bid, where)
        for i, nid in enumerate(keys):
            o, w = 8 + size * i, "%s subnode 0x%X" % (where, nid)
            if size == 16:
                out.update(self.subnode_tree(u64(s, o + 8), where))
            else:
                out[nid] = Node(nid, self.data_tree(u64(s, o + 8), w),
                                self.subnode_tree(u64(s, o + 16), w))
        return out

    def check_counts(self, subnode_nids):
        for bid, (ib, _, cref) in sorted(self.blocks.items()):
            n, where = self.refs.get(bid, 0), "block bid 0x%X at 0x%X" % (bid, ib)
            if cref < n:  # Outlook stores references + 1; fewer frees a block still in use
                self.report("cRef %d is below the %d references found" % (cref, n), where)
            elif n == 0 and self.strict:
                self.report("block is not referenced by any node (leaked)", where)
        d = self.d
        if u64(d, 516) <= max(list(self.blocks) + [0]) or u64(d, 32) <= max(self.page_bids + [0]):
            self.report("bidNextB or bidNextP is not above the highest bid in use", "header")
        for nid in list(self.nodes) + list(subnode_nids):
            if nid >> 5 > u32(d, 44 + 4 * (nid & 0x1F)):
                self.report("rgnid[0x%X] is below the index of nid 0x%X in use"
                            % (nid & 0x1F, nid), "header")

    def check_maps(self):
        amaps, fmaps = {}, {}
        for first, step, ptype in MAPS:
            for ib in range(first, min(self.eof, len(self.d)), step):
                p = self.page(ib, ib, ptype, "map page type 0x%X at 0x%X" % (ptype, ib))
                if ptype in (0x84, 0x82) and p is not None:
                    (amaps if ptype == 0x84 else fmaps)[ib] = p
        for ib, p in fmaps.items():  # each byte: the longest free run of one AMap, at most 255
            start = AMAP_FIRST + (ib - AMAP_FIRST) // AMAP_RANGE * AMAP_RANGE
            runs = [max(map(len, format(int.from_bytes(amaps[a][:496], "big"), "03968b").split("1")))
                    if a in amaps else 0 for a in range(start, start + 496 * AMAP_RANGE, AMAP_RANGE)]
            if p[:496] != bytes(min(255, r) for r in runs):
                self.report("FMap entries are not the longest free runs of their AMaps", "0x%X" % ib)
        if amaps and self.amap_last != max(amaps):
            self.report("ibAMapLast 0x%X is not the last AMap page" % self.amap_last, "ROOT")
        extents, last_end, last = sorted(self.extents), 0, None
        used = bytearray(b"0" * ((len(self.d) + 63) // 64 + AMAP_RANGE // 64))
        for start, end, what in extents:
            if start < last_end:
                self.report("overlaps %s" % last, what)
            last_end, last = max((last_end, last), (end, what))
            used[start // 64:(end + 63) // 64] = b"1" * ((end + 63) // 64 - start // 64)
        units, free, starts = AMAP_RANGE // 64, 0, [e[0] for e in extents]
        for ib, p in sorted(amaps.items()):
            want, marked = int(used[ib // 64:ib // 64 + units], 2), int.from_bytes(p[:496], "big")
            free += units - bin(marked).count("1")
            missing, stray = want & ~marked, marked & ~want
            if missing:  # most significant bit first: the top bit set is the lowest offset
                at = ib + (units - missing.bit_length()) * 64
                what = extents[bisect.bisect_right(starts, at) - 1][2]
                self.report("AMap at 0x%X marks offset 0x%X free but it is in use" % (ib, at), what)
            if stray and self.strict:
                self.report("AMap marks units that nothing uses", "AMap page at 0x%X" % ib)
        if amaps and self.amap_free != free * 64:
            self.report("cbAMapFree %d, the AMaps have %d free bytes" % (self.amap_free, free * 64),
                        "ROOT")

    # ----- heaps, BTrees on heaps, property and table contexts --------------------------------

    def heap(self, node, where):
        # Allocations of a heap-on-node: [[(start, end)...] per block], or None.
        b0 = node.blocks[0] if node.blocks else b""
        if len(b0) < 12 or b0[2] != 0xEC:
            return self.report("heap signature 0xEC missing", where)
        allocs = []
        for i, b in enumerate(node.blocks):
            header = 12 if i == 0 else 66 if i >= 8 and (i - 8) % 128 == 0 else 2
            ib = u16(b, 0) if len(b) >= header + 4 else 0
            count = u16(b, ib) if header <= ib <= len(b) - 4 and ib % 2 == 0 else -1
            offs = [u16(b, ib + 4 + 2 * k) for k in range(count + 1)] \
                if 0 <= count and ib + 6 + 2 * count <= len(b) else []
            if not offs or offs[0] != header or offs != sorted(offs) or offs[-1] > ib or any(
                    e - s > 3580 for s, e in zip(offs, offs[1:])):
                self.report("heap block %d page map is not ascending allocations of at most "
                            "3580 bytes between its header and ibHnpm" % i, where)
            allocs.append(list(zip(offs, offs[1:])))
        return allocs

    def value(self, node, allocs, hnid, what, where):
        if hnid and hnid & 0x1F:
            sub = node.subnodes.get(hnid)
            if sub is None:
                self.report("%s: subnode 0x%X does not exist" % (what, hnid), where)
            return None if sub is None else b"".join(sub.blocks)
        block, index = hnid >> 16, (hnid >> 5) & 0x7FF
        if hnid == 0:
            return b""
        if block >= len(allocs) or not 1 <= index <= len(allocs[block]):
            return self.report("%s: heap id 0x%X points to no allocation" % (what, hnid), where)
        s, e = allocs[block][index - 1]
        return bytes(node.blocks[block][s:e])

    def bth(self, node, allocs, hid, sizes, what, where):
        # [(key, data bytes)] of a BTree-on-heap with the given key and data sizes.
        h = self.value(node, allocs, hid, what, where)
        if not h or len(h) < 8 or h[0] != 0xB5 or (h[1], h[2]) != sizes:
            return self.report("%s: no BTH header with key/data sizes %s" % (what, sizes), where, [])
        out = []

        def level(hid, depth):
            rec = self.value(node, allocs, hid, what, where) or b""
            size = h[1] + (4 if depth else h[2])
            if len(rec) % size:
                self.report("%s: BTH records are not whole" % what, where)
            for o in range(0, len(rec) - size + 1, size):
                key, first = int.from_bytes(rec[o:o + h[1]], "little"), len(out)
                if depth:
                    level(u32(rec, o + h[1]), depth - 1)
                    if len(out) > first and out[first][0] != key:
                        self.report("%s: BTH index key 0x%X is not its child's first" % (what, key),
                                    where)
                else:
                    out.append((key, rec[o + h[1]:o + size]))
        if u32(h, 4):
            level(u32(h, 4), h[3])
        if any(a[0] >= b[0] for a, b in zip(out, out[1:])):
            self.report("%s: BTH keys are not ascending" % what, where)
        return out

    def prop(self, node, allocs, ptype, raw, what, where):
        # The bytes of a property or cell value stored as `raw` (inline or by reference).
        if ptype & 0xEFFF not in list(FIXED) + [0x0D, 0x1E, 0x1F, 0xFB, 0xFD, 0xFE, 0x102]:
            return self.report("%s: unknown property type 0x%04X" % (what, ptype), where)
        size = FIXED.get(ptype)
        if size is not None and (size <= 4 or len(raw) == size):
            return raw[:size]
        v = self.value(node, allocs, u32(raw, 0), what, where)
        n, element = len(v or b""), FIXED.get(ptype & 0xFFF, 1) if ptype & 0x1000 else 1
        if ptype in (0x101F, 0x101E, 0x1102):  # a count, offsets, then the values
            count = u32(v, 0) if n >= 4 else n
            offsets = [4 + 4 * count] + [u32(v, 4 + 4 * i) for i in range(count)] + [n] \
                if 4 + 4 * count <= n else [1, 0]
            element = 1 if offsets == sorted(offsets) else n + 1
        if v is not None and (n != (size or n) or ptype == 0x1F and n % 2 or n % element):
            self.report("%s: malformed value of type 0x%04X (%d bytes)" % (what, ptype, n), where)
        return v

    def ltp(self, node, where, top):
        t = node.nid & 0x1F
        want = 0xBC if t in PC_TYPES or top is None and node.nid in (0x21, 0x61) else \
            0x7C if t in TC_TYPES else None
        if want or t not in (0x01, 0x06, 0x1F) and node.blocks and \
                len(node.blocks[0]) > 3 and node.blocks[0][2] == 0xEC:
            allocs = self.heap(node, where)
            sig = allocs is not None and node.blocks[0][3]
            if allocs is not None:
                format_rules.fill_levels(self, node, where)
            if sig in (0xBC, 0x7C):
                format_rules.first_allocation(self, node, allocs, sig, where)
            if sig and want and sig != want:
                self.report("heap client signature 0x%02X, expected 0x%02X" % (sig, want), where)
            elif sig == 0xBC:
                self.pcs[(top, node.nid)] = self.property_context(node, allocs, where)
            elif sig == 0x7C:
                self.tcs[(top, node.nid)] = self.table_context(node, allocs, where)
        for nid, sub in sorted(node.subnodes.items()):
            self.ltp(sub, "%s subnode 0x%X" % (where, nid), node.nid if top is None else top)

    def property_context(self, node, allocs, where):
        out = {}
        for key, data in self.bth(node, allocs, u32(node.blocks[0], 4), (2, 6), "PC", where):
            v = self.prop(node, allocs, u16(data, 0), data[2:6], "property 0x%04X" % key, where)
            if v is not None:
                out[key] = (u16(data, 0), v)
        return out

    def table_context(self, node, allocs, where):
        # (row ids, rows as {tag: bytes}) of a TC.
        info = self.value(node, allocs, u32(node.blocks[0], 4), "TCINFO", where) or b""
        if len(info) < 22 or info[0] != 0x7C or len(info) < 22 + 8 * info[1]:
            return self.report("TCINFO missing or too short for its columns", where, ([], []))
        rgib, cols = struct.unpack_from("<4H", info, 2), [
            struct.unpack_from("<IHBB", info, 22 + 8 * i) for i in range(info[1])]
        tags = [c[0] for c in cols]
        self.tc_columns[where] = tags
        format_rules.table_info(self, info, cols, where)
        if tags != sorted(set(tags)) or 0x67F20003 not in tags or len({c[3] for c in cols}) < len(
                cols) or u32(info, 18):
            self.report("columns unsorted, sharing a bit or without the row id; or hidIndex set",
                        where)
        for tag, ib, cb, bit in cols:
            want = FIXED.get(tag & 0xFFFF, 4) if FIXED.get(tag & 0xFFFF, 4) <= 8 else 4
            lo, hi = (0, rgib[0]) if want >= 4 else (rgib[0], rgib[1]) if want == 2 else rgib[1:3]
            if cb != want or not lo <= ib <= ib + cb <= hi or bit >= 8 * (rgib[3] - rgib[2]):
                self.report("column 0x%08X lies outside its size band or bitmap" % tag, where)
        index = self.bth(node, allocs, u32(info, 10), (4, 4), "row index", where) \
            if u32(info, 10) else []
        hnid, chunks = u32(info, 14), []
        if hnid & 0x1F:
            chunks = node.subnodes[hnid].blocks if hnid in node.subnodes else []
            if hnid not in node.subnodes:
                self.report("row matrix subnode 0x%X does not exist" % hnid, where)
        elif hnid:
            chunks = [self.value(node, allocs, hnid, "row matrix", where) or b""]
        matrix = format_rules.row_matrix(self, rgib[3], chunks, bool(hnid & 0x1F), where)
        by_pos = sorted((u32(d, 0), key) for key, d in index)
        if [p for p, _ in by_pos] != list(range(len(matrix))):
            self.report("row index positions are not 0..%d" % (len(matrix) - 1), where)
        ids, rows, strangers = [], [], []
        for pos, key in [(p, k) for p, k in by_pos if p < len(matrix)]:
            raw, row = matrix[pos], {}
            for tag, ib, cb, bit in cols:
                if raw[rgib[2] + bit // 8] & (0x80 >> bit % 8):
                    row[tag] = self.prop(node, allocs, tag & 0xFFFF, raw[ib:ib + cb],
                                         "cell 0x%08X" % tag, where)
            if row.get(0x67F20003) != struct.pack("<I", key):
                strangers.append(pos)
            ids.append(key)
            rows.append(row)
        if strangers:
            self.report("%d rows, the first row %d, hold a row id other than the row index's"
                        % (len(strangers), strangers[0]), where)
        return ids, rows

    # ----- the messaging layer: mandatory nodes, messages, folder contents, name-to-ID map -----

    def store(self, nodes):
        for nid in set(MANDATORY) - set(nodes):
            self.report("mandatory node 0x%X is missing" % nid, "NBT")
        members = {}  # table node -> the folders or messages it must list
        for nid, node in sorted(nodes.items()):
            if nid & 0x1F in (2, 3, 4, 8) and nid != 0x122:
                if node.parent & 0x1F != 2 or node.parent not in nodes:
                    self.report("parent 0x%X is not a folder" % node.parent, "node 0x%X" % nid)
                table = node.parent & ~0x1F | {2: 0x0D, 3: 0x0D, 4: 0x0E, 8: 0x0F}[nid & 0x1F]
                members.setdefault(table, []).append(nid)
        for (top, nid), pc in sorted(self.pcs.items(), key=str):
            missing = [hex(p) for p in REQUIRED.get(nid & 0x1F, []) if p not in pc]
            if missing and (top is None) == (nid & 0x1F != 5):
                self.report("required properties missing: %s" % missing, "node 0x%X" % nid)
        for row in self.tcs.get((None, 0x62B), ([], []))[1]:  # receive folders
            if u32(row.get(0x66050003, bytes(4)), 0) not in nodes or row[0x66050003][0] & 0x1F != 2:
                self.report("a receive-folder row names no folder", "table node 0x62B")
        for table in sorted(n & ~0x1F | t for n in nodes if n & 0x1F == 2 for t in (0xD, 0xE, 0xF)):
            ids = self.tcs.get((None, table), ([], None))[0]
            folder = self.pcs.get((None, table & ~0x1F | 2), {})
            prop, want = {0xD: (0x360A, bytes([bool(ids)])), 0xE: (0x3602, struct.pack(
                "<I", len(ids)))}.get(table & 0x1F, (0, None))
            if sorted(ids) != members.get(table, []) or folder.get(prop, (0, want))[1] != want:
                self.report("table rows, PidTagSubfolders or PidTagContentCount disagree with "
                            "the NBT", "table node 0x%X" % table)
        for nid in sorted(n for n in nodes if n & 0x1F in (4, 8)):  # hidden ones are not listed
            listed = [n for n in sorted(nodes[nid].subnodes) if n & 0x1F == 5 and self.pcs.get(
                (nid, n), {}).get(0x7FFE, (0, b"\0"))[1] != b"\1"]
            if sorted(self.tcs.get((nid, 0x671), ([], None))[0]) != listed:
                self.report("attachment table and attachments disagree", "message 0x%X" % nid)
        store = self.pcs.get((None, 0x21), {})
        key, mask = store.get(0x0FF9, (0, b""))[1], u32(store.get(0x35DF, (0, bytes(4)))[1], 0)
        # A client trusts only the special folders whose bit the valid-folder mask sets.
        bits = sum(1 << i for i, p in enumerate((0x35E0, 0, 0x35E2, 0x35E3, 0x35E4, 0x35E5,
                                                  0x35E6, 0x35E7)) if p in store)
        if mask & bits != bits or mask >> 8:
            self.report("valid-folder mask 0x%X leaves out a folder it names" % mask, "node 0x21")
        for (top, nid), pc in sorted(self.pcs.items(), key=str):
            for prop, (t, v) in pc.items() if top is None and nid & 0x1F in (1, 2) else []:
                cls, target = ENTRY_IDS.get(prop), len(v) == 24 and u32(v, 20)
                if prop in ENTRY_IDS and t == 0x102 and (v[:20] != bytes(4) + key or target not in
                                                         nodes or cls and self.pcs.get(
                        (None, target), {}).get(0x3613, (0, b""))[1] != cls.encode("utf-16-le")):
                    self.report("entry ID 0x%04X names no node (or folder of class %s) of this "
                                "store" % (prop, cls), "node 0x%X" % nid)
        for (top, nid), (ids, rows) in sorted(self.tcs.items(), key=str):
            for rid, row in zip(ids, rows):  # row ids describe the row; named ids are per object
                pc = self.pcs.get((top, rid), {})
                if any(t >> 16 not in (0x67F2, 0x67F3) and t < 0x80000000 and pc.get(
                        t >> 16, (0, v))[0] == t & 0xFFFF and pc[t >> 16][1] != v for t, v in row.items()):
                    self.report("row 0x%X differs from the object's properties" % rid,
                                "table node 0x%X" % nid)
        names = self.pcs.get((None, 0x61), {})
        get = lambda p: names.get(p, (0, None))[1]  # noqa: E731
        count, entries, strings = get(0x0001), get(0x0003), get(0x0004) or b""
        if not count or not u32(count, 0) or entries is None or len(entries) % 8:
            return self.report("bucket count or entry stream missing or partial", "name-to-ID map")
        expected = {}
        for pos in range(len(entries) // 8):
            key, field, idx = struct.unpack_from("<IHH", entries, 8 * pos)
            if idx != pos:  # readers take the record position as the index, Outlook wPropIdx
                self.report("entry %d has wPropIdx %d" % (pos, idx), "name-to-ID map")
            if field & 1:
                key = crc(strings[key + 4:key + 4 + u32(strings, key)])
            expected.setdefault(0x1000 + (key ^ field) % u32(count, 0), []).append(
                struct.pack("<IHH", key, field, idx))
        for prop in set(expected) | {p for p in names if 0x1000 <= p < 0x2000}:
            got = get(prop) or b""
            if sorted(got[o:o + 8] for o in range(0, len(got), 8)) != sorted(expected.get(prop, [])):
                self.report("hash bucket 0x%04X disagrees with the entry stream" % prop,
                            "name-to-ID map")

    def run(self):
        self.header()
        if not self.nodes or not self.blocks:
            self.report("the node or block B-tree is empty or unreadable", "ROOT")
            return False
        self.check_blocks()
        nodes = {}
        for nid, (data, sub, parent) in sorted(self.nodes.items()):
            w = "node 0x%X" % nid
            nodes[nid] = Node(nid, self.data_tree(data, w), self.subnode_tree(sub, w), parent)

        def sub_nids(ns):
            return [n for node in ns for n in list(node.subnodes) + sub_nids(node.subnodes.values())]
        self.check_counts(sub_nids(nodes.values()))
        self.check_maps()
        for nid, node in sorted(nodes.items()):
            self.ltp(node, "node 0x%X" % nid, None)
        self.store(nodes)
        format_rules.check_all(self, nodes)
        dist_list_rules.check(self)
        return True


def check_file(path, strict):
    # Returns (findings, parsed).
    try:
        with open(path, "rb") as f:
            checker = Checker(path, f.read(), strict)
        return checker.findings, checker.run()
    except (OSError, Unreadable) as e:
        return ["%s: cannot be read: %s" % (path, e)], False
    except (struct.error, IndexError, ValueError, TypeError, KeyError, RecursionError) as e:
        # Damage not foreseen here: the file is at least that broken.
        line = traceback.extract_tb(e.__traceback__)[-1].lineno
        return checker.findings + ["%s: structure cannot be parsed: %s: %s (line %d)"
                                   % (path, type(e).__name__, e, line)], False


def main(argv):
    options, paths = {a for a in argv[1:] if a[:2] == "--"}, [a for a in argv[1:] if a[:2] != "--"]
    if not paths or options - {"--strict"}:
        print("usage: pst_check.py [--strict] FILE...", file=sys.stderr)
        return 2
    results = [check_file(path, "--strict" in options) for path in paths]
    print("".join(line + "\n" for findings, _ in results for line in findings), end="")
    return max(2 if not parsed else 1 if findings else 0 for findings, parsed in results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
