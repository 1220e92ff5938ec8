#!/usr/bin/env python3
"""Reads every .eml file below a folder with Python's email package and prints,
as JSON, per file (path relative to the folder): the subject, the plain-text
body, the HTML body, and each attachment's file name, size and SHA-256.
Embedded messages (message/rfc822 parts) are listed with their subject and
body instead of bytes."""
import email
import email.policy
import hashlib
import json
import os
import sys


def describe(msg):
    out = {"subject": str(msg.get("Subject", "")), "body": None, "html": None,
           "messageId": str(msg.get("Message-Id", "")), "attachments": []}
    for part in msg.walk() if msg.is_multipart() else [msg]:
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        disposition = part.get_content_disposition()
        if ctype == "message/rfc822":
            inner = part.get_payload(0) if part.is_multipart() else part.get_payload()[0]
            out["attachments"].append({"filename": part.get_filename(), "message": describe(inner)})
            continue
        if disposition == "attachment" or part.get_filename():
            data = part.get_payload(decode=True) or b""
            out["attachments"].append({"filename": part.get_filename(), "size": len(data),
                                       "sha256": hashlib.sha256(data).hexdigest()})
        elif ctype == "text/plain" and out["body"] is None:
            out["body"] = part.get_content()
        elif ctype == "text/html" and out["html"] is None:
            out["html"] = part.get_content()
    return out


def main():
    top = sys.argv[1]
    result = {}
    for dirpath, _, files in os.walk(top):
        for name in files:
            if not name.endswith(".eml"):
                continue
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                msg = email.message_from_binary_file(f, policy=email.policy.default)
            result[os.path.relpath(path, top)] = describe(msg)
    json.dump(result, sys.stdout, ensure_ascii=False, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
