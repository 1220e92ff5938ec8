#!/usr/bin/env python3
"""Checks the built help file against the pages it is made from.

Usage: check_help.py HELP_SOURCE_DIR TIDEWELL_QCH [PROGRAM]...

- The help file holds every file of the help project, with the content the
  source has now (a stale help file fails), and every page of the folder is part
  of the project.
- The context keywords that the program opens lead to their pages.
- Every local link and anchor of the pages, the contents and the keywords leads
  to a file and an anchor that exist; no page defines an anchor twice.
- Every option that a command-line PROGRAM lists in its --help is explained on
  the command-line page.
"""
import html.parser
import os
import re
import sqlite3
import subprocess
import sys
import urllib.parse
import xml.etree.ElementTree as ET
import zlib

CONTEXTS = {
    "context-4": "export-format.html",
    "context-5": "export-conditions.html",
    "context-178": "mail-list-error.html",
}

failures = []


def fail(message):
    failures.append(message)


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.anchors = []
        self.links = []

    def handle_starttag(self, tag, attrs):
        values = dict(attrs)
        if values.get("id"):
            self.anchors.append(values["id"])
        if tag == "a" and values.get("name") and values.get("name") != values.get("id"):
            self.anchors.append(values["name"])
        for attribute in ("href", "src"):
            if values.get(attribute):
                self.links.append((self.getpos()[0], values[attribute]))


def read_project(path):
    root = ET.parse(path).getroot()
    section = root.find("filterSection")
    files = [f.text for f in section.find("files").findall("file")]
    toc = [s.get("ref") for s in section.find("toc").iter("section")]
    keywords = [(k.get("id"), k.get("ref")) for k in section.find("keywords").findall("keyword")]
    return files, toc, keywords


def qch_contents(path):
    """File name -> bytes, and keyword id -> (file name, anchor), from a help file."""
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    files = {}
    for name, data in db.execute(
        "SELECT n.Name, d.Data FROM FileNameTable n JOIN FileDataTable d ON d.Id = n.FileId"
    ):
        # Stored as qCompress output: a 4-byte big-endian length, then zlib data.
        files[name] = zlib.decompress(bytes(data)[4:]) if data else b""
    keywords = {}
    for identifier, name, anchor in db.execute(
        "SELECT i.Identifier, n.Name, i.Anchor FROM IndexTable i "
        "JOIN FileNameTable n ON n.FileId = i.FileId WHERE i.Identifier IS NOT NULL"
    ):
        keywords[identifier] = (name, anchor or "")
    db.close()
    return files, keywords


def main():
    source_dir, qch = sys.argv[1], sys.argv[2]
    files, toc, keywords = read_project(os.path.join(source_dir, "tidewell.qhp"))

    pages = sorted(f for f in os.listdir(source_dir) if f.endswith(".html"))
    for page in pages:
        if page not in files:
            fail(f"{page} is not listed in tidewell.qhp")

    # Anchors of every page, and the links they make.
    anchors = {}
    links = []
    for name in files:
        path = os.path.join(source_dir, name)
        if not os.path.isfile(path):
            fail(f"tidewell.qhp lists {name}, which does not exist")
            continue
        if not name.endswith(".html"):
            continue
        parser = PageParser()
        with open(path, encoding="utf-8") as f:
            parser.feed(f.read())
        seen = set()
        for anchor in parser.anchors:
            if anchor in seen:
                fail(f"{name}: anchor {anchor} is defined twice")
            seen.add(anchor)
        anchors[name] = seen
        links += [(f"{name}:{line}", name, target) for line, target in parser.links]
    links += [("tidewell.qhp contents", None, ref) for ref in toc]
    links += [("tidewell.qhp keyword", None, ref) for _, ref in keywords]

    for where, page, target in links:
        parts = urllib.parse.urlsplit(target)
        if parts.scheme or parts.netloc:
            continue  # a link out of the help
        name = urllib.parse.unquote(parts.path) or page
        full = os.path.normpath(os.path.join(source_dir, name))
        if not os.path.exists(full):
            fail(f"{where}: link {target} leads to a missing file")
            continue
        if name not in files:
            fail(f"{where}: link {target} leads to a file the help file does not hold")
        if parts.fragment and parts.fragment not in anchors.get(name, set()):
            fail(f"{where}: link {target} leads to a missing anchor")

    project_contexts = {i: ref for i, ref in keywords if i}
    for identifier, page in CONTEXTS.items():
        if project_contexts.get(identifier) != page:
            fail(f"tidewell.qhp: keyword {identifier} should lead to {page}")

    if not os.path.isfile(qch):
        fail(f"{qch} was not built")
    else:
        built, built_keywords = qch_contents(qch)
        for name in files:
            path = os.path.join(source_dir, name)
            if name not in built:
                fail(f"{qch} does not hold {name}")
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    if built[name] != f.read():
                        fail(f"{qch} holds an old copy of {name}")
        for identifier, page in CONTEXTS.items():
            if built_keywords.get(identifier, ("", ""))[0] != page:
                fail(f"{qch}: keyword {identifier} does not lead to {page}")

    with open(os.path.join(source_dir, "command-line.html"), encoding="utf-8") as f:
        command_page = f.read()
    for program in sys.argv[3:]:
        usage = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
        for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", usage))):
            if option not in command_page:
                fail(f"command-line.html does not explain {os.path.basename(program)} {option}")

    for message in failures:
        print(message)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
