#!/usr/bin/python3
# Prints what libpff (Debian's python3-pypff) reads from a PST, as JSON.
#
# Usage: pst_dump.py FILE; exit status 1 when libpff cannot open the file.
# {"folders": [{"path", "name"}...], "contacts": [{"message_class", "given_name", ..., "email1",
#  "named": {"0xLID" or name: value}, "attachments": [{"size", "method", "extension", "hidden"}]}],
#  "dist_lists": [{"name", "subject", "members": [[display name, address type, address]...],
#  "one_off_members": [...], "checksum", "stream_members": [...] or null without a stream}]}
# The contacts are the items of the first folder named "Contacts", its distribution lists apart. Named properties (the address
# set's by LID, the public strings by name) are resolved through the file's own name-to-ID map,
# the way a reader has to. Strings are decoded here: libpff's own conversion mangles surrogate
# pairs.

import json
import struct
import sys

import pypff

PSETID_ADDRESS = bytes.fromhex("0420060000000000c000000000000046")
PS_MAPI = bytes.fromhex("2803020000000000c000000000000046")
PS_PUBLIC_STRINGS = bytes.fromhex("2903020000000000c000000000000046")
FIELDS = {"message_class": 0x001A, "given_name": 0x3A06, "surname": 0x3A11,
          "display_name": 0x3001, "company": 0x3A16, "job_title": 0x3A17, "mobile": 0x3A1C,
          "home_street": 0x3A5D, "home_city": 0x3A59, "home_state": 0x3A5C,
          "home_postal_code": 0x3A5B, "home_country": 0x3A5A, "body": 0x1000,
          "sensitivity": 0x0036}


def entries(item):
    # {property id: (value type, data bytes)} of an item's first record set.
    rs = item.get_record_set(0) if item.number_of_record_sets else None
    return {e.entry_type: (e.value_type, e.data or b"") for e in
            (rs.get_entry(i) for i in range(rs.number_of_entries if rs else 0))}


def text(entry):
    value_type, data = entry or (0, None)
    if value_type == 0x101F:  # a count, offsets, then the strings
        offsets = list(struct.unpack_from("<%dI" % (1 + struct.unpack_from("<I", data)[0]), data))
        return [data[a:b].decode("utf-16-le") for a, b in zip(offsets[1:], offsets[2:] + [len(data)])]
    return None if data is None else data.decode("utf-16-le") if value_type == 0x001F else data.hex()


def named_ids(pst, guid):
    # {LID or name: property id} of the named properties of one property set.
    props = entries(pst.get_name_to_id_map())
    stream, strings, guids = (props.get(p, (0, b""))[1] for p in (0x0003, 0x0004, 0x0002))
    guids = [None, PS_MAPI, PS_PUBLIC_STRINGS] + [guids[i:i + 16] for i in range(0, len(guids), 16)]
    out = {}
    for pos in range(len(stream) // 8):
        key, field, _ = struct.unpack_from("<IHH", stream, 8 * pos)
        if field >> 1 < len(guids) and guids[field >> 1] == guid:
            size = struct.unpack_from("<I", strings, key)[0] if field & 1 else 0
            out[strings[key + 4:key + 4 + size].decode("utf-16-le") if field & 1 else key] = \
                0x8000 + pos
    return out


def named_property_id(pst, guid, lid):
    return named_ids(pst, guid).get(lid)


def folders(folder, path, out):
    here = "" if path is None else (path + "/" if path else "") + (folder.name or "")
    out.append({"path": here, "name": folder.name, "_folder": folder})
    for i in range(folder.number_of_sub_folders):
        folders(folder.get_sub_folder(i), here, out)
    return out


def contact(message, ids):
    props = entries(message)
    out = {field: text(props.get(prop)) for field, prop in FIELDS.items()}
    out["named"] = {name if isinstance(name, str) else "0x%04X" % name: text(props.get(pid))
                    for name, pid in ids.items() if pid in props}
    out["email1"], out["attachments"] = out["named"].get("0x8083"), []
    for a in (message.get_attachment(i) for i in range(message.number_of_attachments)):
        props = entries(a)
        out["attachments"].append({"size": a.size, **{k: text(props.get(p)) for k, p in (
            ("method", 0x3705), ("extension", 0x3703), ("hidden", 0x7FFF))}})
    return out


def one_offs(entry):
    # [[display name, address type, address]] of a multi-valued binary property of one-off
    # entry ids (flags, provider, version and flags, then three UTF-16 texts each ending in 0).
    value_type, data = entry or (0, b"")
    if value_type != 0x1102 or len(data) < 4:
        return None
    count = struct.unpack_from("<I", data)[0]
    ends = list(struct.unpack_from("<%dI" % count, data, 4)) + [len(data)]
    return [data[a + 24:b].decode("utf-16-le").split("\0")[:3] for a, b in zip(ends, ends[1:])]


def stream_one_offs(entry):
    # The one-off members of a members stream: a 28-byte header (the count at 12), then per
    # member an entry id, a one-off entry id and extra bytes, each behind its 4-byte size.
    value_type, data = entry or (0, b"")
    if value_type != 0x0102:
        return None
    out, pos = [], 28
    for _ in range(struct.unpack_from("<I", data, 12)[0]):
        parts = []
        for _ in range(3):
            size = struct.unpack_from("<I", data, pos)[0]
            parts.append(data[pos + 4:pos + 4 + size])
            pos += 4 + size
        out.append(parts[1][24:].decode("utf-16-le").split("\0")[:3])
    return out


def dist_list(message, ids):
    props = entries(message)
    named = {lid: props.get(ids.get(lid)) for lid in (0x804C, 0x8053, 0x8054, 0x8055, 0x8064)}
    return {"name": text(named[0x8053]), "subject": text(props.get(0x0037)),
            "display_name": text(props.get(0x3001)), "members": one_offs(named[0x8055]),
            "one_off_members": one_offs(named[0x8054]),
            "checksum": named[0x804C] and struct.unpack("<I", named[0x804C][1])[0],
            "stream_members": stream_one_offs(named[0x8064])}


def main(argv):
    pst = pypff.file()
    try:
        pst.open(argv[1])
    except (IOError, OSError) as e:
        print("%s: libpff cannot read the file: %s" % (argv[1], e), file=sys.stderr)
        return 1
    tree = folders(pst.get_root_folder(), None, [])
    ids = {**named_ids(pst, PSETID_ADDRESS), **named_ids(pst, PS_PUBLIC_STRINGS)}
    target = next((f["_folder"] for f in tree if f["name"] == "Contacts"), None)
    items = [target.get_sub_message(i) for i in range(target.number_of_sub_messages if target else 0)]
    lists = [m for m in items if text(entries(m).get(0x001A)) == "IPM.DistList"]
    json.dump({"folders": [{"path": f["path"], "name": f["name"]} for f in tree],
               "contacts": [contact(m, ids) for m in items if not any(m is l for l in lists)],
               "dist_lists": [dist_list(m, ids) for m in lists]},
              sys.stdout, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
