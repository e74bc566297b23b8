"""Messaging-layer checks: mandatory nodes, entry IDs, the name-to-ID map and
folder membership (the messaging layer of MS-PST)."""

import struct

from pst_ndb import crc

NID_STORE, NID_NAME_MAP, NID_ROOT = 0x21, 0x61, 0x122
T_FOLDER, T_SEARCH_FOLDER, T_MESSAGE, T_ASSOC = 0x02, 0x03, 0x04, 0x08
T_HIERARCHY, T_CONTENTS, T_FAI = 0x0D, 0x0E, 0x0F
PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_RECORD_KEY = 0x3602, 0x360A, 0x0FF9

# [MS-PST] "Minimum PST requirements": nodes every store must hold.
MANDATORY = [0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F,
             0x610, 0x62B, 0x671, 0x692, 0x2223, 0x2226, 0x2227, 0x2230,
             0x8022, 0x802D, 0x802E, 0x802F, 0x8042, 0x804D, 0x804E, 0x804F,
             0x8062, 0x806D, 0x806E, 0x806F]

# Entry IDs of special folders, held by the store and by folders (root, Inbox).
ENTRY_ID_PROPS = [0x35D8, 0x35E0, 0x35E2, 0x35E3, 0x35E4, 0x35E5, 0x35E6,
                  0x35E7, 0x36D0, 0x36D1, 0x36D2, 0x36D3, 0x36D4, 0x36D7]

# [MS-OXOSFLD] special folders a client finds through these entry IDs, by the
# container class the folder must carry.
SPECIAL_FOLDER_CLASSES = {0x36D0: "IPF.Appointment", 0x36D1: "IPF.Contact",
                          0x36D2: "IPF.Journal", 0x36D3: "IPF.StickyNote",
                          0x36D4: "IPF.Task", 0x36D7: "IPF.Note"}

# Properties MS-PST makes mandatory on each kind of object.
STORE_REQUIRED = [0x0FF9, 0x3001, 0x35E0, 0x35E3, 0x35E7]
FOLDER_REQUIRED = [0x3001, 0x3602, 0x3603, 0x360A]
# PidTagMessageStatus (0x0E17) is listed too, but Outlook keeps it in the
# contents-table row only, so it is not demanded from the message itself.
MESSAGE_REQUIRED = [0x001A, 0x0E07, 0x0E08, 0x3007, 0x3008, 0x300B]
ATTACHMENT_REQUIRED = [0x0E20, 0x3705]
T_ATTACHMENT, NID_ATTACHMENT_TABLE = 0x05, 0x671
PR_HAS_ATTACHMENTS, PR_MESSAGE_FLAGS, MSGFLAG_HASATTACH = 0x0E1B, 0x0E07, 0x10
PR_UNREAD_COUNT, MSGFLAG_READ, NID_RECEIVE_FOLDERS = 0x3603, 0x01, 0x62B

MAX_BUCKET_FINDINGS = 10

