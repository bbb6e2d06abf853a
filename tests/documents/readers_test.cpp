// The readers of e-books, plain text, web pages, Markdown and flat OpenDocument, the one
// that tells the types apart, and the way through LibreOffice.
#include "common/runtimeerror.h"
#include "documents/dispatchingreader.h"
#include "documents/epubreader.h"
#include "documents/htmlreader.h"
#include "documents/markdownreader.h"
#include "documents/odtreader.h"
#include "documents/officeconverter.h"
#include "documents/textreader.h"
#include "system/posixprocessrunner.h"
#include "system/privateworkingfolder.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString Read(IDocumentReader &reader, const QString &path, DocumentFacts *facts = nullptr)
{
    QString text;
    reader.ReadBodyText(path, [&text](QStringView piece) { text.append(piece); }, facts);
    return text;
}

QString ReadError(IDocumentReader &reader, const QString &path)
{
    try {
        Read(reader, path);
    } catch (const RuntimeError &e) {
        return e.description();
    }
    return QString();
}

// The line of the text (from 0) that a heading points at.
QString Line(const QString &text, qint64 line)
{
    return text.split(u'\n').value(line);
}

QByteArray Xhtml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
           "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\"><html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>t</title></head><body>"
           + body + "</body></html>";
}

// An EPUB 3 book: its chapters in the spine in the order given, a navigation document
// (in the spine too, as some books have it), and the entries the caller adds.
QString WriteBook(const QString &path, const QList<std::pair<QString, QByteArray>> &chapters, const QByteArray &nav,
                  QList<std::pair<QString, QByteArray>> more = {}, const QByteArray &title = "The Title",
                  const QByteArray &items = "")
{
    QByteArray manifest =
        "<item id=\"nav\" href=\"nav.xhtml\" properties=\"nav\" media-type=\"application/xhtml+xml\"/>" + items;
    QByteArray spine = "<itemref idref=\"nav\"/>";
    QList<std::pair<QString, QByteArray>> entries = {
        {u"mimetype"_s, "application/epub+zip"},
        {u"META-INF/container.xml"_s,
         "<container xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" version=\"1.0\"><rootfiles>"
         "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles>"
         "</container>"},
        {u"OEBPS/nav.xhtml"_s, Xhtml("<nav epub:type=\"toc\"><ol>" + nav + "</ol></nav>")}};
    for (qsizetype i = 0; i < chapters.size(); ++i) {
        const QByteArray id = "c" + QByteArray::number(i);
        manifest += "<item id=\"" + id + "\" href=\"" + chapters[i].first.toUtf8()
                    + "\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
        entries.append({u"OEBPS/"_s + chapters[i].first, chapters[i].second});
    }
    entries.append({u"OEBPS/content.opf"_s,
                    "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\"><metadata "
                    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>" + title + "</dc:title>"
                    "<dc:creator>First Author</dc:creator><dc:creator>Second</dc:creator></metadata><manifest>"
                        + manifest + "</manifest><spine>" + spine + "</spine></package>"});
    entries += more;
    WriteZip(path, entries);
    return path;
}

} // namespace

// The flat sources of the OpenDocument fixtures read as the documents made from them.
TEST(FlatOdtReader, ReadsTheSameTextAsThePackageMadeFromIt)
{
    FlatOdtReader reader;
    // (The sources' dates and spaces are as they were written, the packages' as LibreOffice saved them.)
    for (const char *name : {"paragraphs", "lists", "table", "notes", "tracked", "frames"}) {
        const QString stem = QString::fromLatin1(name);
        EXPECT_EQ(Read(reader, TestDataPath(u"src/"_s + stem + u".fodt"_s)),
                  QString::fromUtf8(ReadBytes(TestDataPath(stem + u".expected.txt"_s))))
            << name;
    }
}

