"""Node database layer of a Unicode PST, read independently of our writer.

Follows the node database of MS-PST (HEADER, ROOT, BTPAGE, BLOCKTRAILER, XBLOCK, SLBLOCK,
AMAPPAGE, PMAPPAGE) and records every inconsistency it meets as a finding
instead of stopping, so one run lists everything that is wrong with a file.
"""

import bisect
import struct
import zlib

PAGE = 512
BLOCK_MAX = 8192
BLOCK_DATA_MAX = 8176
AMAP_FIRST = 0x4400
AMAP_RANGE = 0x3E000  # 496 bytes of bits, one bit per 64 bytes
PMAP_FIRST = 0x4600
PMAP_RANGE = 0x1F0000  # one PMap after every eighth AMap
FMAP_FIRST = AMAP_FIRST + 128 * AMAP_RANGE + 0x400
FMAP_RANGE = 496 * AMAP_RANGE
# Past 2 GB only (never reached by our files, so not exercised by the tests).
FPMAP_FIRST = AMAP_FIRST + 64 * 128 * AMAP_RANGE + 0x600
FPMAP_RANGE = 496 * 8 * 8 * AMAP_RANGE

PT_BBT, PT_NBT, PT_FMAP, PT_PMAP, PT_AMAP, PT_FPMAP, PT_DL = (
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86)
VALID_AMAP2 = 2

# MS-PST's mpbbCrypt table, first third (mpbbR): the substitution applied when
# writing with NDB_CRYPT_PERMUTE. Reading applies its inverse.
_PERMUTE_R = bytes([
    65, 54, 19, 98, 168, 33, 110, 187, 244, 22, 204, 4, 127, 100, 232, 93,
    30, 242, 203, 42, 116, 197, 94, 53, 210, 149, 71, 158, 150, 45, 154, 136,
    76, 125, 132, 63, 219, 172, 49, 182, 72, 95, 246, 196, 216, 57, 139, 231,
    35, 59, 56, 142, 200, 193, 223, 37, 177, 32, 165, 70, 96, 78, 156, 251,
    170, 211, 86, 81, 69, 124, 85, 0, 7, 201, 43, 157, 133, 155, 9, 160,
    143, 173, 179, 15, 99, 171, 137, 75, 215, 167, 21, 90, 113, 102, 66, 191,
    38, 74, 107, 152, 250, 234, 119, 83, 178, 112, 5, 44, 253, 89, 58, 134,
    126, 206, 6, 235, 130, 120, 87, 199, 141, 67, 175, 180, 28, 212, 91, 205,
    226, 233, 39, 79, 195, 8, 114, 128, 207, 176, 239, 245, 40, 109, 190, 48,
    77, 52, 146, 213, 14, 60, 34, 50, 229, 228, 249, 159, 194, 209, 10, 129,
    18, 225, 238, 145, 131, 118, 227, 151, 230, 97, 138, 23, 121, 164, 183, 220,
    144, 122, 92, 140, 2, 166, 202, 105, 222, 80, 26, 17, 147, 185, 82, 135,
    88, 252, 237, 29, 55, 73, 27, 106, 224, 41, 51, 153, 189, 108, 217, 148,
    243, 64, 84, 111, 240, 198, 115, 184, 214, 62, 101, 24, 68, 31, 221, 103,
    16, 241, 12, 25, 236, 174, 3, 161, 20, 123, 169, 11, 255, 248, 163, 192,
    162, 1, 247, 46, 188, 36, 104, 117, 13, 254, 186, 47, 181, 208, 218, 61,
])
_PERMUTE_DECODE = bytes(_PERMUTE_R.index(i) for i in range(256))


class Unreadable(Exception):
    """The file is not a Unicode PST this checker can walk at all."""


