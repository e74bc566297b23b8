"""Lists, tables and properties layer of a PST (MS-PST), read independently.

Heaps (HN), BTree-on-heap (BTH), property contexts (PC) and table contexts
(TC) are parsed from the decoded data blocks a node owns. Every structural
problem becomes a finding; readers return what could still be read.
"""

import struct

HN_SIG = 0xEC
SIG_TC, SIG_BTH, SIG_PC = 0x7C, 0xB5, 0xBC
ALLOC_MAX = 3580

# Node types whose data must be a heap with a given client signature.
PC_TYPES = {0x02, 0x03, 0x04, 0x05, 0x07, 0x08}
PC_NIDS = {0x21, 0x61}
TC_TYPES = {0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11, 0x12, 0x16, 0x17, 0x18}
# Outlook stores some search-folder contents tables (type 0x10) in another
# heap client format (0xAC); only the plain table form is read here.
SEARCH_TC_SIGS = {SIG_TC, 0xAC}

RAW_TYPES = {0x01, 0x06, 0x1F}

# [MS-OXCDATA] property types a PST may hold.
KNOWN_TYPES = {0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x000A, 0x000B, 0x000D,
               0x0014, 0x001E, 0x001F, 0x0040, 0x0048, 0x00FB, 0x00FD, 0x00FE, 0x0102,
               0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1014, 0x101E, 0x101F,
               0x1040, 0x1048, 0x1102}

FIXED_SIZES = {0x0002: 2, 0x0003: 4, 0x0004: 4, 0x000A: 4, 0x000B: 1,
               0x0005: 8, 0x0006: 8, 0x0007: 8, 0x0014: 8, 0x0040: 8}


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


class Heap:
    """A heap-on-node over a node's data blocks (MS-PST)."""

    def __init__(self, node, where, report):
        self.node = node
        self.where = where
        self.report = report
        self.allocs = []  # per block: list of (start, end)
        self.client_sig = None
        self.user_root = 0
        self.ok = self._parse()

    def _parse(self):
        blocks = self.node.blocks
        if not blocks or len(blocks[0]) < 12 or blocks[0][2] != HN_SIG:
            self.report("heap signature bSig 0xEC missing", self.where)
            return False
        self.client_sig, self.user_root = blocks[0][3], u32(blocks[0], 4)
        for i, b in enumerate(blocks):
            header = 12 if i == 0 else (66 if i >= 8 and (i - 8) % 128 == 0 else 2)
            self.allocs.append(self._page_map(i, b, header))
        return True

    def _page_map(self, i, b, header):
        where = "%s heap block %d" % (self.where, i)
        if len(b) < header + 4:
            self.report("heap block too short for its header and page map", where)
            return []
        ib = u16(b, 0)
        if ib < header or ib + 4 > len(b) or ib % 2:
            self.report("ibHnpm %d is outside the block or odd" % ib, where)
            return []
        c_alloc = u16(b, ib)
        if ib + 4 + 2 * (c_alloc + 1) > len(b):
            self.report("page map with %d allocations runs past the block" % c_alloc, where)
            return []
        offs = [u16(b, ib + 4 + 2 * k) for k in range(c_alloc + 1)]
        if offs[0] != header or any(x > y for x, y in zip(offs, offs[1:])) or offs[-1] > ib:
            self.report("allocation offsets %s are not ascending from %d to at most ibHnpm %d"
                        % (offs, header, ib), where)
            return []
        out = list(zip(offs, offs[1:]))
        for k, (s, e) in enumerate(out):
            if e - s > ALLOC_MAX:
                self.report("allocation %d holds %d bytes, more than %d" % (k + 1, e - s,
                                                                           ALLOC_MAX), where)
        return out

    def get(self, hid, what):
        """Bytes of an allocation; None (with a finding) when hid is not valid."""
        if hid & 0x1F:
            self.report("%s: 0x%X is not a heap id" % (what, hid), self.where)
            return None
        block, index = hid >> 16, (hid >> 5) & 0x7FF
        if block >= len(self.allocs) or not 1 <= index <= len(self.allocs[block]):
            self.report("%s: heap id 0x%X points to no allocation" % (what, hid), self.where)
            return None
        s, e = self.allocs[block][index - 1]
        return bytes(self.node.blocks[block][s:e])

    def value(self, hnid, what):
        """A heap id or, with type bits set, a subnode of the same node."""
        if hnid == 0:
            return b""
        if hnid & 0x1F == 0:
            return self.get(hnid, what)
        sub = self.node.subnodes.get(hnid)
        if sub is None:
            self.report("%s: subnode 0x%X does not exist" % (what, hnid), self.where)
            return None
        return b"".join(sub.blocks)

    def bth(self, hid, what, key_size, data_size):
        """Records of a BTree-on-heap as [(key int, data bytes)], or None."""
        h = self.get(hid, what)
        if h is None:
            return None
        if len(h) < 8 or h[0] != SIG_BTH:
            self.report("%s: BTH header signature 0xB5 missing" % what, self.where)
            return None
        cb_key, cb_ent, levels, root = h[1], h[2], h[3], u32(h, 4)
        if (cb_key, cb_ent) != (key_size, data_size):
            self.report("%s: BTH key/data sizes %d/%d, expected %d/%d"
                        % (what, cb_key, cb_ent, key_size, data_size), self.where)
            return None
        out = []
        if root:
            self._bth_level(root, levels, cb_key, cb_ent, what, out)
        keys = [k for k, _ in out]
        if any(a >= b for a, b in zip(keys, keys[1:])):
            self.report("%s: BTH keys are not in strictly ascending order" % what, self.where)
        return out

    def _bth_level(self, hid, level, cb_key, cb_ent, what, out):
        h = self.get(hid, what)
        if h is None:
            return
        size = cb_key + (4 if level else cb_ent)
        if len(h) % size:
            self.report("%s: BTH record block of %d bytes is not a multiple of %d"
                        % (what, len(h), size), self.where)
        for o in range(0, len(h) - size + 1, size):
            key = int.from_bytes(h[o:o + cb_key], "little")
            if level:
                first = len(out)
                self._bth_level(u32(h, o + cb_key), level - 1, cb_key, cb_ent, what, out)
                if len(out) > first and out[first][0] != key:
                    self.report("%s: BTH index key 0x%X differs from its child's first key"
                                % (what, key), self.where)
            else:
                out.append((key, h[o + cb_key:o + size]))


