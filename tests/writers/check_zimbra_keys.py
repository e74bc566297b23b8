#!/usr/bin/python3
"""Converts contacts holding every Zimbra key with plumbrae-convert into all three outputs and
reads each back with outside readers: every value must arrive where the key table puts it (the
vCards value for value in python3-vobject and in Evolution's reader). Then queues a contact, a
contact group, a folder, a message and a damaged file together and checks the closing lines and
the exit status of each saving option.

usage: check_zimbra_keys.py PLUMBRAE_CONVERT
"""
import glob
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zimbra_outputs as z  # noqa: E402


def bencoded(text):
    return "%d:%s" % (z.utf16_units(text), text)


def meta(fields, header="Zimbra-Contact-Id: 1\r\n"):
    pairs = "".join(bencoded(k) + bencoded(v) for k, v in sorted(fields.items()))
    return header + "d3:fldd" + pairs + "e1:vi10ee\r\n"


EVERY_KEY = {
    "firstName": " Zoë ", "lastName": "Müller-李", "middleName": "María", "namePrefix": "Dr.",
    "nameSuffix": "Jr.", "fullName": "not used: the names are given", "nickname": "Zo 🐼",
    "company": "Bäckerei Groß", "department": "R&D 🚀", "jobTitle": "課長", "office": "Room 5",
    "email": "zoe@example.ch", "email2": "z2@example.org", "email3": "z3@example.net",
    "workEmail1": "w1@work.example", "workEmail2": "w2@work.example",
    "workEmail3": "w3@work.example", "workPhone": "+41 44 100", "workPhone2": "+41 44 101",
    "companyPhone": "+41 44 102", "workFax": "+41 44 103", "mobilePhone": "+41 79 104",
    "mobilePhone2": "+41 78 105", "pager": "+1 800 106", "carPhone": "+49 171 107",
    "homePhone": "+41 43 108", "homePhone2": "+41 43 109", "homeFax": "+41 43 110",
    "otherPhone": "+33 1 111", "workStreet": "Bahnhofstraße 1", "workCity": "Zürich",
    "workPostalCode": "8001", "workState": "ZH", "workCountry": "Schweiz", "homeStreet": "銀座 1",
    "homeCity": "東京", "homePostalCode": "104", "homeState": "東京都", "homeCountry": "日本",
    "otherStreet": "Rue de l'Église 2", "otherCity": "Genève", "otherPostalCode": "1201",
    "otherState": "GE", "otherCountry": "Suisse",
    "homeURL": " HTTP://a.example/go?to=http://b.example ", "workURL": "https://work.example/zoe",
    "imAddress1": "xmpp://zoe@jabber.example", "imAddress2": "yahoo://zoe_y",
    "imAddress3": "other://zoe3", "birthday": "1984-03-17", "anniversary": "2010-06-02",
    "notes": "Line one\nLine: two 📧", "fileAs": "1", "vcardUID": "uid-1", "custom1": "x",
}
# Without first and last names, a second home address, dates without a year.
SECOND = {
    "fullName": "Acme Hotline", "homeStreet2": "Ferienweg 3", "homeCity2": "Locarno",
    "homeCountry2": "Schweiz", "homePostalCode2": "6600", "homeState2": "TI", "birthday": "--05-01", "anniversary": "--06-02",
    "imAddress1": "aim://acme", "company": "Acme",
}
GROUP = meta({"type": "group", "fileAs": "8:Family", "nickname": "Family",
              "dlist": "ann@example.com, bob@example.org"})
FOLDER = "Zimbra-Folder-Id: 7\r\nd1:vi10e2:vt7:contact3:i4ni258e4:mseqi1ee\r\n"
MESSAGE = json.dumps({"id": 300, "type": 5, "parent_id": 2, "folder_id": 2,
                      "metadata": "d1:vi10e2:fr5:Hello2:sll8:ann@x.chee", "Path": "/Inbox",
                      "Ver": 10})
DAMAGED = "Zimbra-Contact-Id: 9\r\nd3:fldd8:lastName9:Lee"

