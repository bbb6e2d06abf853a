#include "common/runtimeerror.h"
#include "documents/docxreader.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray Document(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
           "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><w:body>"
           + body + "</w:body></w:document>";
}

QByteArray P(const QByteArray &runs)
{
    return "<w:p>" + runs + "</w:p>";
}

QByteArray R(const QByteArray &text)
{
    return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}

QString Body(const QByteArray &body, DocumentFacts *facts = nullptr)
{
    return DocxBodyTextFromXml(Document(body), facts);
}

// A Word package around a main document part, as Word lays it out.
QString WritePackage(const QString &path, const QByteArray &documentXml,
                     const QList<std::pair<QString, QByteArray>> &more = {})
{
    QList<std::pair<QString, QByteArray>> entries = {
        {u"[Content_Types].xml"_s,
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
         "PartName=\"/word/document.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
        {u"_rels/.rels"_s,
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"word/document.xml\"/></Relationships>"},
        {u"word/document.xml"_s, documentXml}};
    entries += more;
    WriteZip(path, entries);
    return path;
}

QString Read(const QString &path, DocumentFacts *facts = nullptr, IEventLoop *events = nullptr)
{
    DocxReader reader(events);
    QString text;
    reader.ReadBodyText(path, [&text](QStringView piece) { text.append(piece); }, facts);
    return text;
}

QString ReadError(const QString &path)
{
    try {
        Read(path);
    } catch (const RuntimeError &e) {
        return e.description();
    }
    return QString();
}

} // namespace

// Documents that LibreOffice and Word wrote; the expected text is what LibreOffice's text
// interface hands back for each once every tracked change is accepted.
class WordDocument : public ::testing::TestWithParam<const char *>
{
};

TEST_P(WordDocument, ReadsTheSameTextAsTheOfficeSuite)
{
    const QString name = u"docx/"_s + QString::fromLatin1(GetParam());
    EXPECT_EQ(Read(TestDataPath(name + u".docx"_s)),
              QString::fromUtf8(ReadBytes(TestDataPath(name + u".expected.txt"_s))));
}

INSTANTIATE_TEST_SUITE_P(DocxReader, WordDocument,
                         ::testing::Values("paragraphs", "lists", "table", "table2", "tracked", "fields", "frames",
                                           "sections", "word-headings-tables", "word-footnote",
                                           "word-endnote-table", "word-text-boxes", "wps-fields-tables"));

