#!/usr/bin/python3
# ZimbraContacts.vcf uploaded to a real CardDAV server, as an address book synchronising with one
# does: Radicale on a free localhost port, with a throw-away storage folder and no
# authentication. An address book is created with MKCOL, every card of the file goes up with one
# PUT of its own and must be accepted; then the collection is read back (PROPFIND for its
# members, GET for their cards) and every value compared as the outside-reader check compares
# it. The server is stopped whatever happens: at the end, on an exception or a signal, and by the
# kernel should this script be killed.
#
# usage: carddav_upload.py PLUMBRAE_CONVERT GENERATE_META_TREE
import base64
import ctypes
import hashlib
import http.client
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import vcard_file_readers as readers  # noqa: E402
import zimbra_outputs as z  # noqa: E402

AUTH = {"Authorization": "Basic " + base64.b64encode(b"plumbrae:any").decode()}
BOOK = "/plumbrae/contacts/"
MKCOL = """<?xml version="1.0" encoding="utf-8"?>
<mkcol xmlns="DAV:" xmlns:CR="urn:ietf:params:xml:ns:carddav"><set><prop>
<resourcetype><collection/><CR:addressbook/></resourcetype><displayname>Zimbra</displayname>
</prop></set></mkcol>"""
PROPFIND = """<?xml version="1.0" encoding="utf-8"?>
<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def die_with_parent():
    # The server ends when this script does, even when it is killed outright.
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def start_server(storage, port):
    server = subprocess.Popen(
        ["radicale", "--config", "", "--server-hosts", "127.0.0.1:%d" % port,
         "--auth-type", "none", "--storage-filesystem-folder", storage,
         "--logging-level", "warning"],
        stdout=subprocess.DEVNULL, stderr=open(storage + ".log", "w"), preexec_fn=die_with_parent)
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server
        except OSError:
            if server.poll() is not None:
                break
            time.sleep(0.1)
    raise RuntimeError("the CardDAV server did not start: " + open(storage + ".log").read())


def request(port, method, path, body=None, **headers):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        connection.request(method, path, body=body, headers={**AUTH, **headers})
        response = connection.getresponse()
        return response.status, response.read()
    finally:
        connection.close()


def href(uid):
    safe = re.fullmatch(r"[A-Za-z0-9._@-]{1,100}", uid)
    return BOOK + (uid if safe else hashlib.sha1(uid.encode()).hexdigest()) + ".vcf"


def upload_and_read_back(port, cards, problems):
    # Uploads every card; returns the cards read back, by UID, and the count accepted.
    status, _ = request(port, "MKCOL", BOOK, MKCOL, **{"Content-Type": "application/xml"})
    if status != 201:
        problems.append("MKCOL %s: %d" % (BOOK, status))
    accepted = 0
    for card in cards:
        uid = re.search(r"\r\nUID:([^\r]*)\r\n", card).group(1)
        status, body = request(port, "PUT", href(uid), card.encode("utf-8"),
                               **{"Content-Type": "text/vcard; charset=utf-8"})
        accepted += status == 201
        if status != 201:
            problems.append("PUT %s: %d %s" % (href(uid), status, body[:200]))
    status, listing = request(port, "PROPFIND", BOOK, PROPFIND, Depth="1",
                              **{"Content-Type": "application/xml"})
    members = re.findall(r"<href>([^<]*\.vcf)</href>", listing.decode("utf-8"))
    back = {}
    for member in members:
        status, body = request(port, "GET", member)
        text = body.decode("utf-8")
        back[re.search(r"\r?\nUID:([^\r\n]*)", text).group(1)] = text
    return back, accepted, len(members)


def main(argv):
    program, generator = argv[1], argv[2]
    problems = []
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by a signal"))
    with tempfile.TemporaryDirectory() as work:
        files, contacts = readers.make_export(generator, work)
        for option, out in (("--vcards", "/cards"), ("--excel", "/sheet")):
            readers.convert(program, option, work + out, files)
        with open(work + "/cards/" + readers.ONE_FILE, encoding="utf-8", newline="") as handle:
            cards = [card + "END:VCARD\r\n" for card in handle.read().split("END:VCARD\r\n")[:-1]]
        port = free_port()
        server = start_server(work + "/storage", port)
        try:
            back, accepted, listed = upload_and_read_back(port, cards, problems)
        finally:
            server.terminate()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        import vobject
        uids = [re.search(r"\r\nUID:([^\r]*)\r\n", card).group(1) for card in cards]
        read = [z.vobject_card_lines(vobject.readOne(back[uid])) if uid in back else []
                for uid in uids]
        expected = readers.expected_cards(contacts, z.read_csv(work + "/sheet/ZimbraContacts.csv"))
        equal, _, total = readers.compare("python3-vobject", read, expected, problems)
        print("Radicale: %d cards, %d PUTs accepted, %d listed, %d read back; %.2f%% of %d "
              "values read back equal" % (len(cards), accepted, listed, len(back),
                                          100.0 * equal / total, total))
        if not len(cards) == accepted == listed == len(back) == len(contacts):
            problems.append("not every card went up and came back")
    print("\n".join(problems + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
