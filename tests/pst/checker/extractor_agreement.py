#!/usr/bin/python3
# Stores of several sizes opened by a third reader family, the npm package pst-extractor, with
# no option or patch: it walks the folder tree through the hierarchy tables and reads the
# Contacts folder through its contents table, cursor by cursor, as programs built on it do. Its
# count must equal the contacts converted, and each contact's values must equal what libpff
# (python3-pypff) reads in the places the end-to-end check compares; libpff, readpst and the
# project's checker must accept the same stores.
#
# The sizes straddle the row matrix's block boundary (63 rows of a contents table fill one
# block) and the row index's leaf (447 rows), up to a large address book.
#
# usage: extractor_agreement.py PLUMBRAE_CONVERT GENERATE_META_TREE SIZE...
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "writers"))
from zimbra_outputs import PLACES, read_meta, read_pst  # noqa: E402

DUMP = os.path.join(HERE, "extractor", "pst_extractor_dump.js")


def place_key(place):
    return "lid:0x%04X" % place[1] if isinstance(place, tuple) else "0x%04X" % place


def contact_files(generator, work, count):
    # `count` contact files of a generated export (its groups, folders and messages left out),
    # copied into one folder in the order the converter will queue them.
    tree, chosen = os.path.join(work, "tree"), os.path.join(work, "in")
    subprocess.run([generator, tree, str(count + count // 8 + 20), "24"], check=True,
                   capture_output=True)
    os.makedirs(chosen)
    files = sorted(glob.glob(tree + "/**/*.meta", recursive=True))
    picked = [f for f in files if read_meta(f) is not None][:count]
    for number, path in enumerate(picked):
        shutil.copy(path, os.path.join(chosen, "%06d.meta" % number))
    return chosen, len(picked)


def compare(size, pst, problems):
    try:  # a reader that loops on a store it misreads is stopped
        run = subprocess.run(["node", DUMP, pst], capture_output=True, text=True,
                             timeout=60 + size // 20)
    except subprocess.TimeoutExpired:
        problems.append("%d contacts: pst-extractor did not finish" % size)
        return
    if run.returncode != 0:
        problems.append("%d contacts: pst-extractor: %s" % (size, run.stderr.strip()[-400:]))
        return
    seen = json.loads(run.stdout)
    contacts = seen.get("contacts") or []
    if len(contacts) != size or seen.get("contentCount") != size:
        problems.append("%d contacts: pst-extractor reads %d items (content count %s)"
                        % (size, len(contacts), seen.get("contentCount")))
    places = {p for _, _, p in PLACES.values() if p} | {0x3001}
    for number, (theirs, ours) in enumerate(zip(contacts, read_pst(pst))):
        for place in places:
            expected = ours.get(place)
            value = theirs.get(place_key(place))
            if hasattr(expected, "isoformat"):
                expected = expected.isoformat()
            if (expected or None) != (value or None):
                problems.append("%d contacts: item %d: %s reads %r, libpff %r"
                                % (size, number + 1, place_key(place), value, expected))
        if theirs.get("class") != "IPM.Contact":
            problems.append("%d contacts: item %d has class %r" % (size, number + 1,
                                                                    theirs.get("class")))


def check_size(program, generator, size, problems):
    with tempfile.TemporaryDirectory() as work:
        chosen, found = contact_files(generator, work, size)
        if found != size:
            problems.append("the generator gave %d contacts of %d" % (found, size))
        out = os.path.join(work, "out")
        convert = subprocess.run([program, "--pst", "--out", out, chosen], capture_output=True,
                                 text=True)
        stores = glob.glob(out + "/*.pst")
        if convert.returncode != 0 or len(stores) != 1:
            problems.append("%d contacts: exit %d: %s" % (size, convert.returncode,
                                                          convert.stderr[-400:]))
            return
        checker = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "pst_check.py"),
                                  stores[0]], capture_output=True, text=True)
        if checker.returncode != 0:
            problems.append("%d contacts: checker: %s" % (size, checker.stdout[-600:]))
        readpst = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "readpst_contacts.py"),
                                  stores[0]], capture_output=True, text=True)
        if readpst.returncode != 0 or len(json.loads(readpst.stdout)["contacts"]) != size:
            problems.append("%d contacts: readpst: %s" % (size, readpst.stderr[-400:]))
        compare(size, stores[0], problems)


def main(argv):
    program, generator, sizes = argv[1], argv[2], [int(s) for s in argv[3:]]
    problems = []
    for size in sizes:
        check_size(program, generator, size, problems)
    print("\n".join(problems[:200] + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