TEST(DocxReader, MarkupAsTheOfficeSuiteReadsIt)
{
    const struct
    {
        QByteArray body;
        QString text;
    } cases[] = {
        // Field results as the document stored them; instructions never; a field without
        // a result shows nothing.
        {P(R("page ") + "<w:fldSimple w:instr=\" PAGE \">" + R("7") + "</w:fldSimple>" + R(" date ")
           + "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> DATE </w:instrText></w:r>"
             "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>"
           + R("1999") + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>" + R(" none ")
           + "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>NUMPAGES</w:instrText></w:r>"
             "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"),
         u"page 7 date 1999 none "_s},
        // Inserted and moved-here text is kept, deleted and moved-away text left out; a
        // deleted paragraph mark joins two paragraphs, a deleted row goes.
        {P("<w:ins>" + R("in") + "</w:ins><w:del><w:r><w:delText>out</w:delText></w:r></w:del><w:moveFrom>" + R("gone")
           + "</w:moveFrom><w:moveTo>" + R("here") + "</w:moveTo>")
             + "<w:p><w:pPr><w:rPr><w:del/></w:rPr></w:pPr>" + R("joined ") + "</w:p>" + P(R("next"))
             + "<w:tbl><w:tr><w:trPr><w:del/></w:trPr><w:tc>" + P(R("deleted row")) + "</w:tc></w:tr><w:tr><w:tc>"
             + P(R("kept row")) + "</w:tc></w:tr></w:tbl>",
         u"inhere\njoined next\nkept row"_s},
        // Tabs and line breaks; a page or column break splits its paragraph in two.
        {P("<w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:cr/><w:t>d</w:t><w:br w:type=\"page\"/>"
           "<w:t>e</w:t><w:br w:type=\"column\"/><w:br w:type=\"page\"/><w:t>f</w:t></w:r>")
             + P("<w:r><w:br w:type=\"page\"/><w:t>g</w:t></w:r>"),
         u"a\tb\nc\nd\ne\nf\ng"_s},
        // Footnotes and endnotes as their numbers (endnotes in Word's lower-case Roman
        // numbers), a custom mark as itself; text boxes and drawings never.
        {P(R("one") + "<w:r><w:footnoteReference w:id=\"2\"/></w:r>" + R(" two")
           + "<w:r><w:footnoteReference w:id=\"3\"/></w:r>" + R(" end")
           + "<w:r><w:endnoteReference w:id=\"2\"/></w:r><w:r><w:endnoteReference w:id=\"3\"/></w:r>" + R(" own")
           + "<w:r><w:footnoteReference w:customMarkFollows=\"1\" w:id=\"4\"/><w:t>*</w:t></w:r>"
           + "<w:r><w:drawing><wp:inline xmlns:wp=\"x\"><w:txbxContent><w:p><w:r><w:t>box</w:t></w:r></w:p>"
             "</w:txbxContent></wp:inline></w:drawing></w:r><w:r><w:pict><w:txbxContent>"
           + P(R("vml box")) + "</w:txbxContent></w:pict></w:r>"),
         u"one1 two2 endiii own*"_s},
        // Markup that may not be known: the first choice that is, else the fallback.
        {P("<mc:AlternateContent><mc:Choice Requires=\"w16se\">" + R("new") + "</mc:Choice><mc:Fallback>" + R("old")
           + "</mc:Fallback></mc:AlternateContent><mc:AlternateContent><mc:Choice Requires=\"wps\">" + R("shape")
           + "</mc:Choice><mc:Fallback>" + R("vml") + "</mc:Fallback></mc:AlternateContent>"),
         u"oldshape"_s},
        // Without xml:space="preserve" the white space around a run's text is the markup's;
        // a line end inside text is a space.
        {P("<w:r><w:t>  a  </w:t></w:r><w:r><w:t xml:space=\"preserve\"> b </w:t></w:r><w:r><w:t>c\nd</w:t></w:r>"),
         u"a b c d"_s},
        // Content controls, links and smart tags hold text; symbols, hyphens; a ruby's base alone.
        {"<w:sdt><w:sdtPr/><w:sdtContent>" + P("<w:hyperlink>" + R("link") + "</w:hyperlink><w:smartTag>" + R(" tag")
                                                + "</w:smartTag><w:sdt><w:sdtContent>" + R(" inline")
                                                + "</w:sdtContent></w:sdt>")
             + "</w:sdtContent></w:sdt>"
             + P("<w:r><w:t>x</w:t><w:noBreakHyphen/><w:t>y</w:t><w:softHyphen/><w:sym w:char=\"00E9\"/>"
                 "<w:ruby><w:rt>" + R("RT") + "</w:rt><w:rubyBase>" + R("base") + "</w:rubyBase></w:ruby></w:r>"),
         u"link tag inline\nx\u2011y\u00ad\u00e9base"_s},
        // An empty paragraph that only ends a section is no line; a drop cap opens the
        // paragraph after it; columns left free in a row are empty cells.
        {P(R("a")) + "<w:p><w:pPr><w:sectPr/></w:pPr></w:p><w:p><w:pPr><w:framePr w:dropCap=\"drop\"/></w:pPr>"
             + R("D") + "</w:p>" + P(R("rop cap"))
             + "<w:tbl><w:tr><w:trPr><w:gridBefore w:val=\"2\"/></w:trPr><w:tc>" + P(R("c")) + "</w:tc></w:tr></w:tbl>",
         u"a\nDrop cap\n\n\nc"_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Body(c.body), c.text) << c.body.toStdString();
}

TEST(DocxReader, TitleAuthorAndHeadingsWithTheirLines)
{
    QTemporaryDir dir;
    const QString path = WritePackage(
        dir.filePath(u"book.docx"_s),
        Document("<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/></w:pPr>" + R("Chapter one") + "</w:p>" + P(R("text"))
                 + P(R("more")) + "<w:p><w:pPr><w:pStyle w:val=\"Sub\"/></w:pPr>" + R("Part two") + "</w:p>"
                 + "<w:p><w:pPr><w:outlineLvl w:val=\"0\"/></w:pPr>" + R("Outline") + "</w:p>"
                 + "<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/><w:outlineLvl w:val=\"9\"/></w:pPr>" + R("Body") + "</w:p>"),
        {{u"word/_rels/document.xml.rels"_s,
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
          "Id=\"r1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
          "Target=\"styles.xml\"/></Relationships>"},
         {u"word/styles.xml"_s,
          "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
          "<w:style w:type=\"paragraph\" w:styleId=\"Heading1\"><w:name w:val=\"heading 1\"/></w:style>"
          "<w:style w:type=\"paragraph\" w:styleId=\"Heading2\"><w:name w:val=\"Second\"/><w:pPr>"
          "<w:outlineLvl w:val=\"1\"/></w:pPr></w:style>"
          "<w:style w:type=\"paragraph\" w:styleId=\"Sub\"><w:basedOn w:val=\"Heading2\"/></w:style></w:styles>"},
         {u"docProps/core.xml"_s,
          "<cp:coreProperties xmlns:cp=\"x\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title> A  Title "
          "</dc:title><dc:creator>Ann Author</dc:creator></cp:coreProperties>"}});
    DocumentFacts facts;
    EXPECT_EQ(Read(path, &facts), u"Chapter one\ntext\nmore\nPart two\nOutline\nBody"_s);
    EXPECT_EQ(facts.title, u"A Title"_s);
    EXPECT_EQ(facts.author, u"Ann Author"_s);
    ASSERT_EQ(facts.headings.size(), 3);
    EXPECT_EQ(facts.headings[0].title, u"Chapter one"_s);
    EXPECT_EQ(facts.headings[0].line, 0);
    EXPECT_EQ(facts.headings[1].title, u"Part two"_s);
    EXPECT_EQ(facts.headings[1].level, 2);
    EXPECT_EQ(facts.headings[1].line, 3);
    EXPECT_EQ(facts.headings[2].line, 4);

    // Damaged properties and styles name nothing; the text is read all the same.
    const QString damaged = WritePackage(
        dir.filePath(u"damaged.docx"_s),
        Document(P(R("words")) + "<w:p><w:pPr><w:outlineLvl w:val=\"0\"/></w:pPr>" + R("Outline") + "</w:p>"),
        {{u"word/_rels/document.xml.rels"_s,
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
          "Id=\"r1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
          "Target=\"styles.xml\"/></Relationships>"},
         {u"word/styles.xml"_s,
          "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:style"},
         {u"docProps/core.xml"_s,
          "<cp:coreProperties xmlns:cp=\"x\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:creator>Ann</dc:creator>"
          "<dc:title>A &#0; title</dc:title></cp:coreProperties>"}});
    DocumentFacts none;
    EXPECT_EQ(Read(damaged, &none), u"words\nOutline"_s);
    EXPECT_EQ(none.title + none.author, QString());
    ASSERT_EQ(none.headings.size(), 1);
    EXPECT_EQ(none.headings[0].title, u"Outline"_s);
}

TEST(DocxReader, DamagedLyingAndHostilePackagesAreRefused)
{
    QTemporaryDir dir;
    const QString notZip = dir.filePath(u"text.docx"_s);
    WriteBytes(notZip, "plain words");
    EXPECT_EQ(ReadError(notZip), u"The file is not a Word document: "_s + notZip);
    const QString noMain = dir.filePath(u"nomain.docx"_s);
    WriteZip(noMain, {{u"other.xml"_s, "<a/>"}});
    EXPECT_EQ(ReadError(noMain), u"The file is not a Word document: "_s + noMain);
    const QString sheet = WritePackage(dir.filePath(u"sheet.docx"_s), "<workbook/>");
    EXPECT_EQ(ReadError(sheet), u"The file is not a Word document: "_s + sheet);

    // Nesting beyond any document, read or skipped; fields that never end.
    EXPECT_THROW(Body(P(QByteArray("<w:hyperlink>").repeated(5000))), RuntimeError);
    EXPECT_THROW(Body(P("<w:r><w:drawing>" + QByteArray("<a>").repeated(5000))), RuntimeError);
    EXPECT_THROW(Body(P(QByteArray("<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>").repeated(2000))), RuntimeError);

    // Free columns are capped at the most a table has.
    EXPECT_EQ(Body("<w:tbl><w:tr><w:trPr><w:gridBefore w:val=\"1000000000\"/></w:trPr></w:tr></w:tbl>").count(u'\n'),
              62);

    // An honest zip bomb is refused from what it declares, before it inflates.
    const QString bomb = WritePackage(dir.filePath(u"bomb.docx"_s),
                                      Document(P(R(QByteArray("all work and no play ").repeated(1 << 20)))));
    FakeEventLoop events;
    DocxReader reader(&events);
    qint64 characters = 0;
    EXPECT_THROW(reader.ReadBodyText(bomb, [&characters](QStringView piece) { characters += piece.size(); }),
                 RuntimeError);
    EXPECT_EQ(characters, 0);
}

// A long document serves the window, and keeps the first kMaxDocumentHeadings headings.
TEST(DocxReader, ALongDocumentServesTheWindow)
{
    QByteArray body;
    for (int i = 0; i < 100000; ++i)
        body += "<w:p><w:pPr><w:outlineLvl w:val=\"1\"/></w:pPr>" + R("Paragraph " + QByteArray::number(i)) + "</w:p>";
    QTemporaryDir dir;
    const QString path = WritePackage(dir.filePath(u"long.docx"_s), Document(body));
    FakeEventLoop events;
    DocumentFacts facts;
    EXPECT_TRUE(Read(path, &facts, &events).endsWith(u"\nParagraph 99999"_s));
    EXPECT_GT(events.yields, 0);
    ASSERT_EQ(facts.headings.size(), kMaxDocumentHeadings);
    EXPECT_EQ(facts.headings.last().title, u"Paragraph 9999"_s);
}