TEST(EpubReader, TheSpineInOrderWithChaptersTitleAndAuthor)
{
    QTemporaryDir dir;
    const QString book = WriteBook(
        dir.filePath(u"book.epub"_s),
        {{u"text/one.xhtml"_s, Xhtml("<h1>One</h1><p>First&nbsp;chapter, caf&eacute;.</p>")},
         {u"text/two.xhtml"_s, Xhtml("<h1>Two</h1><p>Intro.</p><section id=\"later\"><h2>Later</h2><p>Text.</p></section>")},
         // Not well-formed XML: read as HTML, as reading systems do.
         {u"text/three.xhtml"_s, "<html><body><p>Broken <b>markup<p>still read<script src=\"a.js\"/><p>after"}},
        "<li><a href=\"text/one.xhtml\">Chapter One</a></li><li><a href=\"text/two.xhtml\">Chapter Two</a><ol><li>"
        "<a href=\"text/two.xhtml#later\">Later on</a></li></ol></li><li><a href=\"text/three.xhtml\">Three</a></li>");
    EpubReader reader;
    DocumentFacts facts;
    const QString text = Read(reader, book, &facts);
    EXPECT_EQ(text, u"One\nFirst\u00a0chapter, caf\u00e9.\nTwo\nIntro.\nLater\nText.\nBroken markup\nstill read\nafter"_s);
    EXPECT_EQ(facts.title, u"The Title"_s);
    EXPECT_EQ(facts.author, u"First Author"_s);
    ASSERT_EQ(facts.headings.size(), 4);
    const QStringList lines = {u"One"_s, u"Two"_s, u"Later"_s, u"Broken markup"_s};
    const int levels[] = {1, 1, 2, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Line(text, facts.headings[i].line), lines[i]) << i;
        EXPECT_EQ(facts.headings[i].level, levels[i]) << i;
    }
    EXPECT_EQ(facts.headings[2].title, u"Later on"_s);

    // Its cover: the picture EPUB 3 marks as the cover image.
    const QByteArray png = "\x89PNG\r\n\x1a\n picture";
    DocumentFacts covered;
    Read(reader,
         WriteBook(dir.filePath(u"cover.epub"_s), {{u"one.xhtml"_s, Xhtml("<p>Text.</p>")}}, "",
                   {{u"OEBPS/img/front.png"_s, png}}, "Covered",
                   "<item id=\"pic\" href=\"img/front.png\" media-type=\"image/png\" properties=\"cover-image\"/>"),
         &covered);
    EXPECT_EQ(covered.cover, png);
    EXPECT_EQ(covered.coverType, u"image/png"_s);

    // Its own pronunciations: the PLS lexicons of its manifest.
    const QByteArray pls = "<lexicon version=\"1.0\" xmlns=\"http://www.w3.org/2005/01/pronunciation-lexicon\" "
                           "alphabet=\"ipa\" xml:lang=\"en\"><lexeme><grapheme>Eowyn</grapheme>"
                           "<alias>Ay-oh-win</alias></lexeme></lexicon>";
    DocumentFacts spoken;
    Read(reader,
         WriteBook(dir.filePath(u"said.epub"_s), {{u"one.xhtml"_s, Xhtml("<p>Eowyn rode.</p>")}}, "",
                   {{u"OEBPS/names.pls"_s, pls}}, "Said",
                   "<item id=\"names\" href=\"names.pls\" media-type=\"application/pls+xml\"/>"),
         &spoken);
    EXPECT_EQ(spoken.lexicons, QList<QByteArray>{pls});
}

// Books that pandoc wrote, EPUB 3 and EPUB 2 (table of contents in toc.ncx).
TEST(EpubReader, BooksThatPandocWrote)
{
    for (const QString &name : {u"epub/book.epub"_s, u"epub/book2.epub"_s}) {
        EpubReader reader;
        DocumentFacts facts;
        const QString text = Read(reader, TestDataPath(name), &facts);
        EXPECT_TRUE(text.contains(u"\nThe Mouth\nAt last the river meets the sea, and its water turns salt."_s));
        EXPECT_EQ(facts.title, u"A Short Book of Rivers"_s);
        EXPECT_EQ(facts.author, u"Ada Fernsby"_s);
        QStringList chapters;
        for (const DocumentHeading &heading : facts.headings) {
            EXPECT_EQ(Line(text, heading.line), heading.title) << name.toStdString();
            chapters.append(heading.title);
        }
        EXPECT_TRUE(chapters.join(u'|').endsWith(u"The Source|The Middle Course|Meanders|Floods|The Mouth"_s))
            << chapters.join(u'|').toStdString();
    }
}

