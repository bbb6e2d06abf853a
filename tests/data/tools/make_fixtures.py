#!/usr/bin/env python3
"""Builds the .odt fixtures of tests/data from the flat OpenDocument sources in
tests/data/src, and records beside each the body text that the office suite's own text
interface (XText.getString) hands back for it, as UTF-8 (<name>.expected.txt).

Needs LibreOffice with its Python bridge (libreoffice-writer-nogui python3-uno); it is
run by hand when a fixture changes, never by the test suite.
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
            return proc, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.3)
    raise SystemExit("soffice did not start")


def main(names):
    profile = tempfile.mkdtemp(prefix="lo-profile-")
    proc, desktop = connect(profile)
    try:
        for source in sorted(os.listdir(SRC)):
            stem, ext = os.path.splitext(source)
            if ext != ".fodt" or (names and stem not in names):
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
    finally:
        try:
            desktop.terminate()
        except Exception:
            pass
        proc.wait(timeout=30)


if __name__ == "__main__":
    main(sys.argv[1:])