def property_value(heap, ptype, raw, what):
    """Decoded bytes of one PC or TC value given its stored 4 (or 8) bytes."""
    size = FIXED_SIZES.get(ptype)
    if size is not None and size <= 4:
        return raw[:size]
    if size is not None and len(raw) == 8:
        return raw  # 8-byte value stored inline in a table row
    if len(raw) < 4:
        heap.report("%s: %d bytes cannot hold a value reference" % (what, len(raw)), heap.where)
        return None
    value = heap.value(u32(raw, 0), what)
    problem = None if value is None else value_problem(ptype, value)
    if problem:
        heap.report("%s: %s" % (what, problem), heap.where)
        return None
    return value


def value_problem(ptype, value):
    """Why a variable-size or heap-stored value is malformed, or None."""
    n = len(value)
    if ptype not in KNOWN_TYPES:
        return "unknown property type 0x%04X" % ptype
    size = FIXED_SIZES.get(ptype) or (16 if ptype == 0x0048 else None)
    if size is not None and n != size:
        return "type 0x%04X value of %d bytes, expected %d" % (ptype, n, size)
    if ptype == 0x001F and n % 2:
        return "UTF-16 string of odd length %d" % n
    element = FIXED_SIZES.get(ptype & 0x0FFF) or (16 if ptype == 0x1048 else None)
    if ptype & 0x1000 and element:
        return None if n % element == 0 else "multi-value of %d bytes is not a whole number" \
            " of %d-byte elements" % (n, element)
    if ptype in (0x101E, 0x101F, 0x1102):
        count = u32(value, 0) if n >= 4 else None
        if count is None or 4 + 4 * count > n:
            return "multi-value count does not fit its %d bytes" % n
        offsets = [u32(value, 4 + 4 * i) for i in range(count)] + [n]
        if count and offsets[0] < 4 + 4 * count or offsets != sorted(offsets):
            return "multi-value offsets are not ascending within the value"
        if ptype == 0x101F and any((b - a) % 2 for a, b in zip(offsets, offsets[1:])):
            return "multi-value string of odd length"
    return None