def crc(data):
    """The MS-PST CRC: reflected CRC-32 with initial value 0 and no final XOR."""
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def signature(ib, bid):
    """MS-PST's ComputeSig over the low 32 bits of offset and BID."""
    v = (ib ^ bid) & 0xFFFFFFFF
    return ((v >> 16) ^ v) & 0xFFFF


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def u64(b, o):
    return struct.unpack_from("<Q", b, o)[0]


def nid_text(nid):
    return "nid 0x%X" % nid


class Ndb:
    """Reads the header, both B-trees, every block and the allocation maps."""

    def __init__(self, path, data, report, strict=False):
        self.path = path
        # Leaked space (blocks nobody references, AMap bits set over nothing)
        # wastes room but corrupts nothing; Outlook's own files have some, so
        # it is reported only on request.
        self.strict = strict
        self.data = data
        # Blocks are handed out as views of the file's bytes, not copies: a
        # 30,000-contact file would otherwise be held twice.
        self.view = memoryview(data)
        self.report = report  # report(what, where)
        self.nodes = {}  # nid -> (bidData, bidSub, nidParent)
        self.blocks = {}  # bid (bit 0 cleared) -> (ib, cb, cRef)
        self.pages = []  # (ib, bid, ptype) of every B-tree page reached
        self.refs = {}  # bid -> references found from nodes and internal blocks
        self.extents = []  # (start, end, what) of everything allocated
        self._read_header()

    # ----- header -----------------------------------------------------------

    def _read_header(self):
        d = self.data
        if len(d) < 564 or d[0:4] != b"!BDN":
            raise Unreadable("not a PST file (no !BDN signature)")
        self.wVer = u16(d, 10)
        if self.wVer < 23:
            raise Unreadable("ANSI PST (wVer %d); only Unicode files are checked" % self.wVer)
        if self.wVer >= 36:
            raise Unreadable("4K-page file (wVer %d) is not a PST this checker reads" % self.wVer)
        self.crypt = d[513]
        if self.crypt not in (0, 1):
            raise Unreadable("encryption method %d is not supported by this checker" % self.crypt)
        self.bidNextP = u64(d, 32)
        self.rgnid = struct.unpack_from("<32I", d, 44)
        self.bidNextB = u64(d, 516)
        r = 180
        self.ibFileEof = u64(d, r + 4)
        self.ibAMapLast = u64(d, r + 12)
        self.cbAMapFree = u64(d, r + 20)
        self.cbPMapFree = u64(d, r + 28)
        self.nbt_root = (u64(d, r + 36), u64(d, r + 44))
        self.bbt_root = (u64(d, r + 52), u64(d, r + 60))
        self.fAMapValid = d[r + 68]

    def check_header(self):
        d, rep = self.data, self.report
        if u32(d, 4) != crc(d[8:8 + 471]):
            rep("header dwCRCPartial 0x%08X does not match the computed 0x%08X"
                % (u32(d, 4), crc(d[8:8 + 471])), "offset 4")
        if u32(d, 524) != crc(d[8:8 + 516]):
            rep("header dwCRCFull 0x%08X does not match the computed 0x%08X"
                % (u32(d, 524), crc(d[8:8 + 516])), "offset 524")
        if u16(d, 8) != 0x4D53:
            rep("header wMagicClient is 0x%04X, not 0x4D53" % u16(d, 8), "offset 8")
        if d[512] != 0x80:
            rep("header bSentinel is 0x%02X, not 0x80" % d[512], "offset 512")
        if self.ibFileEof != len(d):
            rep("ibFileEof %d differs from the file size %d" % (self.ibFileEof, len(d)), "ROOT")
        if self.ibFileEof < AMAP_FIRST or (self.ibFileEof - AMAP_FIRST) % AMAP_RANGE:
            rep("ibFileEof %d is not the end of a whole allocation-map range" % self.ibFileEof,
                "ROOT")
        if self.fAMapValid != VALID_AMAP2:
            rep("fAMapValid is %d, not 2 (VALID_AMAP2)" % self.fAMapValid, "ROOT")

    # ----- pages and B-trees ------------------------------------------------

    def _page(self, ib, bid, ptype, where):
        """Reads one page and checks its trailer; returns the bytes or None."""
        if ib % PAGE or ib + PAGE > len(self.data):
            self.report("page offset 0x%X is not a 512-aligned offset inside the file" % ib, where)
            return None
        p = self.data[ib:ib + PAGE]
        t_ptype, t_rep, t_sig, t_crc, t_bid = struct.unpack_from("<BBHIQ", p, 496)
        if t_ptype != ptype or t_rep != ptype:
            self.report("page type 0x%02X/0x%02X, expected 0x%02X" % (t_ptype, t_rep, ptype),
                        where)
        if t_crc != crc(p[:496]):
            self.report("page CRC 0x%08X does not match the computed 0x%08X"
                        % (t_crc, crc(p[:496])), where)
        if t_bid != bid:
            self.report("page trailer bid 0x%X, expected 0x%X" % (t_bid, bid), where)
        want_sig = signature(ib, t_bid) if ptype in (PT_BBT, PT_NBT, PT_DL) else 0
        if t_sig != want_sig:
            self.report("page wSig 0x%04X, expected 0x%04X" % (t_sig, want_sig), where)
        return p

    def walk_trees(self):
        self._walk(self.nbt_root, PT_NBT, None, None, None, set())
        self._walk(self.bbt_root, PT_BBT, None, None, None, set())

    def _walk(self, bref, ptype, level, lo, hi, seen):
        bid, ib = bref
        name = "NBT" if ptype == PT_NBT else "BBT"
        where = "%s page bid 0x%X at 0x%X" % (name, bid, ib)
        if ib in seen:
            self.report("page reached twice (cycle or shared page)", where)
            return None
        seen.add(ib)
        p = self._page(ib, bid, ptype, where)
        if p is None:
            return None
        self.pages.append((ib, bid, ptype))
        self.extents.append((ib, ib + PAGE, where))
        cEnt, cEntMax, cbEnt, cLevel = p[488], p[489], p[490], p[491]
        if level is not None and cLevel != level:
            self.report("cLevel %d, expected %d below its parent" % (cLevel, level), where)
        if cLevel > 0:
            want = (24, 20)
        else:
            want = (32, 15) if ptype == PT_NBT else (24, 20)
        if (cbEnt, cEntMax) != want:
            self.report("cbEnt %d / cEntMax %d, expected %d / %d"
                        % (cbEnt, cEntMax, want[0], want[1]), where)
        if cEnt > cEntMax or cEnt * cbEnt > 488:
            self.report("cEnt %d exceeds cEntMax %d" % (cEnt, cEntMax), where)
            cEnt = min(cEnt, 488 // max(cbEnt, 1))
        if cEnt == 0 and level is not None:
            self.report("empty B-tree page below a branch", where)
        # NBT keys are NIDs: only their low 32 bits count.
        read_key = u32 if ptype == PT_NBT else u64
        keys = [read_key(p, i * cbEnt) for i in range(cEnt)]
        if any(a >= b for a, b in zip(keys, keys[1:])):
            self.report("keys are not in strictly ascending order", where)
        if keys and lo is not None and keys[0] != lo:
            self.report("first key 0x%X differs from the parent's key 0x%X" % (keys[0], lo), where)
        if keys and hi is not None and keys[-1] >= hi:
            self.report("key 0x%X is not below the parent's next key 0x%X" % (keys[-1], hi), where)
        first = keys[0] if keys else None
        for i in range(cEnt):
            o = i * cbEnt
            if cLevel > 0:
                nxt = keys[i + 1] if i + 1 < cEnt else hi
                self._walk((u64(p, o + 8), u64(p, o + 16)), ptype, cLevel - 1, keys[i], nxt, seen)
            elif ptype == PT_NBT:
                self._nbt_entry(p, o, where)
            else:
                self._bbt_entry(p, o, where)
        return first

    def _nbt_entry(self, p, o, where):
        nid, hi32 = u32(p, o), u32(p, o + 4)
        if hi32:
            self.report("NBT entry %s has non-zero upper 32 bits 0x%X" % (nid_text(nid), hi32),
                        where)
        if nid in self.nodes:
            self.report("%s appears twice in the NBT" % nid_text(nid), where)
        self.nodes[nid] = (u64(p, o + 8), u64(p, o + 16), u32(p, o + 24))

    def _bbt_entry(self, p, o, where):
        bid, ib, cb, cref = u64(p, o), u64(p, o + 8), u16(p, o + 16), u16(p, o + 18)
        if bid & 1:
            self.report("BBT entry bid 0x%X has the reserved bit 0 set" % bid, where)
        bid &= ~1
        if bid in self.blocks:
            self.report("block bid 0x%X appears twice in the BBT" % bid, where)
        self.blocks[bid] = (ib, cb, cref)

    # ----- blocks -----------------------------------------------------------

    def check_blocks(self):
        for bid, (ib, cb, _) in sorted(self.blocks.items()):
            where = "block bid 0x%X at 0x%X" % (bid, ib)
            size = (cb + 16 + 63) // 64 * 64
            if cb > BLOCK_DATA_MAX:
                self.report("block data size %d exceeds %d" % (cb, BLOCK_DATA_MAX), where)
                continue
            if ib % 64 or ib + size > len(self.data) or ib < AMAP_FIRST:
                self.report("block offset/size outside the file or not 64-aligned", where)
                continue
            self.extents.append((ib, ib + size, where))
            t_cb, t_sig, t_crc, t_bid = struct.unpack_from("<HHIQ", self.data, ib + size - 16)
            if t_cb != cb:
                self.report("trailer cb %d differs from the BBT's %d" % (t_cb, cb), where)
            if t_bid != bid:
                self.report("trailer bid 0x%X differs from the BBT's bid" % t_bid, where)
            if t_sig != signature(ib, bid):
                self.report("block wSig 0x%04X, expected 0x%04X" % (t_sig, signature(ib, bid)),
                            where)
            got = crc(self.view[ib:ib + cb])
            if t_crc != got:
                self.report("block CRC 0x%08X does not match the computed 0x%08X" % (t_crc, got),
                            where)

    def raw_block(self, bid):
        """Stored bytes of a block, or None when the BBT does not know it."""
        entry = self.blocks.get(bid & ~1)
        if entry is None or entry[1] > BLOCK_DATA_MAX:
            return None
        ib, cb, _ = entry
        if ib + cb > len(self.data):
            return None
        return self.view[ib:ib + cb]

    def _ref(self, bid, where, internal):
        """Counts one reference to bid; returns its bytes (decoded) or None."""
        bid &= ~1
        self.refs[bid] = self.refs.get(bid, 0) + 1
        raw = self.raw_block(bid)
        if raw is None:
            self.report("bid 0x%X is referenced but not in the BBT" % bid, where)
            return None
        if bool(bid & 2) != internal:
            self.report("bid 0x%X should %sbe marked internal" % (bid, "" if internal else "not "),
                        where)
        if not internal and self.crypt == 1:
            raw = bytes(raw).translate(_PERMUTE_DECODE)
        return raw

    def node_data(self, bid, where):
        """Walks a data tree (block, XBLOCK, XXBLOCK); returns the list of data blocks."""
        if bid == 0:
            return []
        if not bid & 2:
            b = self._ref(bid, where, False)
            return [] if b is None else [b]
        x = self._ref(bid, where, True)
        if x is None:
            return []
        if len(x) < 8 or x[0] != 1 or x[1] not in (1, 2):
            self.report("bid 0x%X is not a valid XBLOCK/XXBLOCK" % bid, where)
            return []
        level, cEnt, total = x[1], u16(x, 2), u32(x, 4)
        if len(x) != 8 + 8 * cEnt:
            self.report("XBLOCK bid 0x%X: cb %d does not hold %d entries" % (bid, len(x), cEnt),
                        where)
            cEnt = min(cEnt, (len(x) - 8) // 8)
        out = []
        for i in range(cEnt):
            child = u64(x, 8 + 8 * i)
            if level == 1:
                if child & 2:
                    self.report("XBLOCK bid 0x%X lists internal bid 0x%X" % (bid, child), where)
                b = self._ref(child, where, False)
                if b is not None:
                    out.append(b)
            else:
                if not child & 2:
                    self.report("XXBLOCK bid 0x%X lists external bid 0x%X" % (bid, child), where)
                    continue
                out.extend(self.node_data(child, where))
        got = sum(len(b) for b in out)
        if got != total:
            self.report("XBLOCK bid 0x%X lcbTotal %d, data blocks hold %d" % (bid, total, got),
                        where)
        return out

    def subnodes(self, bid, where):
        """Walks an SLBLOCK/SIBLOCK tree; returns {nid: (bidData, bidSub)}."""
        out = {}
        if bid == 0:
            return out
        s = self._ref(bid, where, True)
        if s is None:
            return out
        if len(s) < 8 or s[0] != 2 or s[1] not in (0, 1):
            self.report("bid 0x%X is not a valid SLBLOCK/SIBLOCK" % bid, where)
            return out
        level, cEnt = s[1], u16(s, 2)
        size = 24 if level == 0 else 16
        if len(s) != 8 + size * cEnt:
            self.report("subnode block bid 0x%X: cb %d does not hold %d entries"
                        % (bid, len(s), cEnt), where)
            cEnt = min(cEnt, (len(s) - 8) // size)
        keys = [u32(s, 8 + size * i) for i in range(cEnt)]
        if any(a >= b for a, b in zip(keys, keys[1:])):
            self.report("subnode block bid 0x%X entries are not sorted by nid" % bid, where)
        for i, nid in enumerate(keys):
            o = 8 + size * i
            if level == 0:
                out[nid] = (u64(s, o + 8), u64(s, o + 16))
            else:
                child = u64(s, o + 8)
                sub = self.subnodes(child, where)
                if sub and min(sub) != nid:
                    self.report("SIBLOCK key 0x%X differs from its child's first nid" % nid, where)
                out.update(sub)
        return out

    # ----- reference counts and counters ------------------------------------

    def check_refcounts(self):
        for bid, (ib, _, cref) in sorted(self.blocks.items()):
            n = self.refs.get(bid, 0)
            where = "block bid 0x%X at 0x%X" % (bid, ib)
            # Outlook stores references + 1; fewer than the references found
            # means a later edit would free a block that is still in use.
            if cref < n:
                self.report("cRef %d is below the %d references found" % (cref, n), where)
            elif n == 0 and self.strict:
                self.report("block is not referenced by any node (leaked)", where)

    def check_counters(self, subnode_nids=()):
        """subnode_nids: NIDs of subnodes, which Outlook also draws from rgnid
        (an attachment added later must not reuse an existing subnode's NID)."""
        top_b = max(list(self.blocks) + list(self.refs) + [0])
        if self.bidNextB <= top_b:
            self.report("bidNextB 0x%X is not above the highest block bid 0x%X"
                        % (self.bidNextB, top_b), "header")
        top_p = max([bid for _, bid, _ in self.pages] + [0])
        if self.bidNextP <= top_p:
            self.report("bidNextP 0x%X is not above the highest page bid 0x%X"
                        % (self.bidNextP, top_p), "header")
        top = {}
        for nid in list(self.nodes) + list(subnode_nids):
            t, index = nid & 0x1F, nid >> 5
            if index > top.get(t, (0, 0))[0]:
                top[t] = (index, nid)
        for t, (index, nid) in sorted(top.items()):
            if index > self.rgnid[t]:
                self.report("rgnid[0x%X] 0x%X is below the index 0x%X of %s in use"
                            % (t, self.rgnid[t], index, nid_text(nid)), "header")

    # ----- allocation maps --------------------------------------------------

    def map_pages(self):
        """Offsets of the AMap, PMap, FMap and FPMap pages below ibFileEof."""
        end = min(self.ibFileEof, len(self.data))
        out = []
        for first, step, ptype in ((AMAP_FIRST, AMAP_RANGE, PT_AMAP),
                                   (PMAP_FIRST, PMAP_RANGE, PT_PMAP),
                                   (FMAP_FIRST, FMAP_RANGE, PT_FMAP),
                                   (FPMAP_FIRST, FPMAP_RANGE, PT_FPMAP)):
            ib = first
            while ib < end:
                out.append((ib, ptype))
                ib += step
        return sorted(out)

    def check_maps(self):
        names = {PT_AMAP: "AMap", PT_PMAP: "PMap", PT_FMAP: "FMap", PT_FPMAP: "FPMap"}
        amaps = {}
        for ib, ptype in self.map_pages():
            where = "%s page at 0x%X" % (names[ptype], ib)
            p = self._page(ib, ib, ptype, where)
            self.extents.append((ib, ib + PAGE, where))
            if ptype == PT_AMAP and p is not None:
                amaps[ib] = p
        if amaps and self.ibAMapLast != max(amaps):
            self.report("ibAMapLast 0x%X, the last AMap page is at 0x%X"
                        % (self.ibAMapLast, max(amaps)), "ROOT")
        if self.data[0x4200 + 496] == PT_DL:
            self._page(0x4200, u64(self.data, 0x4200 + 504), PT_DL, "DList page at 0x4200")
        self._check_overlaps()
        self._check_amap_bits(amaps)

    def _check_overlaps(self):
        last_end, last_what = 0, None
        for start, end, what in sorted(self.extents):
            if start < last_end:
                self.report("overlaps %s" % last_what, what)
            if end > last_end:
                last_end, last_what = end, what

    def _check_amap_bits(self, amaps):
        units = AMAP_RANGE // 64
        used = bytearray(b"0" * ((len(self.data) + 63) // 64 + units))
        for start, end, _ in self.extents:
            used[start // 64:(end + 63) // 64] = b"1" * ((end + 63) // 64 - start // 64)
        extents = sorted(self.extents)
        starts = [e[0] for e in extents]
        free_bits = 0
        for ib, p in sorted(amaps.items()):
            base = ib // 64
            # One bit per 64-byte unit, most significant bit first.
            want = int(used[base:base + units], 2)
            marked = int.from_bytes(p[:496], "big")
            free_bits += units - bin(marked).count("1")
            missing = _bit_units(want & ~marked, base, units)
            seen = set()
            for unit in missing:
                what = extents[bisect.bisect_right(starts, unit * 64) - 1][2]
                if what not in seen:
                    seen.add(what)
                    self.report("AMap at 0x%X marks offset 0x%X free but it is in use"
                                % (ib, unit * 64), what)
            stray = _bit_units(marked & ~want, base, units)
            if stray and self.strict:
                self.report("AMap marks %d units of 64 bytes allocated that nothing uses "
                            "(first at 0x%X)" % (len(stray), stray[0] * 64),
                            "AMap page at 0x%X" % ib)
        if amaps and self.cbAMapFree != free_bits * 64:
            self.report("cbAMapFree %d, the AMaps have %d free bytes"
                        % (self.cbAMapFree, free_bits * 64), "ROOT")


def _bit_units(bits, base, units):
    """Units whose bit is set in an MSB-first bitmap held as an integer."""
    out = []
    while bits:
        top = bits.bit_length() - 1
        out.append(base + units - 1 - top)
        bits &= ~(1 << top)
    return sorted(out)