TEST(EpubReader, ProtectedDamagedAndHostileBooks)
{
    QTemporaryDir dir;
    EpubReader reader;
    const QList<std::pair<QString, QByteArray>> chapter = {{u"c.xhtml"_s, Xhtml("<p>words</p>")}};
    auto encryption = [](const char *algorithm) {
        return std::pair{u"META-INF/encryption.xml"_s,
                         "<encryption xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" "
                         "xmlns:enc=\"http://www.w3.org/2001/04/xmlenc#\"><enc:EncryptedData><enc:EncryptionMethod "
                         "Algorithm=\"" + QByteArray(algorithm) + "\"/><enc:CipherData><enc:CipherReference "
                         "URI=\"OEBPS/c.xhtml\"/></enc:CipherData></enc:EncryptedData></encryption>"};
    };
    const QString drm = WriteBook(dir.filePath(u"drm.epub"_s), chapter, "", {encryption("http://www.w3.org/2001/04/xmlenc#aes128-cbc")});
    EXPECT_EQ(ReadError(reader, drm),
              u"The book is protected by DRM (its seller's copy protection) and cannot be read aloud: "_s + drm);
    const QString adobe = WriteBook(dir.filePath(u"adobe.epub"_s), chapter, "", {{u"META-INF/rights.xml"_s, "<r/>"}});
    EXPECT_TRUE(ReadError(reader, adobe).startsWith(u"The book is protected by DRM"_s));
    // Fonts obfuscated as EPUB allows are no protection of the text.
    const QString fonts = WriteBook(dir.filePath(u"fonts.epub"_s), chapter, "", {encryption("http://www.idpf.org/2008/embedding")});
    EXPECT_EQ(Read(reader, fonts), u"words"_s);

    // Damage inside the metadata costs the title and author (the first page's title
    // stands, as in a book that names none), not the text.
    DocumentFacts facts;
    const QString meta = WriteBook(dir.filePath(u"meta.epub"_s), chapter, "", {}, "A &#0; title");
    EXPECT_EQ(Read(reader, meta, &facts), u"words"_s);
    EXPECT_EQ(facts.title + u'|' + facts.author, u"t|"_s);
    const QString damaged = WriteBook(dir.filePath(u"damaged.epub"_s), chapter, "", {}, "</dc:title></metadata><x>");
    EXPECT_TRUE(ReadError(reader, damaged).startsWith(u"The document is damaged"_s));

    const QString notBook = dir.filePath(u"zip.epub"_s);
    WriteZip(notBook, {{u"a.txt"_s, "a"}});
    EXPECT_EQ(ReadError(reader, notBook), u"The file is not an EPUB book: "_s + notBook);

    // A document named a thousand times in the spine is read once; many parts that are
    // small in the package but vast together are refused before they inflate.
    QByteArray spine;
    QList<std::pair<QString, QByteArray>> same;
    for (int i = 0; i < 1000; ++i)
        same.append({u"c.xhtml"_s, Xhtml("<p>once</p>")});
    EXPECT_EQ(Read(reader, WriteBook(dir.filePath(u"repeat.epub"_s), same, "")), u"once"_s);
    QList<std::pair<QString, QByteArray>> many;
    const QByteArray big = Xhtml("<p>" + QByteArray(4 << 20, 'a') + "</p>");
    for (int i = 0; i < 60; ++i)
        many.append({u"c"_s + QString::number(i) + u".xhtml"_s, big});
    const QString bombs = WriteBook(dir.filePath(u"bombs.epub"_s), many, "");
    qint64 characters = 0;
    EXPECT_THROW(reader.ReadBodyText(bombs, [&characters](QStringView piece) { characters += piece.size(); }),
                 RuntimeError);
    EXPECT_LT(characters, 80 << 20);
}

TEST(TextReader, EncodingsAndLineEnds)
{
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"one\ntwo\n", u"one\ntwo"_s},
        {"one\r\ntwo\rthree\n\nfive", u"one\ntwo\nthree\n\nfive"_s},
        {"\xEF\xBB\xBF" "caf\xC3\xA9", u"caf\u00e9"_s},
        {"caf\xC3\xA9 na\xC3\xAFve", u"caf\u00e9 na\u00efve"_s},
        {"caf\xE9 \x80", u"caf\u00e9 \u20ac"_s},      // not UTF-8: Windows-1252
        {"ok\ncaf\xC3", u"ok\ncaf\u00c3"_s},          // UTF-8 cut off at the end is none
        {QByteArray("\xFF\xFEh\0i\0\n\0\xAC\x20", 10), u"hi\n\u20ac"_s},
        {QByteArray("\xFE\xFF\0h\0i", 6), u"hi"_s},
        {QByteArray("\xFF\xFE\0\0h\0\0\0\n\0\0\0\xAC\x20\0\0", 16), u"h\n\u20ac"_s},
        {QByteArray("\0\0\xFE\xFF\0\0\0h\0\x01\xF6\x00", 12), u"h\U0001F600"_s},
        {"", QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PlainTextFromBytes(c.bytes), c.text) << c.bytes.toStdString();
    QTemporaryDir dir;
    const QString binary = dir.filePath(u"picture.txt"_s);
    WriteBytes(binary, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    TextReader reader;
    EXPECT_EQ(ReadError(reader, binary), u"The file is not a text document: "_s + binary);
}

