#!/usr/bin/env python3
"""Checks .eml files against what their mails held, with Python's email package.

Reads a JSON list of cases on standard input. Each case names a file and the
values it must carry:

  path          the .eml file
  multipart     whether it must be multipart/mixed
  from          [name, address] or null; to, cc, bcc: lists of [name, address]
                (an empty address stands for a named group without members)
  subject       "" when there is none
  date          the sent time as local "YYYY-MM-DD HH:MM:SS"; the offset must be
                the one in force then in the time zone of this process (TZ)
  importance, received, sensitivity   "" when the field must be absent
  body          the body text
  attachments   list of {"filename", "size", "sha256"}, in order

Prints one line per failed check and exits with 1 when there was any.
"""

import email
import email.policy
import hashlib
import json
import re
import sys
import time
from datetime import datetime, timedelta

POLICY = email.policy.default
ADJACENT_WORDS = re.compile(r"(\?=)\s+(=\?)")
BOUNDARY = re.compile(r"^[0-9A-Za-z]*=_[0-9A-Za-z]*$")


# An attachment's name is also given as encoded words in the quoted Content-Type
# name parameter, for the many readers that know no other form. RFC 2047 does
# not allow that, so Python notes it; it still decodes the name, which is
# compared with the RFC 2231 filename below.
NAME_WORD_DEFECTS = ("encoded word inside quoted string", "missing trailing whitespace after encoded-word")


def all_defects(message):
    found = []
    for part in message.walk():
        found += [(type(d).__name__, str(d)) for d in part.defects]
        for key, value in part.items():
            for d in getattr(value, "defects", ()):
                if key.lower() == "content-type" and str(d) in NAME_WORD_DEFECTS:
                    continue
                found.append((type(d).__name__, str(d)))
    return found


def mailboxes(raw_value):
    """(name, address) pairs of an address header.

    The display names are decoded from the header text with the white space
    between adjacent encoded words dropped, as RFC 2047 says; the address parser
    of Python 3.11 keeps that white space inside display names.
    """
    unfolded = re.sub(r"\r?\n", "", raw_value)
    header = POLICY.header_factory("To", ADJACENT_WORDS.sub(r"\1\2", unfolded))
    result = []
    for group in header.groups:
        if group.display_name is not None and not group.addresses:
            result.append([group.display_name, ""])
        for a in group.addresses:
            address = a.username + ("@" + a.domain if a.domain else "")
            result.append([a.display_name, address])
    return result


def local_offset(local):
    stamp = time.mktime(time.strptime(local, "%Y-%m-%d %H:%M:%S"))
    return time.localtime(stamp).tm_gmtoff


def check_raw(raw, errors):
    if not raw.endswith(b"\r\n.\r\n"):
        errors.append("the last line is not a single '.'")
    if re.search(rb"(?<!\r)\n|\r(?!\n)", raw):
        errors.append("a line does not end in CR LF")
    in_header = True
    for number, line in enumerate(raw.split(b"\r\n"), 1):
        if line == b"":
            in_header = False
            continue
        if line.startswith(b"--") and BOUNDARY.match(line.rstrip(b"-")[2:].decode("ascii", "replace")):
            in_header = True
            continue
        if in_header:
            # Folding can only break at white space: a line longer than 78
            # columns must be one token that cannot be broken (a long address),
            # and no line may pass the hard limit of 998.
            body = line[1:] if line[:1] in (b" ", b"\t") else line
            unbreakable = b" " not in body.strip() and b"\t" not in body
            if len(line) > 998 or (len(line) > 78 and not unbreakable):
                errors.append(f"header line {number} is {len(line)} columns long")
            if any(b > 0x7E for b in line):
                errors.append(f"header line {number} holds raw non-ASCII bytes")


def check_base64_lines(part, errors, single):
    lines = part.get_payload(decode=False).split("\r\n")
    lines = [l for l in lines if l != ""]
    if single and lines and lines[-1] == ".":
        lines.pop()
    if any(len(l) != 76 for l in lines[:-1]) or (lines and len(lines[-1]) > 76):
        errors.append("Base64 lines are not 76 columns long")


