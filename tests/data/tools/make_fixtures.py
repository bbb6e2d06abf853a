#!/usr/bin/env python3
"""Builds the .odt fixtures of tests/data from the flat OpenDocument sources in
tests/data/src, and records beside each the body text that the office suite's own text
interface (XText.getString) hands back for it, as UTF-8 (<name>.expected.txt).

Word documents: tests/data/docx holds documents that LibreOffice wrote from the same
sources (<name>.docx, rebuilt here) and documents that Microsoft Word wrote (word-*.docx,
from Apache Tika's test documents, kept as they are); beside each, the text that the
text interface gives after every tracked change is accepted (<name>.expected.txt). A
table that opens a document is put after an empty paragraph first, so that the text
interface (which begins after such a table) gives the table's text too.

Types that only LibreOffice reads here: tests/data/office/paragraphs.rtf and .doc, as
LibreOffice writes them from tests/data/src/paragraphs.fodt.

E-books: tests/data/epub/book.epub and book2.epub are what pandoc writes (EPUB 3 and 2)
from tests/data/src/book.md.

Needs LibreOffice with its Python bridge (libreoffice-writer-nogui python3-uno) and
pandoc; it is run by hand when a fixture changes, never by the test suite.

    tests/data/tools/make_fixtures.py [name...]        those fixtures (every one without names)
    tests/data/tools/make_fixtures.py odt|docx|epub... those kinds of fixture alone
"""
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.dirname(HERE)
SRC = os.path.join(DATA, "src")


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


# Fixtures whose text export differs from the text interface, so the text interface is
# asked: the export shows list labels and heading numbers, and fields as the document
# stored them, where the text interface shows them evaluated (hidden text, conditions).
FROM_TEXT_INTERFACE = {"lists", "hidden", "references"}


def text_export(odt, profile):
    """The office suite's text export of a document, without the byte-order mark and the
    final line feed that the export adds: the same text as the text interface gives,
    list labels aside. (Loading a document with comments through the bridge crashes
    LibreOffice 7.4 headless, so the export is the oracle where it can be.)"""
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile + "-convert",
                        "--convert-to", "txt:Text (encoded):UTF8,LF,,,", "--outdir", out, odt],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        name = os.path.splitext(os.path.basename(odt))[0] + ".txt"
        with open(os.path.join(out, name), encoding="utf-8-sig", newline="") as f:
            text = f.read()
    return text[:-1] if text.endswith("\n") else text


# The sources that LibreOffice also writes as Word documents (those with comments crash
# the bridge when loaded, see text_export).
DOCX_FROM_SOURCES = ["paragraphs", "lists", "table", "table2", "tracked", "fields", "frames", "sections", "languages"]


def docx_text(desktop, dispatcher, path):
    """The text interface's text of a Word document with every change accepted."""
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0, (prop("Hidden", True),))
    if doc is None:
        raise SystemExit("the office suite could not load " + path)
    try:
        dispatcher.executeDispatch(doc.getCurrentController().getFrame(), ".uno:AcceptAllTrackedChanges", "", 0, ())
        first = doc.Text.createEnumeration().nextElement()
        if first.supportsService("com.sun.star.text.TextTable"):
            doc.Text.insertTextContentBefore(doc.createInstance("com.sun.star.text.Paragraph"), first)
            text = doc.Text.getString()
            return text[1:]
        return doc.Text.getString()
    finally:
        doc.close(True)


def make_docx(desktop, dispatcher, profile, names):
    folder = os.path.join(DATA, "docx")
    os.makedirs(folder, exist_ok=True)
    for stem in DOCX_FROM_SOURCES:
        if names and stem not in names:
            continue
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile + "-convert",
                            "--convert-to", "docx:MS Word 2007 XML", "--outdir", out,
                            os.path.join(SRC, stem + ".fodt")],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.replace(os.path.join(out, stem + ".docx"), os.path.join(folder, stem + ".docx"))
    for name in sorted(os.listdir(folder)):
        stem, ext = os.path.splitext(name)
        if ext != ".docx" or (names and stem not in names):
            continue
        # The text interface separates paragraphs at the edge of a section with CR LF.
        text = docx_text(desktop, dispatcher, os.path.join(folder, name)).replace("\r\n", "\n")
        with open(os.path.join(folder, stem + ".expected.txt"), "w", encoding="utf-8", newline="") as f:
            f.write(text)
        print("docx/" + stem, repr(text[:80]))


def make_office(profile, names):
    """Documents of types that only LibreOffice reads here, as LibreOffice writes them."""
    if names and "paragraphs" not in names:
        return
    folder = os.path.join(DATA, "office")
    os.makedirs(folder, exist_ok=True)
    for target in ("rtf:Rich Text Format", "doc:MS Word 97"):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile + "-convert",
                            "--convert-to", target, "--outdir", out, os.path.join(SRC, "paragraphs.fodt")],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            name = "paragraphs." + target.split(":")[0]
            os.replace(os.path.join(out, name), os.path.join(folder, name))
            print("office/" + name)


def make_epub(names):
    if names and "book" not in names:
        return
    folder = os.path.join(DATA, "epub")
    os.makedirs(folder, exist_ok=True)
    for output, to in (("book.epub", "epub3"), ("book2.epub", "epub2")):
        subprocess.run(["pandoc", "-f", "markdown", "-t", to, "-o", os.path.join(folder, output),
                        os.path.join(SRC, "book.md")], check=True)
        print("epub/" + output)


desktop_context = []


def connect(profile):
    pipe = "vocatext_fixtures"
    proc = subprocess.Popen([
        "soffice", "--headless", "--invisible", "--norestore", "--nologo",
        "-env:UserInstallation=file://" + profile,
        "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe])
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(100):
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            desktop_context[:] = [ctx]
            return proc, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.3)
    raise SystemExit("soffice did not start")


KINDS = {"odt", "docx", "epub"}


def main(names):
    kinds = set(names) & KINDS or KINDS
    names = [n for n in names if n not in KINDS]
    profile = tempfile.mkdtemp(prefix="lo-profile-")
    proc, desktop = connect(profile)
    try:
        for source in sorted(os.listdir(SRC)):
            stem, ext = os.path.splitext(source)
            if "odt" not in kinds or ext != ".fodt" or (names and stem not in names):
                continue
            odt = os.path.join(DATA, stem + ".odt")
            with tempfile.TemporaryDirectory() as out:
                subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile + "-convert",
                                "--convert-to", "odt:writer8", "--outdir", out, os.path.join(SRC, source)],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                os.replace(os.path.join(out, stem + ".odt"), odt)
            text = text_export(odt, profile)
            if stem in FROM_TEXT_INTERFACE:
                doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(odt), "_blank", 0,
                                                   (prop("Hidden", True),))
                if doc is None:
                    raise SystemExit("the office suite could not load " + odt)
                text = doc.Text.getString()
                doc.close(True)
            with open(os.path.join(DATA, stem + ".expected.txt"), "w", encoding="utf-8", newline="") as f:
                f.write(text)
            print(stem, repr(text[:80]))
        dispatcher = desktop_context[0].ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.DispatchHelper", desktop_context[0])
        if "docx" in kinds:
            make_docx(desktop, dispatcher, profile, names)
            make_office(profile, names)
        if "epub" in kinds:
            make_epub(names)
    finally:
        try:
            desktop.terminate()
        except Exception:
            pass
        proc.wait(timeout=30)


if __name__ == "__main__":
    main(sys.argv[1:])
