// The languages that documents give their passages, as every reader marks them.
#include "documents/docxreader.h"
#include "documents/epubreader.h"
#include "documents/htmlreader.h"
#include "documents/limits.h"
#include "documents/markdownreader.h"
#include "documents/odtreader.h"
#include "languages/languageruns.h"
#include "tests/testutil.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Marks = QList<LanguageMark>;

QString Read(IDocumentReader &&reader, const QString &path, DocumentFacts *facts)
{
    QString text;
    reader.ReadBodyText(path, [&text](QStringView piece) { text.append(piece); }, facts);
    return text;
}

// The marks as "line:column language" for messages that show what differs.
QString Shown(const Marks &marks)
{
    QStringList shown;
    for (const LanguageMark &mark : marks)
        shown << QString::number(mark.line) + u':' + QString::number(mark.column) + u' ' + mark.language;
    return shown.join(u", "_s);
}

QByteArray OdtContent(const QByteArray &styles, const QByteArray &body)
{
    return "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\"><office:automatic-styles>"
           + styles + "</office:automatic-styles><office:body><office:text>" + body
           + "</office:text></office:body></office:document-content>";
}

QByteArray Word(const QByteArray &body)
{
    return "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" + body
           + "</w:body></w:document>";
}

} // namespace

// An English document with a French and a Russian paragraph and a Hebrew word, as
// LibreOffice wrote it (its Asian and complex defaults zh-CN and hi-IN on every file), in
// each of its formats; and the voices its passages get.
TEST(LanguageMarks, DocumentsThatLibreOfficeWrote)
{
    const Marks expected = {{1, 0, u"fr-FR"_s},  {2, 0, u"ru-RU"_s},  {3, 0, u""_s},      {3, 9, u"he-IL"_s},
                            {3, 14, u""_s},      {4, 10, u"hi-IN"_s}, {4, 16, u""_s},     {4, 20, u"zh-CN"_s}};
    const QString expectedText = QString::fromUtf8(ReadBytes(TestDataPath(u"languages.expected.txt"_s)));
    for (const QString &name : {u"languages.odt"_s, u"src/languages.fodt"_s, u"docx/languages.docx"_s}) {
        DocumentFacts facts;
        const QString path = TestDataPath(name);
        const QString text = name.endsWith(u".docx"_s)   ? Read(DocxReader(), path, &facts)
                             : name.endsWith(u".fodt"_s) ? Read(FlatOdtReader(), path, &facts)
                                                         : Read(OdtReader(), path, &facts);
        EXPECT_EQ(text, expectedText) << name.toStdString();
        EXPECT_EQ(facts.language, u"en-US"_s) << name.toStdString();
        EXPECT_EQ(Shown(facts.languages), Shown(expected)) << name.toStdString();
    }

    QStringList voices;
    for (const LanguageRun &run : LanguageRuns(expectedText, u"en-US"_s, expected))
        voices << run.language + (run.marked ? u"*"_s : QString());
    EXPECT_EQ(voices.join(u' '), u"en-US* fr-FR* ru-RU* en-US* he-IL* en-US* he en-US* zh-CN*"_s);
}

