#!/usr/bin/env python3
"""Reads a data file written from a mailbox description with two independent
readers, pffexport -m all and readpst, and compares what they find with the
description: the folders, and per mail the subject, the body (plain, HTML or
RTF), and every attachment's name, size and SHA-256 (embedded messages
recursively). Prints one line per difference; exit status 1 when there is any.

    check_readers.py description.json data.pst work-folder

pffexport drops the first two bytes of a subject without the prefix marker
that begins with a non-ASCII character, reads 8-bit strings other than the
body as windows-1252 (its code page option garbles Unicode strings) and
garbles characters beyond the first plane; the comparison allows for that.
readpst misses empty attachments and embedded messages, names 932 as
ISO-2022-JP, writes no appointments and reads no two-level sub-node trees;
those are left to pffexport, which in turn skips attachments without an attach
method, left to readpst. Folders
whose names are longer than a file name may be cannot be
created by either reader and are skipped."""
import base64
import collections
import email
import email.policy
import hashlib
import json
import os
import re
import subprocess
import sys

CODECS = {932: "cp932", 50220: "iso2022_jp", 50221: "iso2022_jp", 50222: "iso2022_jp",
          65001: "utf-8", 20932: "euc_jp", 1252: "cp1252"}


def generated(seed, size):
    out = bytearray()
    state = seed
    while len(out) < size:
        state = (state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        out += state.to_bytes(8, "little")
    return bytes(out[:size])


def content(att, base):
    if "data" in att:
        return att["data"].encode("utf-8")
    if "base64" in att:
        return base64.b64decode(att["base64"])
    if "file" in att:
        with open(os.path.join(base, att["file"]), "rb") as f:
            return f.read()
    if "size" in att:
        return generated(att["seed"], att["size"])
    return b""


def digest(data):
    return (len(data), hashlib.sha256(data).hexdigest())


def shown(mail, text):
    """A string as pffexport shows it: 8-bit strings read as windows-1252."""
    if mail.get("eightBit"):
        return text.encode(CODECS[mail["codePage"]]).decode("cp1252", "replace")
    return text


def shown_body(mail):
    """pffexport decodes an 8-bit body in code page 932, and leaves ISO-2022-JP as it is."""
    if mail.get("class", "IPM.Note") != "IPM.Note" or "body" not in mail:
        return None
    if mail.get("eightBit") and CODECS[mail["codePage"]] == "iso2022_jp":
        return mail["body"].encode("iso2022_jp").decode("ascii")
    return mail["body"]


def expected_mail(mail, base):
    subject = mail.get("subjectPrefix", "") + mail.get("subject", "")
    atts = []
    for a in mail.get("attachments", []):
        if "message" in a:
            atts.append(("message", expected_mail(a["message"], base)))
        elif a.get("method", True):
            atts.append((a.get("name", ""), digest(content(a, base))))
        else:
            atts.append(("without method", (a.get("name", ""), digest(content(a, base)))))
    subject_shown = shown(mail, subject)
    if not mail.get("subjectMarker") and not mail.get("subjectPrefix") and subject_shown[:1] >= "\x80":
        # libpff takes a first byte of 0x80 or more for the prefix marker and
        # drops two bytes of the UTF-8 text.
        subject_shown = subject_shown.encode("utf-8")[2:].decode("utf-8", "replace")
    return {"subject": subject_shown, "body": shown_body(mail),
            "text": (subject, mail.get("body")),
            "html": mail["html"].encode(CODECS[mail.get("htmlCodePage", 65001)]) if "html" in mail else None,
            "rtf": mail.get("rtf"), "attachments": atts, "class": mail.get("class", "IPM.Note"),
            "cp932": mail.get("eightBit") and mail.get("codePage") == 932}


def described(desc, base):
    folders, mails = [], []
    if not desc.get("ipmSubtreeIsRoot"):
        folders.append(desc.get("deletedItemsName", "Deleted Items"))
        mails += [expected_mail(m, base) for m in desc.get("deletedItems", [])]

    def walk(f):
        if len(f["name"].encode("utf-8")) > 255:
            return
        folders.append(f["name"])
        mails.extend(expected_mail(m, base) for m in f.get("mails", []))
        for s in f.get("folders", []):
            walk(s)
    for f in desc.get("folders", []):
        walk(f)
    return folders, mails


def read_text(path, binary=False):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    return data if binary else data.decode("utf-8", "replace")


ITEM = r"(Message|Appointment|Contact|Task|Meeting|Note|Activity)\d{5}"


def pff_message(path):
    headers = read_text(os.path.join(path, "OutlookHeaders.txt")) or ""
    for other in ("Appointment.txt", "Contact.txt", "Task.txt"):
        headers += read_text(os.path.join(path, other)) or ""
    m = re.search(r"^Subject:\t+(.*)$", headers, re.M)
    atts = []
    adir = os.path.join(path, "Attachments")
    entries = sorted(os.listdir(adir), key=lambda n: int(re.sub(r"\D.*", "", n.replace("Attachment", "")) or 0)) \
        if os.path.isdir(adir) else []
    for name in entries:
        full = os.path.join(adir, name)
        if os.path.isdir(full):
            inner = [d for d in os.listdir(full) if re.match(r"Message\d{5}$", d)]
            atts.append(("message", pff_message(os.path.join(full, inner[0])) if inner else None))
        else:
            atts.append((name.split("_", 1)[1], digest(read_text(full, True))))
    return {"subject": m.group(1) if m else "", "body": read_text(os.path.join(path, "Message.txt")),
            "html": read_text(os.path.join(path, "Message.html"), True),
            "rtf": read_text(os.path.join(path, "Message.rtf")), "attachments": atts}


def same(expected, found, where, faults):
    for key in ("subject", "body", "html"):
        if expected[key] is not None and expected[key] != found[key]:
            faults.append("%s: %s %r, expected %r" % (where, key, found[key], expected[key]))
    if expected["rtf"] is not None and (found["rtf"] or "").rstrip("\0 \r\n") != expected["rtf"]:
        faults.append("%s: rtf %r, expected %r" % (where, found["rtf"], expected["rtf"]))
    if len(expected["attachments"]) != len(found["attachments"]):
        faults.append("%s: %d attachments, expected %d" % (where, len(found["attachments"]),
                                                            len(expected["attachments"])))
        return
    for (ename, edata), (fname, fdata) in zip(expected["attachments"], found["attachments"]):
        if ename == "message":
            if fdata is None:
                faults.append("%s: embedded message missing" % where)
            else:
                same(edata, fdata, where + " > embedded", faults)
        elif (ename, edata) != (fname, fdata):
            faults.append("%s: attachment %r %r, expected %r %r" % (where, fname, fdata, ename, edata))


def check_pffexport(pst, work, folders, mails, faults):
    target = os.path.join(work, "pff")
    subprocess.run(["pffexport", "-m", "all", "-q", "-t", target, pst],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # With the IPM subtree at the root, the user's folders are the export's top.
    top = target + ".export"
    if os.path.isdir(os.path.join(top, "Top of Personal Folders")):
        top = os.path.join(top, "Top of Personal Folders")
    found_folders, found = 0, []
    for dirpath, dirs, _ in os.walk(top):
        rel = os.path.relpath(dirpath, top)
        if rel == "." or "Attachments" in rel.split(os.sep) or re.search(ITEM, rel):
            continue
        found_folders += 1
        for d in sorted(dirs):
            if re.match(ITEM + "$", d):
                found.append(pff_message(os.path.join(dirpath, d)))
    if found_folders != len(folders):
        faults.append("pffexport: %d folders, described %d" % (found_folders, len(folders)))
    # libpff turns characters beyond the first plane into other ones; both sides
    # are compared with those characters masked.
    def mask(m):
        m = dict(m)
        for key in ("subject", "body"):
            if m[key] is not None:
                m[key] = re.sub("[\U00010000-\U0010FFFF]", "*", m[key])
        m["attachments"] = [(n, mask(d) if n == "message" and d else d) for n, d in m["attachments"]]
        return m
    def pff_view(m):
        m = mask(m)
        m["attachments"] = [a for a in m["attachments"] if a[0] != "without method"]
        return m
    match([pff_view(m) for m in mails], [mask(m) for m in found], "pffexport", faults)


def match(expected, found, reader, faults):
    by_subject = collections.defaultdict(list)
    for f in found:
        by_subject[f["subject"]].append(f)
    for e in expected:
        candidates = by_subject.get(e["subject"], [])
        best = None
        for c in candidates:
            trial = []
            same(e, c, reader, trial)
            if not trial:
                best = c
                break
        if best is None:
            if candidates:
                same(e, candidates[0], "%s, mail %r" % (reader, e["subject"]), faults)
            else:
                faults.append("%s: no mail %r" % (reader, e["subject"]))
            continue
        candidates.remove(best)
    for subject, left in by_subject.items():
        for f in left:
            faults.append("%s: mail %r is not in the description" % (reader, subject))


def check_readpst(pst, work, mails, faults):
    target = os.path.join(work, "readpst")
    os.makedirs(target, exist_ok=True)
    subprocess.run(["readpst", "-D", "-e", "-j", "0", "-o", target, pst],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    found = []
    for dirpath, _, files in os.walk(target):
        for name in files:
            if not name.endswith(".eml"):
                continue
            with open(os.path.join(dirpath, name), "rb") as f:
                msg = email.message_from_binary_file(f, policy=email.policy.default)
            body, atts = None, []
            for part in msg.walk():
                if part.is_multipart():
                    continue
                if part.get_filename() and part.get_filename() != "rtf-body.rtf":
                    atts.append((part.get_filename(), digest(part.get_payload(decode=True) or b"")))
                elif part.get_content_type() == "text/plain" and body is None:
                    body = part.get_content().replace("\r\n", "\n")
            found.append({"subject": str(msg.get("Subject", "")), "body": body, "html": None,
                          "rtf": None, "attachments": sorted(atts)})
    wanted = []
    for e in mails:
        # A mail with more sub-nodes than one list holds (attachments and its
        # two tables) has a two-level sub-node tree, which readpst cannot read.
        if e["class"] != "IPM.Note" or e["cp932"] or len(e["attachments"]) + 2 > 340:
            continue
        subject, body = e["text"]
        e = dict(e, subject=subject, html=None, rtf=None, body=body.replace("\r\n", "\n") if body else None)
        atts = [a[1] if a[0] == "without method" else a for a in e["attachments"] if a[0] != "message"]
        e["attachments"] = sorted(a for a in atts if a[1][0] > 0)
        wanted.append(e)
    # The mail in code page 932 comes out garbled: it is left to pffexport.
    skipped = {e["text"][0] for e in mails} - {e["subject"] for e in wanted}
    match(wanted, [f for f in found if "\ufffd" not in f["subject"] and f["subject"] not in skipped],
          "readpst", faults)


def main():
    desc_path, pst, work = sys.argv[1:4]
    with open(desc_path, encoding="utf-8") as f:
        desc = json.load(f)
    folders, mails = described(desc, os.path.dirname(os.path.abspath(desc_path)))
    faults = []
    check_pffexport(pst, work, folders, mails, faults)
    check_readpst(pst, work, mails, faults)
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