# Row identity columns describe the row, not the object; every other cell must
# equal the object's own property when it has one (Outlook's files agree).
UNCOPIED_COLUMNS = {0x67F2, 0x67F3}


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def check_store(ltp, nodes, report):
    for nid in MANDATORY:
        if nid not in nodes:
            report("mandatory node 0x%X is missing" % nid, "NBT")
    store = ltp.pcs.get(NID_STORE)
    if store is not None:
        _check_entry_ids(ltp, nodes, store, report)
    names = ltp.pcs.get(NID_NAME_MAP)
    if names is not None:
        check_name_map(names, report)
        _check_named_ids(ltp, len(names.get(0x0003) or b"") // 8, report)
    _check_required(ltp, nodes, report)
    check_folders(ltp, nodes, report)
    check_receive_folders(ltp, nodes, report)
    sub_pcs = {}
    for (top, sub), pc in ltp.sub_pcs.items():
        sub_pcs.setdefault(top, {})[sub] = pc
    for nid in sorted(nodes):
        if nid & 0x1F in (T_MESSAGE, T_ASSOC) and nid in ltp.pcs:
            _check_attachments(ltp, nodes[nid], sub_pcs.get(nid, {}), report)


def _missing(pc, required):
    return ", ".join("0x%04X" % p for p in required if p not in pc.props)


def _check_required(ltp, nodes, report):
    for nid, pc in sorted(ltp.pcs.items()):
        t = nid & 0x1F
        required = (STORE_REQUIRED if nid == NID_STORE else
                    FOLDER_REQUIRED if t in (T_FOLDER, T_SEARCH_FOLDER) else
                    MESSAGE_REQUIRED if t in (T_MESSAGE, T_ASSOC) else [])
        if _missing(pc, required):
            report("required properties missing: %s" % _missing(pc, required), "node 0x%X" % nid)
    for (top, sub), pc in sorted(ltp.sub_pcs.items()):
        if sub & 0x1F == T_ATTACHMENT and _missing(pc, ATTACHMENT_REQUIRED):
            report("required properties missing: %s" % _missing(pc, ATTACHMENT_REQUIRED),
                   "node 0x%X attachment 0x%X" % (top, sub))


def _check_named_ids(ltp, count, report):
    """Every property id from 0x8000 on must name an entry of the map."""
    objects = [("node 0x%X" % nid, pc.props) for nid, pc in ltp.pcs.items() if nid != NID_NAME_MAP]
    objects += [("node 0x%X subnode 0x%X" % key, pc.props) for key, pc in ltp.sub_pcs.items()]
    tables = list(ltp.tcs.items()) + list(ltp.sub_tcs.items())
    objects += [("table %s" % (k,), {c[0] >> 16: None for c in tc.columns}) for k, tc in tables]
    for where, props in sorted(objects):
        unknown = sorted(p for p in props if p >= 0x8000 and p - 0x8000 >= count)
        if unknown:
            report("named property ids %s have no entry in the name-to-ID map (%d entries)"
                   % (", ".join("0x%04X" % p for p in unknown), count), where)


def _check_attachments(ltp, message, pcs, report):
    where = "message 0x%X" % message.nid
    attachments = {n for n in message.subnodes if n & 0x1F == T_ATTACHMENT}
    # Outlook leaves hidden attachments (PidTagAttachmentHidden, e.g. the
    # exceptions of a recurring appointment) out of the attachment table.
    listed = {n for n in attachments if not (n in pcs and pcs[n].boolean(0x7FFE))}
    table = ltp.sub_tcs.get((message.nid, NID_ATTACHMENT_TABLE))
    if table is None and listed:
        report("attachments without an attachment table subnode 0x671", where)
    elif table is not None:
        _compare_rows(ltp, table, listed, "attachment", where + " attachment table", report,
                      pcs=pcs)
    pc = ltp.pcs[message.nid]
    has = pc.boolean(PR_HAS_ATTACHMENTS)
    if has is not None and has != bool(attachments):
        report("PidTagHasAttachments %s, the message has %d attachments"
               % (has, len(attachments)), where)
    flags = pc.int32(PR_MESSAGE_FLAGS)
    if flags is not None and bool(flags & MSGFLAG_HASATTACH) != bool(attachments):
        report("PidTagMessageFlags 0x%X disagrees with the %d attachments"
               % (flags, len(attachments)), where)


def _check_entry_ids(ltp, nodes, store, report):
    key = store.get(PR_RECORD_KEY)
    if key is None or len(key) != 16:
        report("store record key 0x0FF9 missing or not 16 bytes", "node 0x21")
        return
    owners = [NID_STORE] + sorted(n for n in ltp.pcs if n & 0x1F == T_FOLDER)
    for owner in owners:
        pc = ltp.pcs.get(owner)
        for prop in ENTRY_ID_PROPS:
            value = pc.get(prop)
            if value is None or (pc.props[prop][0] != 0x0102):
                continue
            where = "node 0x%X property 0x%04X" % (owner, prop)
            if len(value) != 24 or value[:4] != b"\0\0\0\0":
                report("entry ID is not 24 bytes with zero flags", where)
            elif value[4:20] != key:
                report("entry ID names another store (record key differs)", where)
            elif u32(value, 20) not in nodes:
                report("entry ID points to missing node 0x%X" % u32(value, 20), where)
            elif prop in SPECIAL_FOLDER_CLASSES:
                target = ltp.pcs.get(u32(value, 20))
                got = target and target.get(0x3613)
                got = got.decode("utf-16-le", "replace") if got is not None else None
                if got != SPECIAL_FOLDER_CLASSES[prop]:
                    report("entry ID points to folder 0x%X of class %s, not %s"
                           % (u32(value, 20), got, SPECIAL_FOLDER_CLASSES[prop]), where)


def check_name_map(pc, report):
    where = "name-to-ID map node 0x61"
    count = pc.int32(0x0001)
    guids, entries, strings = pc.get(0x0002), pc.get(0x0003), pc.get(0x0004)
    if not count or guids is None or entries is None:
        report("bucket count, GUID stream or entry stream missing", where)
        return
    if len(guids) % 16 or len(entries) % 8:
        report("GUID stream or entry stream has a partial record", where)
    strings = strings or b""
    expected, seen_idx, seen_names = {}, {}, {}
    for pos in range(len(entries) // 8):
        key, field, idx = struct.unpack_from("<IHH", entries, 8 * pos)
        w = "%s entry %d" % (where, pos)
        guid, is_string = field >> 1, field & 1
        if guid not in (1, 2) and not 3 <= guid < 3 + len(guids) // 16:
            report("wGuid %d refers to no GUID" % guid, w)
        if idx != pos:
            # Readers take the record position as the property index, Outlook
            # takes wPropIdx; they must agree.
            report("wPropIdx %d differs from the record position" % idx, w)
        if idx in seen_idx:
            report("wPropIdx %d is also used by entry %d" % (idx, seen_idx[idx]), w)
        seen_idx.setdefault(idx, pos)
        name = key
        if is_string:
            if key + 4 > len(strings) or key + 4 + u32(strings, key) > len(strings):
                report("string offset %d lies outside the string stream" % key, w)
                continue
            name = strings[key + 4:key + 4 + u32(strings, key)]
            key = crc(name)
        if (guid, is_string, name) in seen_names:
            report("name is also defined by entry %d" % seen_names[(guid, is_string, name)], w)
        seen_names.setdefault((guid, is_string, name), pos)
        bucket = (key ^ field) % count
        expected.setdefault(bucket, []).append(struct.pack("<IHH", key, field, idx))
    _compare_buckets(pc, count, expected, report, where)


def _compare_buckets(pc, count, expected, report, where):
    for prop, (ptype, value) in sorted(pc.props.items()):
        if 0x1000 <= prop < 0x1000 + 0x1000 and prop - 0x1000 >= count:
            report("hash bucket 0x%04X lies beyond the bucket count %d" % (prop, count), where)
    problems = []
    for bucket in range(count):
        got = pc.get(0x1000 + bucket) or b""
        records = sorted(got[o:o + 8] for o in range(0, len(got) - 7, 8))
        want = sorted(expected.get(bucket, []))
        for r in want:
            if r not in records:
                key, field, idx = struct.unpack("<IHH", r)
                problems.append("bucket %d lacks the record of property 0x%04X (key 0x%X)"
                                % (bucket, 0x8000 + idx, key))
        for r in records:
            if r not in want:
                key, field, idx = struct.unpack("<IHH", r)
                problems.append("bucket %d holds a record (key 0x%X, index %d) that belongs to "
                                "no entry or to another bucket" % (bucket, key, idx))
    # A damaged entry stream upsets every bucket; the first few say enough.
    for text in problems[:MAX_BUCKET_FINDINGS]:
        report(text, where)
    if len(problems) > MAX_BUCKET_FINDINGS:
        report("%d more hash bucket records disagree with the entry stream"
               % (len(problems) - MAX_BUCKET_FINDINGS), where)


def check_folders(ltp, nodes, report):
    children = {}
    for nid, node in nodes.items():
        t = nid & 0x1F
        if t in (T_FOLDER, T_SEARCH_FOLDER, T_MESSAGE, T_ASSOC) and nid != NID_ROOT:
            parent = nodes.get(node.parent)
            if parent is None or parent.nid & 0x1F != T_FOLDER:
                report("parent 0x%X is not a folder in the NBT" % node.parent, "node 0x%X" % nid)
                continue
            children.setdefault(node.parent, []).append(nid)
    for nid in sorted(nodes):
        if nid & 0x1F != T_FOLDER:
            continue
        where = "folder 0x%X" % nid
        pc = ltp.pcs.get(nid)
        if pc is None:
            report("folder has no property context", where)
            continue
        kids = children.get(nid, [])
        folders = {k for k in kids if k & 0x1F in (T_FOLDER, T_SEARCH_FOLDER)}
        messages = {k for k in kids if k & 0x1F == T_MESSAGE}
        assoc = {k for k in kids if k & 0x1F == T_ASSOC}
        base = nid & ~0x1F
        for t, members, what in ((T_HIERARCHY, folders, "child folder"),
                                 (T_CONTENTS, messages, "message"),
                                 (T_FAI, assoc, "associated message")):
            tc = ltp.tcs.get(base | t)
            if tc is None:
                report("table node 0x%X missing or unreadable" % (base | t), where)
                continue
            _compare_rows(ltp, tc, members, what, "%s table 0x%X" % (where, base | t), report)
            if t == T_CONTENTS:
                _check_counts(ltp, pc, tc, where, report)
        sub = pc.boolean(PR_SUBFOLDERS)
        if sub != bool(folders):
            report("PidTagSubfolders %s, the folder has %d child folders"
                   % (sub, len(folders)), where)


def _check_counts(ltp, pc, tc, where, report):
    if pc.int32(PR_CONTENT_COUNT) != len(tc.rows):
        report("PidTagContentCount %s, the contents table has %d rows"
               % (pc.int32(PR_CONTENT_COUNT), len(tc.rows)), where)
    flags = [ltp.pcs[n].int32(PR_MESSAGE_FLAGS) for n in tc.row_ids if n in ltp.pcs]
    unread = sum(1 for f in flags if f is not None and not f & MSGFLAG_READ)
    if pc.int32(PR_UNREAD_COUNT) != unread:
        report("PidTagContentUnreadCount %s, the folder holds %d unread messages"
               % (pc.int32(PR_UNREAD_COUNT), unread), where)


def check_receive_folders(ltp, nodes, report):
    """Each receive-folder row must name a folder that exists."""
    tc = ltp.tcs.get(NID_RECEIVE_FOLDERS)
    for row in tc.rows if tc else []:
        target = row.get(0x66050003)
        nid = struct.unpack("<I", target)[0] if target and len(target) == 4 else None
        if nid is None or nid not in nodes or nid & 0x1F != T_FOLDER:
            report("receive folder row names no existing folder (%s)"
                   % (nid if nid is None else hex(nid)), "table 0x62B")


def _compare_rows(ltp, tc, members, what, where, report, pcs=None):
    rows = set(tc.row_ids)
    if len(rows) != len(tc.row_ids):
        report("a row id appears twice", where)
    for nid in sorted(members - rows):
        report("%s 0x%X has no row in this table" % (what, nid), where)
    for nid in sorted(rows - members):
        report("row 0x%X names no %s of this owner in the node index" % (nid, what), where)
    for nid, row in zip(tc.row_ids, tc.rows):
        pc = (ltp.pcs if pcs is None else pcs).get(nid)
        if pc is None or nid not in members:
            continue
        for tag, value in row.items():
            prop, ptype = tag >> 16, tag & 0xFFFF
            if prop in UNCOPIED_COLUMNS or prop >= 0x8000:
                continue
            entry = pc.props.get(prop)
            if entry is not None and entry[0] == ptype and entry[1] != value:
                report("cell 0x%08X differs from the object's property" % tag,
                       "%s row 0x%X" % (where, nid))
