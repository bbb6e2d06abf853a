#!/usr/bin/env python3
"""Writes the example documents of Samples/ as OpenDocument text packages (no office suite
needed). Run it when a text changes and commit the .odt files."""
import os
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:dc="http://purl.org/dc/elements/1.1/" '
      'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" office:version="1.3"')

STYLES = f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document-styles {NS}><office:styles>
<style:default-style style:family="paragraph"><style:text-properties style:font-name="Liberation Serif" fo:font-size="12pt"/></style:default-style>
<style:style style:name="Standard" style:family="paragraph"/>
<style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph"><style:paragraph-properties fo:margin-top="0.4cm" fo:margin-bottom="0.2cm"/><style:text-properties fo:font-size="18pt" fo:font-weight="bold"/></style:style>
<style:style style:name="Heading_20_2" style:display-name="Heading 2" style:family="paragraph"><style:paragraph-properties fo:margin-top="0.3cm" fo:margin-bottom="0.1cm"/><style:text-properties fo:font-size="14pt" fo:font-weight="bold"/></style:style>
<style:style style:name="Text_20_body" style:display-name="Text body" style:family="paragraph"><style:paragraph-properties fo:margin-bottom="0.25cm"/></style:style>
</office:styles>
<office:automatic-styles><style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm" fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2cm" fo:margin-right="2cm"/></style:page-layout></office:automatic-styles>
<office:master-styles><style:master-page style:name="Standard" style:page-layout-name="pm1"/></office:master-styles>
</office:document-styles>
"""

LIST_STYLE = """<text:list-style style:name="L1">
<text:list-level-style-bullet text:level="1" text:bullet-char="•"><style:list-level-properties text:space-before="0.6cm" text:min-label-width="0.5cm"/></text:list-level-style-bullet>
<text:list-level-style-bullet text:level="2" text:bullet-char="◦"><style:list-level-properties text:space-before="1.2cm" text:min-label-width="0.5cm"/></text:list-level-style-bullet>
</text:list-style>
<text:list-style style:name="L2">
<text:list-level-style-number text:level="1" style:num-format="1" style:num-suffix="."><style:list-level-properties text:space-before="0.6cm" text:min-label-width="0.6cm"/></text:list-level-style-number>
</text:list-style>
<style:style style:name="Table1" style:family="table"><style:table-properties style:width="17cm" table:align="margins"/></style:style>
<style:style style:name="Table1.A1" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:border="0.5pt solid #000000"/></style:style>"""


def h(text, level=1):
    return f'<text:h text:style-name="Heading_20_{level}" text:outline-level="{level}">{escape(text)}</text:h>'


def p(text):
    return f'<text:p text:style-name="Text_20_body">{escape(text)}</text:p>'


def items(entries, style="L1"):
    out = [f'<text:list text:style-name="{style}">']
    for entry in entries:
        if isinstance(entry, tuple):
            head, children = entry
            out.append(f'<text:list-item><text:p text:style-name="Standard">{escape(head)}</text:p>'
                       + items(children, style) + '</text:list-item>')
        else:
            out.append(f'<text:list-item><text:p text:style-name="Standard">{escape(entry)}</text:p></text:list-item>')
    out.append('</text:list>')
    return "".join(out)


def table(rows):
    columns = len(rows[0])
    out = [f'<table:table table:name="Table1" table:style-name="Table1">'
           f'<table:table-column table:number-columns-repeated="{columns}"/>']
    for r, row in enumerate(rows):
        if r == 0:
            out.append('<table:table-header-rows>')
        out.append('<table:table-row>')
        for cell in row:
            out.append('<table:table-cell table:style-name="Table1.A1" office:value-type="string">'
                       f'<text:p text:style-name="Standard">{escape(cell)}</text:p></table:table-cell>')
        out.append('</table:table-row>')
        if r == 0:
            out.append('</table:table-header-rows>')
    out.append('</table:table>')
    return "".join(out)


def write(name, title, body):
    content = (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content {NS}>'
               f'<office:automatic-styles>{LIST_STYLE}</office:automatic-styles>'
               f'<office:body><office:text>{"".join(body)}</office:text></office:body></office:document-content>\n')
    meta = (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-meta {NS}><office:meta>'
            f'<dc:title>{escape(title)}</dc:title><meta:generator>Vocatext samples</meta:generator>'
            f'</office:meta></office:document-meta>\n')
    manifest = ('<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest '
                'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">'
                '<manifest:file-entry manifest:full-path="/" manifest:version="1.3" '
                'manifest:media-type="application/vnd.oasis.opendocument.text"/>'
                '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                '<manifest:file-entry manifest:full-path="styles.xml" manifest:media-type="text/xml"/>'
                '<manifest:file-entry manifest:full-path="meta.xml" manifest:media-type="text/xml"/>'
                '</manifest:manifest>\n')
    path = os.path.join(HERE, name)
    fixed = (2024, 1, 1, 0, 0, 0)  # the same bytes on every run
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("mimetype", fixed), "application/vnd.oasis.opendocument.text",
                   compress_type=zipfile.ZIP_STORED)
        for entry, data in (("content.xml", content), ("styles.xml", STYLES), ("meta.xml", meta),
                            ("META-INF/manifest.xml", manifest)):
            z.writestr(zipfile.ZipInfo(entry, fixed), data, compress_type=zipfile.ZIP_DEFLATED)


write("Welcome to Vocatext.odt", "Welcome to Vocatext", [
    h("Welcome to Vocatext"),
    p("This short document is one of the examples that come with Vocatext. When you convert it, "
      "you will hear it read aloud in the voice, at the speed and at the volume that you chose."),
    p("Vocatext reads the text of each document in your list, cuts it into pieces that are easy to "
      "speak, and turns every piece into sound. The pieces are then joined into one MP3 file that has "
      "the same name as the document."),
    h("A few tips", 2),
    p("A slower speech rate is easier to follow when the text is difficult. A faster rate is handy "
      "for a quick review of something you already know."),
    p("Headings, lists and tables are read as plain sentences, one after another, so a well written "
      "paragraph sounds best. Enjoy listening!"),
])

write("Packing List.odt", "Packing List", [
    h("Packing List for a Weekend Trip"),
    p("Here is a list, to show how Vocatext reads bullet points and numbered steps."),
    items(["Clothes", ("Toiletries", ["Toothbrush and toothpaste", "Sun cream"]), "A good book",
           "Phone charger"]),
    h("Before leaving", 2),
    items(["Water the plants.", "Close every window.", "Lock the front door."], style="L2"),
    p("Each item is spoken as its own short sentence; the bullets and numbers themselves are left out."),
])

write("Planets Table.odt", "Planets Table", [
    h("The Inner Planets"),
    p("This table lists the four planets closest to the Sun. Vocatext reads a table row by row, "
      "from left to right."),
    table([["Planet", "Distance from the Sun", "Moons"],
           ["Mercury", "58 million kilometres", "none"],
           ["Venus", "108 million kilometres", "none"],
           ["Earth", "150 million kilometres", "one"],
           ["Mars", "228 million kilometres", "two"]]),
    p("Listen to how each cell becomes a short phrase of its own."),
])

write("Numbers and Punctuation.odt", "Numbers and Punctuation", [
    h("Numbers and Punctuation"),
    p("Numbers are read as words: 7, 42, 1999 and 2024. A price such as 19.99 is read as a "
      "number too."),
    p("Questions rise at the end, don't they? Exclamations are spoken with more energy! "
      "Commas, semicolons; and full stops make the voice pause."),
    p("Some marks are replaced by short pauses before speaking: colons, dashes, brackets, quotation "
      "marks (like these) and symbols such as % or &."),
    p("The meeting is on 12 May at 10.30, in room 3B; please bring 2 copies."),
])