TEST(HtmlReader, TheBodyAsABrowserShowsIt)
{
    const struct
    {
        QByteArray page;
        QString text;
    } cases[] = {
        {"<p>One   two\n three</p><p>Four<br>five<br/></p>text <b>bold</b><div>block</div>after",
         u"One two three\nFour\nfive\ntext bold\nblock\nafter"_s},
        {"<head><style>p{}</style><script>var x = '<p>no</p>';</script></head><body><noscript>Enable</noscript>"
         "<p hidden>gone</p><p>kept<!-- comment --></p><select><option>menu</option></select></body>",
         u"kept"_s},
        {"<pre>\n  code\n    indented</pre><table><tr><td>a</td><td>b</td></tr></table>",
         u"  code\n    indented\na\nb"_s},
        {"<p>A <img src=\"a.png\" alt=\"red door\"> and <img alt=\"photo.jpg\" src=\"photo.jpg\"></p>"
         "<ul><li>x</li><li>y</li></ul>",
         u"A red door and\nx\ny"_s},
        {"<p>caf&eacute; &amp; &#8364; &nbsp;<ruby>\xe6\xbc\xa2<rt>kan</rt></ruby></p>", u"caf\u00e9 & \u20ac \u00a0\u6f22"_s},
        // The page's own character set.
        {"<meta charset=\"windows-1252\"><p>caf\xE9 \x80</p>", u"caf\u00e9 \u20ac"_s},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-7\"><p>\xE1\xE2\xE3</p>",
         u"\u03b1\u03b2\u03b3"_s},
        {"<p>caf\xE9</p>", u"caf\u00e9"_s}, // no charset and no UTF-8: Windows-1252
    };
    for (const auto &c : cases)
        EXPECT_EQ(HtmlBodyText(c.page), c.text) << c.page.toStdString();

    DocumentFacts facts;
    const QString text = HtmlBodyText("<html><head><title> Page  title </title><meta name=\"author\" content=\"Ann\">"
                                      "</head><body><h1>Top</h1><p>a</p><h2>Sub <i>part</i></h2><p>b</p></body></html>",
                                      &facts);
    EXPECT_EQ(text, u"Top\na\nSub part\nb"_s);
    EXPECT_EQ(facts.title, u"Page title"_s);
    EXPECT_EQ(facts.author, u"Ann"_s);
    ASSERT_EQ(facts.headings.size(), 2);
    EXPECT_EQ(facts.headings[1].title, u"Sub part"_s);
    EXPECT_EQ(facts.headings[1].level, 2);
    EXPECT_EQ(facts.headings[1].line, 2);

    // Nesting beyond any page is refused, as are pages whose parse grows without end.
    EXPECT_THROW(HtmlBodyText(QByteArray("<div>").repeated(5000) + "x"), RuntimeError);
    QByteArray formatting;
    for (int i = 0; i < 3000; ++i)
        formatting += "<b id=" + QByteArray::number(i) + ">";
    EXPECT_THROW(HtmlBodyText(formatting + QByteArray("</p><p>x").repeated(20000)), RuntimeError);
}

TEST(HtmlReader, XhtmlIsReadAsXmlWithHtmlsEntities)
{
    QTemporaryDir dir;
    const QString page = dir.filePath(u"page.xhtml"_s);
    WriteBytes(page, Xhtml("<p>non&nbsp;breaking <![CDATA[<kept>]]></p><p/><p>after an empty one</p>"));
    HtmlReader reader(nullptr, HtmlReader::Syntax::Xhtml);
    EXPECT_EQ(Read(reader, page), u"non\u00a0breaking <kept>\nafter an empty one"_s);
}