OPTIONS = ("--vcards", "--excel", "--pst")
SKIPPED = ["2 files were not contacts (folders, messages) and were skipped",
           "1 contact group was not converted: Family"]
SUCCESS = ["Zimbra Contacts converted successfully.", "Open Outlook to view converted PST file."]


def convert(program, option, out, files):
    result = subprocess.run([program, option, "--out", out] + files, capture_output=True,
                            text=True)
    return result.returncode, (result.stdout + result.stderr).splitlines()


def outputs(option, out):
    cards = rows = items = None
    if option == "--vcards":
        cards = z.read_vcards(out)
    elif option == "--excel":
        rows = z.read_xls(os.path.join(out, "ZimbraContacts.xls"))
    else:
        items = z.read_pst(glob.glob(os.path.join(out, "*.pst"))[0])
    return cards, rows, items


def check_keys(program, work, files, problems):
    contacts = [EVERY_KEY, SECOND]
    placed = {"vcard": set(), "xls": set(), "pst": set()}
    for option in OPTIONS:
        out = os.path.join(work, "keys" + option)
        status, lines = convert(program, option, out, files)
        if status != 0:
            problems.append("%s: exit %d: %s" % (option, status, lines))
            continue
        cards, rows, items = outputs(option, out)
        for index, fields in enumerate(contacts):
            for (key, output), arrived in z.check_contact(fields, index + 1, cards, rows, items,
                                                          index).items():
                placed[output].add(key)
                if not arrived:
                    problems.append("%s: contact %d: %s did not arrive in its place"
                                    % (option, index + 1, key))
    # Every key of the table reaches every output that has a place for it.
    for output, index in (("vcard", 0), ("xls", 1), ("pst", 2)):
        missing = sorted(k for k, places in z.PLACES.items()
                         if places[index] is not None and k not in placed[output])
        if missing:
            problems.append("%s: keys never checked: %s" % (output, ", ".join(missing)))


def check_queue(program, work, contact, others, damaged, problems):
    for option in OPTIONS:
        out = os.path.join(work, "queue" + option)
        status, lines = convert(program, option, out, [contact] + others)
        # A worksheet whose code page lacks a character says so; its CSV holds it exactly.
        whole = lines[:2] == SUCCESS or (option == "--excel" and "1 of 1 Zimbra Contacts "
                                          "converted." in lines)
        if status != 0 or not whole or not all(s in lines for s in SKIPPED):
            problems.append("%s without damage: exit %d, lines %s" % (option, status, lines))
        out = os.path.join(work, "damaged" + option)
        status, lines = convert(program, option, out, [contact] + others + [damaged])
        if option == "--pst":
            # The run stops at the damaged file with the Outlook error; the contact is saved.
            saved = z.read_pst(glob.glob(os.path.join(out, "*.pst"))[0])
            if status != 2 or "Outlook Session Creation Error !" not in lines or len(saved) != 1:
                problems.append("--pst with damage: exit %d, %d items, %s"
                                % (status, len(saved), lines))
        elif (status != 1 or "1 of 2 Zimbra Contacts converted." not in lines
              or not all(s in lines for s in SKIPPED)):
            problems.append("%s with damage: exit %d, lines %s" % (option, status, lines))


def main(argv):
    program = argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        paths = {}
        for name, text in (("every.meta", meta(EVERY_KEY)), ("second.meta", meta(SECOND)),
                           ("group.meta", GROUP), ("0000000007-Contacts.meta", FOLDER),
                           ("Inbox-300.eml.meta", MESSAGE), ("Inbox-301.eml.meta", FOLDER),
                           ("damaged.meta", DAMAGED)):
            paths[name] = os.path.join(work, name)
            with open(paths[name], "w", encoding="utf-8", newline="") as handle:
                handle.write(text)
        check_keys(program, work, [paths["every.meta"], paths["second.meta"]], problems)
        others = [paths["group.meta"], paths["0000000007-Contacts.meta"],
                  paths["Inbox-300.eml.meta"]]
        check_queue(program, work, paths["every.meta"], others, paths["damaged.meta"], problems)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
