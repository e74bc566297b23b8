#!/usr/bin/python3
# Prints what libpff reads from a PST as JSON: the folder tree, each folder's and item's
# properties (tag, type, bytes as hex), without what differs between two files written from the
# same contacts: time stamps, and the search keys and special folders' entry identifiers drawn at
# random for each file and item. Exit status 1 when libpff cannot open the file.
# Usage: pst_items.py FILE
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pst", "checker"))
import pypff  # noqa: E402
from pst_dump import entries  # noqa: E402

VARYING = {0x300B, 0x36D0, 0x36D1, 0x36D2, 0x36D3, 0x36D4, 0x36D5, 0x36D7}


def properties(item):
    return sorted(["%04X" % tag, "%04X" % kind, data.hex()] for tag, (kind, data)
                  in entries(item).items() if kind != 0x0040 and tag not in VARYING)


def tree(folder):
    return {"name": folder.name, "properties": properties(folder),
            "items": [properties(folder.get_sub_message(i)) for i in range(folder.number_of_sub_messages)],
            "folders": [tree(folder.get_sub_folder(i)) for i in range(folder.number_of_sub_folders)]}


pst = pypff.file()
pst.open(sys.argv[1])
print(json.dumps([tree(pst.get_root_folder()), properties(pst.get_name_to_id_map())], indent=0))
