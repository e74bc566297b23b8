# Rules for distribution list items that pst_check.py leaves to this module: both member
# properties name the same members in the same order, each stays under 15,000 bytes, the
# checksum is the CRC of the members property's values, and a members stream, when there is one,
# parses whole and begins with the members both properties hold.

import struct
import zlib

# The address property set, and the providers of one-off and wrapped entry ids.
PSETID_ADDRESS = bytes.fromhex("0420060000000000c000000000000046")
ONE_OFF_PROVIDER = bytes.fromhex("812b1fa4bea310199d6e00dd010f5402")
WRAPPED_PROVIDER = bytes.fromhex("c091add3519dcf11a4a900aa0047faa4")
LID_DL_CHECKSUM, LID_DL_ONE_OFF_MEMBERS, LID_DL_MEMBERS = 0x804C, 0x8054, 0x8055
LID_DL_STREAM = 0x8064
MEMBER_PROPERTY_LIMIT = 15000  # bytes each member property stays below, as stored


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def crc(data):
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def multi_binary(v):
    # The values of a multi-valued binary property: a count, offsets, then the values.
    count = u32(v, 0)
    ends = [u32(v, 4 + 4 * i) for i in range(count)] + [len(v)]
    return [bytes(v[a:b]) for a, b in zip(ends, ends[1:])]


def one_off(entry):
    # (display name, address type, address) of a one-off entry id, or None when it is not one.
    if len(entry) < 24 or entry[:4] != bytes(4) or entry[4:20] != ONE_OFF_PROVIDER:
        return None
    wide, parts, pos = u16(entry, 22) & 0x8000, [], 24
    for _ in range(3):
        end = pos
        while end + (1 if wide else 0) < len(entry) and entry[end:end + (2 if wide else 1)] != \
                bytes(2 if wide else 1):
            end += 2 if wide else 1
        parts.append(entry[pos:end].decode("utf-16-le" if wide else "cp1252"))
        pos = end + (2 if wide else 1)
    return tuple(parts) if pos == len(entry) else None


def same_member(entry, single):
    # A member's entry id is its one-off entry id, or a wrapped entry id embedding it.
    if one_off(single) is None:
        return False
    if entry[4:20] == WRAPPED_PROVIDER and len(entry) > 21:
        return entry[20] & 0x0F != 0 or entry[21:] == single
    return entry == single


def members_stream(v):
    # [(entry id, one-off entry id)] of a members stream; ValueError names what does not parse.
    if len(v) < 28 or u16(v, 0) != 1:
        raise ValueError("a header of version 1")
    count, entry_total, one_off_total, extra_total = (u32(v, o) for o in (12, 16, 20, 24))
    pos, members = 28, []
    for i in range(count):
        parts = []
        for _ in range(3):
            if pos + 4 > len(v) or pos + 4 + u32(v, pos) > len(v):
                raise ValueError("member %d whole" % (i + 1))
            parts.append(bytes(v[pos + 4:pos + 4 + u32(v, pos)]))
            pos += 4 + len(parts[-1])
        if parts[2] or not parts[0] or (parts[1] and not same_member(parts[0], parts[1])):
            raise ValueError("member %d as an entry id, its one-off form and no extra bytes"
                             % (i + 1))
        members.append((parts[0], parts[1]))
    if v[pos:] != bytes(8):
        raise ValueError("two zero words after the members and nothing else")
    if (entry_total, one_off_total, extra_total) != (sum(len(e) for e, _ in members),
                                                      sum(len(o) for _, o in members), 0):
        raise ValueError("total sizes that add up")
    return members


def address_lids(checker):
    # {property id: LID} of the address set's named properties, from the name-to-ID map.
    names = checker.pcs.get((None, 0x61), {})
    stream, guids = (names.get(p, (0, b""))[1] for p in (0x0003, 0x0002))
    guids = [None, None, None] + [guids[i:i + 16] for i in range(0, len(guids), 16)]
    return {u32(stream, 8 * pos): 0x8000 + pos for pos in range(len(stream) // 8)
            if not u16(stream, 8 * pos + 4) & 1 and u16(stream, 8 * pos + 4) >> 1 < len(guids)
            and guids[u16(stream, 8 * pos + 4) >> 1] == PSETID_ADDRESS}


def check(checker):
    lids = address_lids(checker)
    for (top, nid), pc in sorted(checker.pcs.items(), key=str):
        if top is None and pc.get(0x001A, (0, b""))[1] == "IPM.DistList".encode("utf-16-le"):
            check_list(checker, pc, lids, "distribution list 0x%X" % nid)


def check_list(checker, pc, lids, where):
    members, one_offs, checksum, stream = (pc.get(lids.get(lid), (0, None)) for lid in (
        LID_DL_MEMBERS, LID_DL_ONE_OFF_MEMBERS, LID_DL_CHECKSUM, LID_DL_STREAM))
    if members[0] != 0x1102 or one_offs[0] != 0x1102 or checksum[0] != 0x0003:
        checker.report("member properties or checksum missing", where)
        return
    for what, (_, value) in (("members", members), ("one-off members", one_offs)):
        if len(value) >= MEMBER_PROPERTY_LIMIT:
            checker.report("the %s property takes %d bytes, 15,000 or more" % (what, len(value)),
                           where)
    members, one_offs = multi_binary(members[1]), multi_binary(one_offs[1])
    if len(members) != len(one_offs):
        checker.report("the member properties list %d and %d members" % (
            len(members), len(one_offs)), where)
    for i, (member, single) in enumerate(zip(members, one_offs)):
        if not same_member(member, single):
            checker.report("member %d differs between the member properties" % (i + 1), where)
    if crc(b"".join(members)) != u32(checksum[1], 0):
        checker.report("checksum 0x%08X is not the members' CRC 0x%08X" % (
            u32(checksum[1], 0), crc(b"".join(members))), where)
    if stream[0] == 0:
        return
    try:
        streamed = members_stream(stream[1]) if stream[0] == 0x0102 else None
    except (ValueError, struct.error) as e:
        checker.report("the members stream does not hold %s" % e, where)
        return
    if streamed is None or streamed[:len(members)] != list(zip(members, one_offs)):
        checker.report("the members stream does not begin with the member properties' members",
                       where)