class PropertyContext:
    """{prop id: (type, value bytes)} of a PC (MS-PST)."""

    def __init__(self, heap):
        self.props = {}
        if not heap.ok:
            return
        records = heap.bth(heap.user_root, "property context", 2, 6)
        for key, data in records or []:
            ptype = u16(data, 0)
            value = property_value(heap, ptype, data[2:6], "property 0x%04X" % key)
            if value is not None:
                self.props[key] = (ptype, value)

    def get(self, prop_id):
        entry = self.props.get(prop_id)
        return None if entry is None else entry[1]

    def int32(self, prop_id):
        entry = self.props.get(prop_id)
        return None if entry is None or entry[0] != 0x0003 else u32(entry[1], 0)

    def boolean(self, prop_id):
        entry = self.props.get(prop_id)
        return None if entry is None or entry[0] != 0x000B else bool(entry[1][0])


class TableContext:
    """Columns and rows of a TC (MS-PST); rows are {tag: bytes}."""

    def __init__(self, heap):
        self.heap = heap
        self.columns = []  # (tag, ib, cb, iBit)
        self.rows = []
        self.row_ids = []  # from the row index, in row order
        if heap.ok:
            self._parse()

    def _parse(self):
        heap, where = self.heap, self.heap.where
        info = heap.get(heap.user_root, "TCINFO")
        if info is None or len(info) < 22 or info[0] != SIG_TC:
            heap.report("TCINFO signature 0x7C missing", where)
            return
        c_cols = info[1]
        rgib = self.rgib = struct.unpack_from("<4H", info, 2)
        hid_index, hnid_rows = u32(info, 10), u32(info, 14)
        if u32(info, 18):
            # MS-PST calls this field deprecated, and zero in every new file.
            heap.report("TCINFO hidIndex is 0x%X, not zero" % u32(info, 18), where)
        if len(info) < 22 + 8 * c_cols:
            heap.report("TCINFO too short for %d columns" % c_cols, where)
            return
        self.columns = [struct.unpack_from("<IHBB", info, 22 + 8 * i) for i in range(c_cols)]
        tags = [c[0] for c in self.columns]
        if tags != sorted(tags) or len(set(tags)) != len(tags):
            heap.report("column descriptors are not sorted by tag", where)
        for tag in (0x67F20003, 0x67F30003):
            if tag not in tags:
                heap.report("mandatory column 0x%08X missing" % tag, where)
        for tag, ib, cb, ibit in self.columns:
            want = FIXED_SIZES.get(tag & 0xFFFF, 4)
            band = (0, rgib[0]) if want >= 4 else (rgib[0], rgib[1]) if want == 2 else \
                (rgib[1], rgib[2])
            if cb != want or not band[0] <= ib <= ib + cb <= band[1]:
                heap.report("column 0x%08X (%d bytes at %d) lies outside its size band %s"
                            % (tag, cb, ib, band), where)
            if ibit >= 8 * (rgib[3] - rgib[2]):
                heap.report("column 0x%08X existence bit %d lies outside the bitmap"
                            % (tag, ibit), where)
        if len({c[3] for c in self.columns}) != len(self.columns):
            heap.report("two columns share one existence bit", where)
        index = heap.bth(hid_index, "row index", 4, 4) if hid_index else []
        self._read_rows(rgib[3], hnid_rows, index or [])

    def _read_rows(self, cb_row, hnid_rows, index):
        heap, where = self.heap, self.heap.where
        if cb_row == 0:
            return
        chunks = []
        if hnid_rows & 0x1F:
            sub = heap.node.subnodes.get(hnid_rows)
            if sub is None:
                heap.report("row matrix subnode 0x%X does not exist" % hnid_rows, where)
                return
            chunks = sub.blocks  # rows never straddle blocks
        elif hnid_rows:
            chunks = [heap.get(hnid_rows, "row matrix") or b""]
        matrix = []
        per_block = 8176 // cb_row
        for i, c in enumerate(chunks):
            # Readers locate row n in block n // per_block, so only the last
            # block may hold fewer rows.
            if i + 1 < len(chunks) and len(c) // cb_row != per_block:
                heap.report("row matrix block %d holds %d rows, readers expect %d"
                            % (i, len(c) // cb_row, per_block), where)
            matrix.extend(bytes(c[o:o + cb_row]) for o in range(0, len(c) - cb_row + 1, cb_row))
        by_pos = sorted((pos, key) for key, pos in ((k, u32(d, 0)) for k, d in index))
        if [p for p, _ in by_pos] != list(range(len(by_pos))):
            heap.report("row index positions are not 0..%d" % (len(by_pos) - 1), where)
        if len(matrix) != len(by_pos):
            heap.report("row index lists %d rows, the row matrix holds %d"
                        % (len(by_pos), len(matrix)), where)
        for pos, key in by_pos:
            if pos >= len(matrix):
                continue
            row = self._row(matrix[pos])
            row_id = row.get(0x67F20003, b"")
            row_id = u32(row_id, 0) if len(row_id) == 4 else None
            if row_id != key:
                heap.report("row %d has row id %s, the row index says 0x%X"
                            % (pos, row_id if row_id is None else hex(row_id), key), where)
            self.rows.append(row)
            self.row_ids.append(key)

    def _row(self, raw):
        row = {}
        ceb_start = self.rgib[2]  # the cell-existence bitmap follows the 1-byte cells
        for tag, ib, cb, ibit in self.columns:
            ceb = ceb_start + ibit // 8
            if ceb >= len(raw) or not raw[ceb] & (0x80 >> (ibit % 8)):
                continue
            value = property_value(self.heap, tag & 0xFFFF, raw[ib:ib + cb],
                                   "cell 0x%08X" % tag)
            if value is not None:
                row[tag] = value
        return row


class Ltp:
    """Checks the heaps of every node whose type calls for one."""

    def __init__(self, nodes, report):
        self.nodes = nodes
        self.report = report
        self.pcs = {}  # nid -> PropertyContext of top-level nodes
        self.tcs = {}  # nid -> TableContext of top-level nodes
        self.sub_pcs = {}  # (top-level nid, subnode nid) -> PropertyContext
        self.sub_tcs = {}  # (top-level nid, subnode nid) -> TableContext
        for nid, node in sorted(nodes.items()):
            self._check(node, "node 0x%X" % nid, None)

    def _check(self, node, where, top):
        """top is the nid of the node owning this subnode, None for NBT nodes."""
        t = node.nid & 0x1F
        want = None
        if t in PC_TYPES or (top is None and node.nid in PC_NIDS):
            want = {SIG_PC}
        elif t in TC_TYPES:
            want = {SIG_TC}
        elif t == 0x10:
            want = SEARCH_TC_SIGS
        # Raw nodes (NID lists, big property values) may start with any bytes.
        looks_like_heap = (t not in RAW_TYPES and node.blocks and len(node.blocks[0]) > 3
                           and node.blocks[0][2] == HN_SIG)
        if want or looks_like_heap:
            heap = Heap(node, where, self.report)
            if heap.ok and want and heap.client_sig not in want:
                self.report("heap client signature 0x%02X, expected 0x%02X"
                            % (heap.client_sig, min(want)), where)
            elif heap.ok and heap.client_sig == SIG_PC:
                pc = PropertyContext(heap)
                if top is None:
                    self.pcs[node.nid] = pc
                else:
                    self.sub_pcs[(top, node.nid)] = pc
            elif heap.ok and heap.client_sig == SIG_TC:
                tc = TableContext(heap)
                if top is None:
                    self.tcs[node.nid] = tc
                else:
                    self.sub_tcs[(top, node.nid)] = tc
        for sub_nid, sub in sorted(node.subnodes.items()):
            self._check(sub, "%s subnode 0x%X" % (where, sub_nid),
                        node.nid if top is None else top)
