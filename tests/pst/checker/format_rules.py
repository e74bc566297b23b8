# Rules of the PST format that pst_check.py's walk leaves to this module: the header's fixed and
# reserved fields, the page map and density list, padding in B-tree pages and internal blocks,
# where a heap's first allocation is, how a table's rows are laid into blocks, the table
# templates and the columns every folder table copies from them, the store object, the
# name-to-ID map's streams and the search activity list. RULES.md beside this file lists every
# rule with the check that enforces it.

import struct

BLOCK_DATA = 8176  # bytes of data a block holds: 8192 less its 16-byte trailer
FIRST_HID = 0x20  # block 0, allocation 1: where readers take a heap's B-tree header from
BTH_SIGNATURE = 0xB5
# Free bytes a heap block needs for fill levels 0 to 14 (15: fewer than 8).
FILL_GRADES = (3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8)
ROW_ID, ROW_VERSION = 0x67F2, 0x67F3
# Property ids each table template holds as columns at least (Outlook adds more).
TEMPLATE_COLUMNS = {
    0x60D: {0x0E30, 0x0E33, 0x0E34, 0x0E38, 0x3001, 0x3602, 0x3603, 0x360A, 0x3613, 0x6635,
            0x6636},
    0x60E: {0x0017, 0x001A, 0x0036, 0x0037, 0x0039, 0x0042, 0x0057, 0x0058, 0x0070, 0x0071,
            0x0E03, 0x0E04, 0x0E06, 0x0E07, 0x0E08, 0x0E17, 0x0E30, 0x0E33, 0x0E34, 0x0E38,
            0x0E3C, 0x0E3D, 0x1097, 0x3008, 0x3013, 0x65C6},
    0x60F: {0x001A, 0x0E07, 0x0E17, 0x3001, 0x6800, 0x6803, 0x6805, 0x682F, 0x7003, 0x7004,
            0x7005, 0x7006, 0x7007},
    0x610: {0x0017, 0x001A, 0x0036, 0x0037, 0x0042, 0x0057, 0x0058, 0x0E03, 0x0E04, 0x0E05,
            0x0E06, 0x0E07, 0x0E08, 0x0E17, 0x0E2A, 0x3008, 0x67F1},
    0x671: {0x0E20, 0x3704, 0x3705, 0x370B},
    0x692: {0x0C15, 0x0E0F, 0x0FF9, 0x0FFE, 0x0FFF, 0x3001, 0x3002, 0x3003, 0x300B, 0x3900,
            0x39FF, 0x3A40},
}
# The template each kind of table (by the low five bits of its node id) is made from, and the
# template columns such a table may lack: older Outlook versions made folder contents tables
# without the replication columns, so readers cannot count on those.
TEMPLATE_OF = {0x0D: 0x60D, 0x0E: 0x60E, 0x0F: 0x60F, 0x10: 0x610, 0x11: 0x671, 0x12: 0x692}
OPTIONAL_IN_TABLES = {0x0E30, 0x0E33, 0x0E34, 0x0E38, 0x0E3C, 0x0E3D, 0x3008, 0x3013}
STORE_PROPERTIES = (0x0FF9, 0x3001, 0x35E0, 0x35E3, 0x35E7)


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def u64(b, o):
    return struct.unpack_from("<Q", b, o)[0]


# ----- node database --------------------------------------------------------------------------

def header_fields(c):
    # Fields with one value, and reserved bytes creators must leave zero. (qwUnused, rgbFM,
    # rgbFP and rgbReserved2 are left out: Outlook's own new files hold other values there.)
    d = c.d
    fixed = [((14, 16), b"\1\1", "bPlatformCreate and bPlatformAccess"),
             ((180, 184), bytes(4), "ROOT dwReserved"),
             ((249, 252), bytes(3), "ROOT bReserved and wReserved"),
             ((252, 256), bytes(4), "dwAlign"), ((514, 516), bytes(2), "rgbReserved"),
             ((532, 564), bytes(32), "rgbReserved3")]
    for (start, end), want, what in fixed:
        if d[start:end] != want:
            c.report("%s must be %s" % (what, want[:4].hex() + ("..." if len(want) > 4 else "")),
                     "header")


