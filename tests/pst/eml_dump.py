#!/usr/bin/env python3
"""Prints, as JSON, what Python's email package reads from .eml files: the
subject, sender and recipient headers, the plain-text body and every
attachment (name and bytes in hex), embedded messages included."""
import email
import email.policy
import json
import sys


def undouble(text):
    """msgconvert writes Unicode bodies UTF-8 encoded twice; this undoes it."""
    try:
        return text.encode("latin-1").decode("utf-8")
    except (UnicodeEncodeError, UnicodeDecodeError):
        return text


def walk(message):
    body = None
    attachments = []
    for part in message.iter_parts() if message.is_multipart() else [message]:
        ctype = part.get_content_type()
        if ctype == "message/rfc822":
            inner = part.get_payload()[0] if isinstance(part.get_payload(), list) else part.get_payload()
            attachments.append({"name": part.get_filename() or "", "message": dump(inner)})
        elif part.is_multipart():
            inner = walk(part)
            body = body if body is not None else inner["body"]
            attachments += inner["attachments"]
        elif ctype == "text/plain" and part.get_filename() is None and body is None:
            body = undouble(part.get_content())
        else:
            attachments.append({"name": part.get_filename() or "",
                                "data": (part.get_payload(decode=True) or b"").hex()})
    return {"body": body, "attachments": attachments}


def dump(message):
    result = {key: str(message.get(key, "")) for key in ("Subject", "From", "To", "Cc")}
    result.update(walk(message))
    return result


out = []
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        out.append(dump(email.message_from_binary_file(f, policy=email.policy.default)))
json.dump(out, sys.stdout)