// Styles based on styles (in loops too), spans in spans, repeated cells and tracked
// deletions in OpenDocument; runs, character and paragraph styles and defaults in Word;
// inherited lang and xml:lang in web pages and e-books; a Markdown front matter.
TEST(LanguageMarks, EveryReadersMarkup)
{
    DocumentFacts odt;
    OdtBodyTextFromXml(
        OdtContent("<style:style style:name=\"P1\" style:family=\"paragraph\" style:parent-style-name=\"P2\"/>"
                   "<style:style style:name=\"P2\" style:family=\"paragraph\" style:parent-style-name=\"P1\">"
                   "<style:text-properties fo:language=\"de\" fo:country=\"AT\"/></style:style>"
                   "<style:style style:name=\"T1\" style:family=\"text\"><style:text-properties fo:language=\"qlt\" "
                   "style:rfc-language-tag=\"sr-Latn-RS\"/></style:style>"
                   "<style:style style:name=\"T2\" style:family=\"text\" style:parent-style-name=\"T1\">"
                   "<style:text-properties style:language-asian=\"ja\" style:country-asian=\"JP\"/></style:style>",
                   "<text:p text:style-name=\"P1\">Wien <text:span text:style-name=\"T2\">Beograd <text:span>日本"
                   "</text:span></text:span> Graz</text:p><text:p>own</text:p>"
                   "<table:table><table:table-row><table:table-cell table:number-columns-repeated=\"2\">"
                   "<text:p text:style-name=\"P2\">Zelle</text:p></table:table-cell></table:table-row></table:table>"),
        &odt);
    EXPECT_EQ(Shown(odt.languages), u"0:0 de-AT, 0:5 sr-Latn-RS, 0:13 ja-JP, 0:16 de-AT, 1:0 , 2:0 de-AT"_s);

    QTemporaryDir dir;
    const QString docx = dir.filePath(u"a.docx"_s);
    WriteZip(docx,
             {{u"_rels/.rels"_s,
               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
               "Id=\"r\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
               "Target=\"word/document.xml\"/></Relationships>"},
              {u"word/_rels/document.xml.rels"_s,
               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
               "Id=\"s\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
               "Target=\"styles.xml\"/></Relationships>"},
              {u"word/styles.xml"_s,
               "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:docDefaults>"
               "<w:rPrDefault><w:rPr><w:lang w:val=\"en-GB\" w:eastAsia=\"zh-CN\" w:bidi=\"ar-SA\"/></w:rPr>"
               "</w:rPrDefault></w:docDefaults>"
               "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"/>"
               "<w:style w:type=\"paragraph\" w:styleId=\"Quote\"><w:basedOn w:val=\"Normal\"/><w:rPr>"
               "<w:lang w:val=\"it-IT\"/></w:rPr></w:style>"
               "<w:style w:type=\"paragraph\" w:styleId=\"Deeper\"><w:basedOn w:val=\"Quote\"/></w:style>"
               "<w:style w:type=\"character\" w:styleId=\"Hebrew\"><w:rPr><w:lang w:bidi=\"he-IL\"/></w:rPr>"
               "</w:style></w:styles>"},
              {u"word/document.xml"_s,
               Word("<w:p><w:r><w:t>One, עברית, 中文</w:t></w:r></w:p>"
                    "<w:p><w:pPr><w:pStyle w:val=\"Deeper\"/><w:rPr><w:lang w:val=\"pl-PL\"/></w:rPr></w:pPr>"
                    "<w:r><w:t>Due </w:t></w:r><w:r><w:rPr><w:rStyle w:val=\"Hebrew\"/></w:rPr><w:t>שלוש</w:t></w:r>"
                    "<w:r><w:rPr><w:lang w:val=\"x-none\" w:eastAsia=\"ja-JP\"/></w:rPr><w:t>四 four</w:t></w:r></w:p>")}});
    DocumentFacts word;
    Read(DocxReader(), docx, &word);
    EXPECT_EQ(word.language, u"en-GB"_s);
    // The paragraph mark's language is its own: no text of the paragraph takes it.
    EXPECT_EQ(Shown(word.languages), u"0:5 ar-SA, 0:12 zh-CN, 1:0 it-IT, 1:3 he-IL, 1:7 ja-JP, 1:9 und"_s);

    DocumentFacts page;
    HtmlBodyText("<html lang=\"en\"><body><p>Hello <span lang=\"fr_ca\">bonjour <b>toi</b></span> world</p>"
                 "<p xml:lang=\"de\" lang=\"nl\">Hallo</p><div lang=\"\"><p>?x</p></div><p lang=\"%%\">same</p>"
                 "<hr></body></html>",
                 &page);
    EXPECT_EQ(page.language, u"en"_s);
    EXPECT_EQ(Shown(page.languages), u"0:6 fr-CA, 0:18 , 1:0 de, 2:1 und, 3:0 "_s);

    DocumentFacts markdown;
    MarkdownText("---\ntitle: T\nlang: fr-ca\n---\nBonjour.\n\n<p lang=\"en\">Hello.</p>\n\n* * *\n\nFin.\n", &markdown);
    EXPECT_EQ(markdown.language, u"fr-CA"_s);
    EXPECT_EQ(Shown(markdown.languages), u"1:0 en, 2:0 "_s);

    const QString epub = dir.filePath(u"b.epub"_s);
    WriteZip(epub, {{u"mimetype"_s, "application/epub+zip"},
                    {u"META-INF/container.xml"_s,
                     "<container xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
                     "full-path=\"content.opf\"/></rootfiles></container>"},
                    {u"content.opf"_s,
                     "<package xmlns=\"http://www.idpf.org/2007/opf\"><metadata xmlns:dc=\"http://purl.org/dc/elements/"
                     "1.1/\"><dc:language>de</dc:language></metadata><manifest><item id=\"a\" href=\"a.xhtml\" "
                     "media-type=\"application/xhtml+xml\"/></manifest><spine><itemref idref=\"a\"/></spine></package>"},
                    {u"a.xhtml"_s, "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en-US\"><body><p>One</p>"
                                   "<p xml:lang=\"de\">Zwei</p></body></html>"}});
    DocumentFacts book;
    Read(EpubReader(), epub, &book);
    EXPECT_EQ(book.language, u"de"_s);
    EXPECT_EQ(Shown(book.languages), u"0:0 en-US, 1:0 "_s);
}

// A document that changes language at every word keeps the first marks, the last of them
// back to its own language, and costs little more than its text.
TEST(LanguageMarks, EndlessChangesAreCapped)
{
    const QByteArray run = "<w:r><w:rPr><w:lang w:val=\"fr\"/></w:rPr><w:t>a </w:t></w:r>"
                           "<w:r><w:rPr><w:lang w:val=\"de\"/></w:rPr><w:t>b </w:t></w:r>";
    QByteArray body = "<w:p>";
    for (int i = 0; i < 60000; ++i)
        body += run;
    body += "</w:p><w:p><w:r><w:t>end</w:t></w:r></w:p>";
    DocumentFacts facts;
    QElapsedTimer timer;
    timer.start();
    DocxBodyTextFromXml(Word(body), &facts);
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_EQ(facts.languages.size(), DocumentLimits::kMaxLanguageMarks);
    EXPECT_EQ(facts.languages.last().language, QString());
    EXPECT_EQ(facts.languages[1].column, 1);
    for (qsizetype i = 1; i < facts.languages.size(); ++i)
        ASSERT_LT(facts.languages[i - 1].column, facts.languages[i].column) << i;
}