def density_list(c):
    # The density list, when there is one, is a whole page listing allocation maps of this file.
    p = c.d[0x4200:0x4400]
    if len(p) < 512 or p[496] != 0x86:
        return
    from pst_check import crc, signature
    bid = u64(p, 504)
    want = (0x86, 0x86, signature(0x4200, bid), crc(p[:496]))
    if struct.unpack_from("<BBHI", p, 496) != want:
        c.report("density list trailer (type, type, wSig, CRC) is wrong", "DList at 0x4200")
    flags, count, current = p[0], p[1], u32(p, 4)
    maps = max(1, (c.eof - 0x4400 + 0x3E000 - 1) // 0x3E000)
    entries = [u32(p, 8 + 4 * i) & 0xFFFFF for i in range(min(count, 119))]
    if flags > 1 or count > 119 or (count and current >= maps) or any(e >= maps for e in entries):
        c.report("density list flags, count or page numbers are out of range", "DList at 0x4200")


def btree_padding(c):
    # B-tree pages end in padding that must be zero. (Outlook leaves other bytes in the padding
    # of leaf entries, so readers cannot count on those.)
    def walk(ib, depth):
        p = c.d[ib:ib + 512]
        if len(p) < 512 or depth > 8:
            return
        n, _, size, level = p[488:492]
        if u32(p, 492):
            c.report("B-tree page dwPadding is not zero", "page at 0x%X" % ib)
        for i in range(min(n, 488 // max(size, 1)) if level else 0):
            walk(u64(p, i * size + 16), depth + 1)
    walk(u64(c.d, 224), 0)
    walk(u64(c.d, 240), 0)


def internal_blocks(c):
    # XXBLOCKs list XBLOCKs and SIBLOCKs list SLBLOCKs, each keyed by its child's first node;
    # subnode blocks carry zero padding.
    def data(bid):
        ib, cb, _ = c.blocks.get(bid & ~1, (0, 0, 0))
        return bytes(c.d[ib:ib + cb]) if cb >= 8 else b""
    for bid in sorted(b for b in c.blocks if b & 2):
        x, where = data(bid), "internal block bid 0x%X" % bid
        if len(x) < 8:
            continue
        if x[0] == 2 and u32(x, 4):
            c.report("subnode block dwPadding is not zero", where)
        if x[0] == 1 and x[1] == 2:
            kids = [data(u64(x, 8 + 8 * i)) for i in range(u16(x, 2))]
            if any(k[:2] != b"\1\1" for k in kids):
                c.report("XXBLOCK lists a block that is not an XBLOCK", where)
        if x[0] == 2 and x[1] == 1:
            for i in range(min(u16(x, 2), (len(x) - 8) // 16)):
                kid = data(u64(x, 16 + 16 * i))
                if kid[:2] != b"\2\0" or len(kid) < 16 or u32(kid, 8) != u32(x, 8 + 16 * i):
                    c.report("SIBLOCK entry %d is not keyed by the first node of an SLBLOCK" % i,
                             where)


# ----- heaps and tables -----------------------------------------------------------------------

def heap_item(node, allocs, hid):
    # The bytes of a heap allocation, b"" for an id that names none.
    block, index = hid >> 16, (hid >> 5) & 0x7FF
    if hid & 0x1F or block >= len(allocs) or not 1 <= index <= len(allocs[block]):
        return b""
    start, end = allocs[block][index - 1]
    return bytes(node.blocks[block][start:end])


def first_allocation(c, node, allocs, client, where):
    # Readers take the B-tree header from heap id 0x20: a property context's own B-tree, a
    # table context's row index (its TCINFO is found through hidUserRoot).
    b0 = node.blocks[0]
    if client == 0xBC:
        what, hid = "the property context's B-tree header (hidUserRoot)", u32(b0, 4)
    else:
        info = heap_item(node, allocs, u32(b0, 4)) + bytes(14)
        what, hid = "the row index's B-tree header (hidRowIndex)", u32(info, 10)
    if hid != FIRST_HID or heap_item(node, allocs, FIRST_HID)[:1] != bytes([BTH_SIGNATURE]):
        c.report("heap id 0x20 is not %s, which is at 0x%X" % (what, hid), where)


def fill_grade(free):
    # The 4-bit grade of a heap block's free bytes: 0 for 3584 or more, up to 15 for fewer than 8.
    return next((level for level, least in enumerate(FILL_GRADES) if free >= least), 15)


def fill_levels(c, node, where):
    # Each block's fill level grades the bytes it leaves free of 8176; blocks the heap does not
    # have are 0. Block 0 holds the levels of blocks 0-7, the bitmap header of block 8 and every
    # 128th after it those of the next 128, two a byte, the lower block in the low half.
    count = len(node.blocks)
    for first, at, n in [(0, 8, 8)] + [(i, 2, 128) for i in range(8, count, 128)]:
        levels = node.blocks[first][at:at + n // 2]
        found = [(byte >> shift) & 15 for byte in levels for shift in (0, 4)]
        want = [fill_grade(BLOCK_DATA - len(node.blocks[first + k])) if first + k < count else 0
                for k in range(len(found))]
        if found != want:
            c.report("fill levels of blocks %d-%d are %s, their free bytes grade %s"
                     % (first, first + n - 1, found[:count - first], want[:count - first]), where)


def table_info(c, info, cols, where):
    # The column bands end in order, the cell existence bitmap has a bit per column, and each
    # row starts with its row id.
    rgib = struct.unpack_from("<4H", info, 2)
    if list(rgib) != sorted(rgib) or rgib[3] - rgib[2] != (len(cols) + 7) // 8:
        c.report("TCINFO rgib %s is not ascending with a bitmap of a bit per column" % (rgib,),
                 where)
    if (ROW_ID << 16 | 3, 0, 4) not in [c_[:3] for c_ in cols]:
        c.report("the row id column is not the row's first 4 bytes", where)


def row_matrix(c, row_size, chunks, in_subnode, where):
    # The rows as a reader finds row N: in block N // rows-per-block at (N % rows-per-block) *
    # row size, rows-per-block being floor(8176 / row size). So every data block of a row
    # matrix but the last holds 8176 bytes, starting with a fresh row and leaving the bytes
    # after its last whole row unused; the last holds whole rows only.
    if not row_size or not chunks:
        return []
    per_block = BLOCK_DATA // row_size
    rows = []
    for i, chunk in enumerate(chunks):
        last = i + 1 == len(chunks)
        if in_subnode and not last and len(chunk) != BLOCK_DATA:
            c.report("row matrix block %d holds %d bytes, not 8176 (%d rows of %d bytes and the "
                     "rest unused)" % (i, len(chunk), per_block, row_size), where)
        elif last and len(chunk) % row_size:
            c.report("row matrix block %d ends inside a row of %d bytes" % (i, row_size), where)
        count = len(chunk) // row_size if last else per_block
        rows += [bytes(chunk[k * row_size:(k + 1) * row_size]) for k in range(count)
                 if (k + 1) * row_size <= len(chunk)]
    return rows


# ----- messaging layer ------------------------------------------------------------------------

def templates(c, nodes):
    # Templates have no rows; they and every table made from them hold the required columns.
    for nid in sorted(TEMPLATE_COLUMNS):
        if c.tcs.get((None, nid), ([], []))[0]:
            c.report("a table template must have no rows", "node 0x%X" % nid)
    for where, tags in sorted(c.tc_columns.items()):
        nid = int(where.split()[-1], 16)
        template = nid if nid in TEMPLATE_COLUMNS else TEMPLATE_OF.get(nid & 0x1F)
        required = TEMPLATE_COLUMNS.get(template, set()) - (
            set() if nid == template else OPTIONAL_IN_TABLES)
        missing = required - {t >> 16 for t in tags}
        if missing:
            c.report("columns of template 0x%X missing: %s" % (
                template, ", ".join("0x%04X" % p for p in sorted(missing))), where)


def store_object(c, nodes):
    # The store's record key (16 bytes), name and the entry ids of its subtree, wastebasket
    # and search root; the root folder is its own parent.
    store = c.pcs.get((None, 0x21), {})
    missing = [p for p in STORE_PROPERTIES if p not in store]
    if missing or len(store.get(0x0FF9, (0, bytes(16)))[1]) != 16:
        c.report("store properties missing or a record key not of 16 bytes: %s"
                 % ", ".join("0x%04X" % p for p in missing), "node 0x21")
    if 0x122 in nodes and nodes[0x122].parent != 0x122:
        c.report("the root folder's parent is not itself", "node 0x122")


def name_map_streams(c):
    # GUIDs come 16 bytes each; an entry names a known GUID, and a string name lies whole in
    # the string stream at a 4-byte boundary.
    names = c.pcs.get((None, 0x61), {})
    guids, entries, strings = (names.get(p, (0, b""))[1] or b"" for p in (2, 3, 4))
    if len(guids) % 16:
        c.report("GUID stream is not whole GUIDs", "name-to-ID map")
    for pos in range(len(entries) // 8):
        key, field, _ = struct.unpack_from("<IHH", entries, 8 * pos)
        guid, named = field >> 1, field & 1
        if not 1 <= guid <= 2 + len(guids) // 16:
            c.report("entry %d names GUID %d, which does not exist" % (pos, guid),
                     "name-to-ID map")
        if named and (key % 4 or key + 4 > len(strings) or
                      key + 4 + u32(strings, key) > len(strings) or u32(strings, key) % 2):
            c.report("entry %d's name is not whole at a 4-byte boundary of the string stream"
                     % pos, "name-to-ID map")


def search_activity_list(c, nodes):
    # The list holds the node ids of the store's search folders.
    node = nodes.get(0x201)
    data = b"".join(bytes(b) for b in node.blocks) if node else b""
    nids = [u32(data, o) for o in range(0, len(data) - 3, 4)]
    if len(data) % 4 or any(n & 0x1F != 3 or n not in nodes for n in nids):
        c.report("search activity list names a node that is no search folder", "node 0x201")


def check_all(c, nodes):
    header_fields(c)
    density_list(c)
    btree_padding(c)
    internal_blocks(c)
    templates(c, nodes)
    store_object(c, nodes)
    name_map_streams(c)
    search_activity_list(c, nodes)