TEST(MarkdownReader, TheTextItsHtmlWouldShow)
{
    const struct
    {
        QByteArray markdown;
        QString text;
    } cases[] = {
        {"# Title\n\nSome *em* and **strong** text\nover two lines.\n\n- one\n- two\n\n1. first\n",
         u"Title\nSome em and strong text over two lines.\none\ntwo\nfirst"_s},
        {"```\ncode line\n  indented\n```\n\n| a | b |\n|---|---|\n| 1 | 2 |\n", u"code line\n  indented\na\nb\n1\n2"_s},
        {"A [link](http://x.org \"title\") and ![a picture](p.png), `code`, &amp; &#233; <span>tag</span> x  \nend",
         u"A link and a picture , code, & \u00e9 tag x\nend"_s},
        {"<div>\n<p>raw html</p>\n</div>\n\n> quoted\n", u"raw html\nquoted"_s},
        // Scripts and styles are never read, however the Markdown around them breaks them up.
        {"text <script>alert('x')</script> more <STYLE media=x>p {}</style>end", u"text more end"_s},
        {"<div><script>\n\nvar secret = 1;\n\n</script></div>\n\nafter", u"after"_s},
        {"a <script>\n\nvar x;\n\n# not a heading\n\n- no item\n</script> b\n\n<scripts>c</scripts>", u"a\nb\nc"_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MarkdownText(c.markdown), c.text) << c.markdown.toStdString();

    DocumentFacts front;
    EXPECT_EQ(MarkdownText("---\ntitle: \"A Book\"\nauthor: Ann Author\n---\n# One\ntext\n## Two\n", &front),
              u"One\ntext\nTwo"_s);
    EXPECT_EQ(front.title, u"A Book"_s);
    EXPECT_EQ(front.author, u"Ann Author"_s);
    ASSERT_EQ(front.headings.size(), 2);
    EXPECT_EQ(front.headings[1].line, 2);
    DocumentFacts heading;
    MarkdownText("# The Title\n\nbody\n", &heading);
    EXPECT_EQ(heading.title, u"The Title"_s);
    // A front matter too large for its fields, or with too long a line, names nothing and is never read.
    for (const QByteArray &matter :
         {"title: " + QByteArray(1 << 20, 'a'), QByteArray("title: T\nx: y\n").repeated(10000)}) {
        DocumentFacts skipped;
        EXPECT_EQ(MarkdownText("---\n" + matter + "\n---\ntext\n", &skipped), u"text"_s);
        EXPECT_EQ(skipped.title, QString());
    }

    EXPECT_THROW(MarkdownText(QByteArray("> ").repeated(5000) + "deep"), RuntimeError);
}

// The type comes from the content; the extension only tells kinds of plain text apart.
TEST(DocumentReaders, ListItemsAndTableCellsAreMarkedOnTheLinesTheyBegin)
{
    using Kind = DocumentBlock::Kind;
    DispatchingReader reader(nullptr, nullptr, nullptr, QString());
    const auto blocks = [&reader](const QString &path) {
        DocumentFacts facts;
        Read(reader, TestDataPath(path), &facts);
        return facts.blocks;
    };
    const auto lines = [](Kind kind, const QList<qint64> &at) {
        QList<DocumentBlock> marked;
        for (const qint64 line : at)
            marked.append({line, kind});
        return marked;
    };
    // A list's header, an item's second paragraph (in Word: numbering 0) begin no item.
    for (const QString &path : {u"lists.odt"_s, u"docx/lists.docx"_s})
        EXPECT_EQ(blocks(path), lines(Kind::ListItem, {1, 2, 3, 4, 7})) << path.toStdString();
    // A cell's second paragraph begins no cell; an empty cell is one.
    for (const QString &path : {u"table.odt"_s, u"docx/table.docx"_s})
        EXPECT_EQ(blocks(path), lines(Kind::TableCell, {1, 2, 3, 4, 5, 6, 8, 9, 10})) << path.toStdString();
    DocumentFacts markdown;
    MarkdownText("- one\n- two\n\n| a | b |\n|---|---|\n| c | d |\n\nEnd\n", &markdown);
    EXPECT_EQ(markdown.blocks, lines(Kind::ListItem, {0, 1}) + lines(Kind::TableCell, {2, 3, 4, 5}));
}

TEST(DispatchingReader, TheTypeIsTheContentsNotTheName)
{
    QTemporaryDir dir;
    auto file = [&dir](const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        WriteBytes(path, bytes);
        return path;
    };
    const QString docx = dir.filePath(u"renamed.odt"_s);
    QFile::copy(TestDataPath(u"docx/paragraphs.docx"_s), docx);
    const QString odt = dir.filePath(u"renamed.docx"_s);
    QFile::copy(TestDataPath(u"paragraphs.odt"_s), odt);
    const QString epub = dir.filePath(u"book.zip"_s);
    QFile::copy(TestDataPath(u"epub/book.epub"_s), epub);
    const QString fodt = dir.filePath(u"flat.xml"_s);
    QFile::copy(TestDataPath(u"src/lists.fodt"_s), fodt);
    const struct
    {
        QString path;
        DocumentType type;
    } cases[] = {
        {docx, DocumentType::Docx},
        {odt, DocumentType::Odt},
        {epub, DocumentType::Epub},
        {fodt, DocumentType::FlatOdt},
        {file(u"page.txt"_s, "\n<!DOCTYPE html><p>x"), DocumentType::Html},
        {file(u"page"_s, "<?xml version=\"1.0\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"/>"), DocumentType::Xhtml},
        {file(u"notes.md"_s, "# notes"), DocumentType::Markdown},
        {file(u"README"_s, "plain words"), DocumentType::Text},
        {file(u"WIDE"_s, QByteArray("\xFF\xFE\0\0w\0\0\0", 8)), DocumentType::Text},
        {file(u"letter.txt"_s, "{\\rtf1\\ansi hello}"), DocumentType::Office},
        {file(u"old.doc"_s, "plain words"), DocumentType::Office},
        {file(u"empty.txt"_s, ""), DocumentType::Text},
        {file(u"photo.png"_s, QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)), DocumentType::Unknown},
        {file(u"plan.xml"_s, "<speak version=\"1.1\" xmlns=\"http://www.w3.org/2001/10/synthesis\" xml:lang=\"en\">"
                             "<p><voice name=\"Narrator\">Say <phoneme alphabet=\"ipa\" ph=\"t\xC9\x99\"> tomato </phoneme>"
                             "</voice></p>"
                             "<p xml:lang=\"fr\">Bonjour <sub alias=\"doctor\">Dr.</sub><break time=\"1s\"/>Au revoir</p>"
                             "<p>End <prosody rate=\"slow\" volume=\"soft\">slowly</prosody></p></speak>"),
         DocumentType::Ssml},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SniffDocumentType(c.path), c.type) << c.path.toStdString();

    DispatchingReader reader(nullptr, nullptr, nullptr, QString());
    EXPECT_EQ(Read(reader, docx), QString::fromUtf8(ReadBytes(TestDataPath(u"docx/paragraphs.expected.txt"_s))));
    // A speech plan: its paragraphs as lines, its languages, voices and prosody as marks,
    // its phonemes as the document's own lexicon, what <sub> says as the words.
    DocumentFacts planned;
    EXPECT_EQ(Read(reader, cases[13].path, &planned), u"Say tomato\nBonjour doctor\nAu revoir\nEnd slowly\n"_s);
    EXPECT_EQ(planned.language, u"en"_s);
    EXPECT_EQ(planned.languages, (QList<LanguageMark>{{0, 0, u""_s, u"Narrator"_s},
                                                      {1, 0, u"fr"_s},
                                                      {3, 0, u""_s},
                                                      {3, 4, u""_s, u""_s, 75, 50}}));
    EXPECT_EQ(planned.lexicons, QList<QByteArray>{"tomato = /t\xC9\x99/\n"});
    EXPECT_EQ(Read(reader, odt), QString::fromUtf8(ReadBytes(TestDataPath(u"paragraphs.expected.txt"_s))));
    // A file whose content is not what its name claims is refused by that type's reader.
    const QString words = file(u"words.docx"_s, "plain words");
    EXPECT_EQ(ReadError(reader, words), u"The file is not a Word document: "_s + words);
    const QString picture = file(u"picture.odt"_s, QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
    EXPECT_EQ(ReadError(reader, picture), u"The file is not an OpenDocument package: "_s + picture);
    EXPECT_EQ(ReadError(reader, cases[12].path), u"Vocatext cannot read this type of file: "_s + cases[12].path);
    // A password-protected Word document is a compound file with an encrypted package.
    QByteArray compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    compound += QByteArray(1000, '\0') + QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    const QString secret = file(u"secret.docx"_s, compound);
    EXPECT_EQ(ReadError(reader, secret), u"The document is password-protected: "_s + secret);
    // Without LibreOffice, what only it reads says so.
    EXPECT_EQ(ReadError(reader, cases[9].path),
              u"This type of document needs LibreOffice: apt-get install libreoffice-writer-nogui"_s);
}

// LibreOffice's part, with a program in its place that behaves as soffice.bin does.
class OfficeConverterTest : public ::testing::Test
{
protected:
    OfficeConverterTest()
        : temp("TEMP", work.path())
        , processes(QString())
    {
        ::chmod(QFile::encodeName(work.path()).constData(), 0700);
    }

    // A stand-in for LibreOffice: body is shell, with $out the --outdir and $doc the document.
    QString Office(const QByteArray &body)
    {
        const QString path = programs.filePath(u"soffice.bin"_s);
        WriteBytes(path, "#!/bin/sh\nfor a; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; doc=$a; done\n"
                         "echo \"$@\" >> " + QFile::encodeName(programs.filePath(u"calls"_s)) + "\n" + body);
        ::chmod(QFile::encodeName(path).constData(), 0700);
        return path;
    }

    QString Convert(const QString &office, const QString &document, int limit = 60)
    {
        OfficeConverter converter(&processes, &working, &events, office, limit);
        return Read(converter, document);
    }

    QTemporaryDir work;
    QTemporaryDir programs;
    QTemporaryDir docs;
    ScopedEnv temp;
    FakeEventLoop events;
    PosixProcessRunner processes;
    PrivateWorkingFolder working;
};

TEST_F(OfficeConverterTest, TheConvertedDocumentIsReadAndItsFolderGoes)
{
    const QString document = docs.filePath(u"letter \"one\".rtf"_s);
    WriteBytes(document, "{\\rtf1 x}");
    // A fresh profile makes LibreOffice end with 81 and ask to be started again.
    const QString office = Office("profile=$(echo \"$@\" | sed 's|.*UserInstallation=file://\\([^ ]*\\).*|\\1|')\n"
                                  "[ -d \"$profile\" ] || { mkdir -p \"$profile\"; exit 81; }\n"
                                  "cp " + QFile::encodeName(TestDataPath(u"lists.odt"_s)) + " \"$out/letter.odt\"\n");
    EXPECT_EQ(Convert(office, document), QString::fromUtf8(ReadBytes(TestDataPath(u"lists.expected.txt"_s))));
    const QStringList calls = QString::fromUtf8(ReadBytes(programs.filePath(u"calls"_s))).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_TRUE(calls[0].contains(u"--headless"_s));
    EXPECT_TRUE(calls[0].contains(u"-env:UserInstallation=file://"_s + working.Path() + u"/office-"_s));
    EXPECT_TRUE(calls[0].endsWith(u"--convert-to odt --outdir "_s + working.Path() + u"/office-"_s
                                  + calls[0].section(u"/office-"_s, 1).section(u'/', 0, 0) + u"/out "_s + document));
    EXPECT_TRUE(QDir(working.Path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(OfficeConverterTest, FailuresAndOverrunsAreReportedAndNothingStaysBehind)
{
    const QString document = docs.filePath(u"a.doc"_s);
    WriteBytes(document, "x");
    auto error = [&](const QString &office, int limit) {
        try {
            Convert(office, document, limit);
        } catch (const RuntimeError &e) {
            return e.description();
        }
        return QString();
    };
    EXPECT_EQ(error(Office("echo 'Error: source file could not be loaded' >&2\nexit 1\n"), 60),
              u"LibreOffice could not convert the document (Error: source file could not be loaded): "_s + document);
    // soffice starts soffice.bin: both are stopped.
    const QByteArray pids = QFile::encodeName(programs.filePath(u"pid"_s));
    EXPECT_EQ(error(Office("sleep 30 & echo $$ $! > " + pids + "\nwait\n"), 1),
              u"LibreOffice did not convert the document within 1 seconds: "_s + document);
    for (const QByteArray &pid : ReadBytes(programs.filePath(u"pid"_s)).trimmed().split(' '))
        EXPECT_FALSE(ProcessRuns(pid)) << "the overrunning office is stopped";
    EXPECT_GT(events.sleptMs, 0) << "the window is served while it waits";
    EXPECT_TRUE(QDir(working.Path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

    OfficeConverter none(&processes, &working, &events, QString());
    EXPECT_EQ(ReadError(none, document),
              u"This type of document needs LibreOffice: apt-get install libreoffice-writer-nogui"_s);
}

// What no real document holds is refused before LibreOffice starts, and what makes it run
// out of its memory is "too large" too.
TEST_F(OfficeConverterTest, DocumentsBeyondAnyRealOneAreRefused)
{
    OfficeConverter converter(&processes, &working, &events,
                              Office("cp " + QFile::encodeName(TestDataPath(u"lists.odt"_s)) + " \"$out/a.odt\"\n"));
    auto error = [&](const QString &name, const QByteArray &bytes) {
        WriteBytes(docs.filePath(name), bytes);
        return ReadError(converter, docs.filePath(name));
    };
    EXPECT_EQ(error(u"nested.rtf"_s, "{\\rtf1 " + QByteArray(5000, '{') + "x" + QByteArray(5000, '}') + "}"),
              u"The document is damaged (elements nested too deeply): "_s + docs.filePath(u"nested.rtf"_s));
    EXPECT_EQ(error(u"paragraphs.doc"_s, "{\\rtf1 " + QByteArray("x\\par\n").repeated(300001) + "}"),
              u"The document is too large: "_s + docs.filePath(u"paragraphs.doc"_s));
    QFile huge(docs.filePath(u"huge.doc"_s));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(512) << 20) + 1));
    huge.close();
    EXPECT_EQ(ReadError(converter, huge.fileName()), u"The document is too large: "_s + huge.fileName());
    EXPECT_FALSE(QFile::exists(programs.filePath(u"calls"_s))) << "LibreOffice was started";

    // Braces in picture data, escaped braces and paragraphs below the limit are no hostility.
    EXPECT_EQ(error(u"picture.rtf"_s, "{\\rtf1 {\\pict\\bin3000 " + QByteArray(3000, '{') + "}\\{"
                                          + QByteArray(900, '{') + QByteArray(900, '}')
                                          + QByteArray("x\\par ").repeated(1000) + "}"),
              QString());

    // LibreOffice fails as it likes when it runs out of its memory (and converts without the limit).
    const QString document = docs.filePath(u"a.doc"_s);
    WriteBytes(document, "x");
    OfficeConverter tight(&processes, &working, &events,
                          Office("head -c 100000000 /dev/zero | tail -c 90000000 > /dev/null && cp "
                                 + QFile::encodeName(TestDataPath(u"lists.odt"_s)) + " \"$out/a.odt\"\n"),
                          60, 64 << 20);
    EXPECT_EQ(ReadError(tight, document), u"The document is too large: "_s + document);
}

// Every reader serves the window while it reads a long document, and keeps the first
// kMaxDocumentHeadings of its headings.
TEST(DocumentReaders, ALongDocumentOfEveryTypeServesTheWindow)
{
    QTemporaryDir dir;
    QByteArray lines;
    QByteArray markdown;
    QByteArray headings;
    for (int i = 0; i < 200000; ++i) {
        lines += "Line " + QByteArray::number(i) + " of the document.\n";
        markdown += "# Line " + QByteArray::number(i) + "\n";
        headings += "<h2>Line " + QByteArray::number(i) + "</h2>";
    }
    WriteBytes(dir.filePath(u"long.txt"_s), lines);
    WriteBytes(dir.filePath(u"long.md"_s), markdown);
    WriteBytes(dir.filePath(u"long.html"_s), "<html><body>" + headings + "</body></html>");
    WriteBook(dir.filePath(u"long.epub"_s), {{u"c.xhtml"_s, Xhtml(headings)}}, "");
    for (const QString &name : {u"long.txt"_s, u"long.md"_s, u"long.html"_s, u"long.epub"_s}) {
        FakeEventLoop events;
        DispatchingReader reader(&events, nullptr, nullptr, QString());
        QString text;
        int pieces = 0;
        DocumentFacts facts;
        // However fast the machine, the reading takes long enough to be served.
        reader.ReadBodyText(dir.filePath(name), [&](QStringView piece) {
            text.append(piece);
            if (++pieces % 20000 == 0)
                QThread::msleep(10);
        }, &facts);
        EXPECT_TRUE(text.contains(u"Line 199999"_s)) << name.toStdString();
        EXPECT_GT(events.yields, 0) << name.toStdString();
        EXPECT_EQ(facts.headings.size(), name.endsWith(u"txt"_s) ? 0 : kMaxDocumentHeadings) << name.toStdString();
        EXPECT_EQ(facts.headings.value(kMaxDocumentHeadings - 1).title,
                  name.endsWith(u"txt"_s) ? QString() : u"Line 9999"_s);
    }
}