def check(case):
    errors = []
    with open(case["path"], "rb") as f:
        raw = f.read()
    check_raw(raw, errors)
    message = email.message_from_bytes(raw, policy=POLICY)
    single = not case["multipart"]

    expected_order = []
    if case["from"]:
        expected_order.append("From")
    if case["subject"]:
        expected_order.append("Subject")
    for key, name in (("to", "To"), ("cc", "Cc"), ("bcc", "Bcc")):
        if case[key]:
            expected_order.append(name)
    expected_order += ["Content-Type", "MIME-Version"]
    if single:
        expected_order.append("Content-Transfer-Encoding")
    expected_order.append("Date")
    for key, name in (("importance", "Importance"), ("received", "X-ReceivedTime"),
                      ("sensitivity", "Sensitivity")):
        if case[key]:
            expected_order.append(name)
    if message.keys() != expected_order:
        errors.append(f"fields {message.keys()} instead of {expected_order}")

    raw_fields = email.message_from_bytes(raw, policy=email.policy.compat32)
    for key, name in (("to", "To"), ("cc", "Cc"), ("bcc", "Bcc")):
        got = mailboxes(raw_fields[name]) if raw_fields[name] is not None else []
        if got != case[key]:
            errors.append(f"{name}: {got!r} instead of {case[key]!r}")
    got_from = mailboxes(raw_fields["From"]) if raw_fields["From"] is not None else []
    if got_from != ([case["from"]] if case["from"] else []):
        errors.append(f"From: {got_from!r} instead of {case['from']!r}")
    subject = str(message["Subject"]) if message["Subject"] is not None else ""
    if subject != case["subject"]:
        errors.append(f"Subject: {subject!r} instead of {case['subject']!r}")
    for key, name in (("importance", "Importance"), ("received", "X-ReceivedTime"),
                      ("sensitivity", "Sensitivity")):
        got = str(message[name]) if message[name] is not None else ""
        if got != case[key]:
            errors.append(f"{name}: {got!r} instead of {case[key]!r}")

    date = message["Date"].datetime if message["Date"] is not None else None
    want = datetime.strptime(case["date"], "%Y-%m-%d %H:%M:%S")
    if date is None or date.replace(tzinfo=None) != want:
        errors.append(f"Date: {message['Date']!r} is not the local time {case['date']}")
    elif date.utcoffset() != timedelta(seconds=local_offset(case["date"])):
        errors.append(f"Date: offset of {message['Date']!r} is not the one in force then")

    if single:
        if message.get_content_type() != "text/plain" or message.get_content_charset() != "utf-8":
            errors.append(f"content type {message['Content-Type']!r}")
        body = message.get_content()
        check_base64_lines(message, errors, True)
        attachments = []
    else:
        if message.get_content_type() != "multipart/mixed":
            errors.append(f"content type {message['Content-Type']!r}")
        boundary = message.get_boundary()
        if not (boundary and len(boundary) == 34 and BOUNDARY.match(boundary)):
            errors.append(f"boundary {boundary!r}")
        if (message.preamble or "").strip() != "This is a multi-part message in MIME format":
            errors.append(f"preamble {message.preamble!r}")
        parts = message.get_payload()
        text = parts[0]
        if text.get_content_type() != "text/plain" or text.get_content_charset() != "utf-8":
            errors.append(f"text part type {text['Content-Type']!r}")
        body = text.get_content()
        for part in parts:
            check_base64_lines(part, errors, False)
        attachments = []
        for part in parts[1:]:
            data = part.get_content()
            if part.get_content_disposition() != "attachment":
                errors.append(f"disposition {part['Content-Disposition']!r}")
            if part.get_param("name") is None or part["Content-Type"].params.get("name") != part.get_filename():
                errors.append(f"name parameter {part['Content-Type']!r}")
            attachments.append({"filename": part.get_filename(), "size": len(data),
                                "sha256": hashlib.sha256(data).hexdigest()})
    if body != case["body"]:
        errors.append(f"body {body[:200]!r} instead of {case['body'][:200]!r}")
    if attachments != case["attachments"]:
        errors.append(f"attachments {attachments!r} instead of {case['attachments']!r}")

    # The one defect allowed: the final "." line read as Base64 of a single part.
    allowed = [("InvalidBase64CharactersDefect",)] if single else []
    defects = all_defects(message)
    if [d[:1] for d in defects if d[0] == "InvalidBase64CharactersDefect"] != allowed:
        errors.append(f"defects {defects!r}")
    no_domain = any(a and "@" not in a for _, a in case["to"] + case["cc"] + case["bcc"] +
                    ([case["from"]] if case["from"] else []))
    for name, text in defects:
        if name == "InvalidBase64CharactersDefect":
            continue
        if no_domain and "local part with no domain" in text:
            continue
        errors.append(f"defect {name}: {text}")
    return errors


def main():
    failed = False
    for case in json.load(sys.stdin):
        try:
            errors = check(case)
        except Exception as e:  # a file the package cannot read at all
            errors = [f"{type(e).__name__}: {e}"]
        for error in errors:
            failed = True
            print(f"{case['path']}: {error}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
