// Hostile documents through the document text extraction, as the window's run reads them.
//
//   vocatext-hostile-bench [name...]    the documents at full size (those whose names hold
//                                       one of the names given): time, outcome, longest
//                                       event-loop gap, document text left behind, language
//                                       marks
//   vocatext-hostile-bench --seeds DIR  smaller versions of the same documents, as fuzz seeds
//                                       (OpenDocument in DIR, the other types in DIR/<reader>)
//
// Each document is small on disk and expands without end when read naively: a count of
// spaces of a billion, an entry that holds far more than it declares, nesting ten million
// deep inside a skipped element, repeated cells nested in repeated cells, repeated cells,
// ten million empty paragraphs, tracked-change copies, entity expansion, a million changes
// of language between styles based on each other in a loop, and an honest zip bomb: a
// package of a few megabytes whose content.xml declares, and inflates to, 1000 MB of
// words. Then the same for the other types, read by the reader that tells the types apart:
// Word documents nested, with fields that never end, with a million changes of language,
// and a zip bomb; e-books whose spine names one document a hundred thousand times, whose
// many small parts inflate to a gigabyte, and whose nesting never ends; web pages nested
// ten million deep, whose formatting elements the HTML5 parser copies into every
// paragraph, with a million changes of language, and one of 40 MB;
// Markdown nested a million deep, a million brackets, two million headings and a front
// matter line of a megabyte; 60 million characters of text; RTF for LibreOffice nested
// two million deep, and of three million paragraphs.
#include "bench/benchutil.h"
#include "system/privateworkingfolder.h"
#include "documents/dispatchingreader.h"
#include "documents/odtreader.h"
#include "system/qteventloop.h"
#include "common/runtimeerror.h"
#include "pipeline/writer1.h"
#include "api/documentreader.h"
#include "api/workingfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

QByteArray Content(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" office:version=\"1.3\">"
           "<office:body><office:text>"
           + body + "</office:text></office:body></office:document-content>";
}

void WritePackage(const QString &path, const QByteArray &content, quint32 declaredSize = 0)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("cannot create a package");
    zip_source_t *source = zip_source_buffer(zip, content.constData(), static_cast<zip_uint64_t>(content.size()), 0);
    const zip_int64_t index = zip_file_add(zip, "content.xml", source, ZIP_FL_OVERWRITE);
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    if (zip_close(zip) != 0)
        throw std::runtime_error("cannot write a package");
    if (declaredSize == 0)
        return;
    // The entry lies: its headers declare a small size.
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    QByteArray bytes = file.readAll();
    for (const auto &[signature, offset] : {std::pair{QByteArray("PK\x03\x04", 4), 22},
                                            std::pair{QByteArray("PK\x01\x02", 4), 24}}) {
        const qsizetype at = bytes.indexOf(signature);
        for (int i = 0; i < 4; ++i)
            bytes[at + offset + i] = static_cast<char>((declaredSize >> (8 * i)) & 0xff);
    }
    file.seek(0);
    file.write(bytes);
}

QByteArray Repeat(const QByteArray &piece, qint64 count)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(piece.size() * count));
    for (qint64 i = 0; i < count; ++i)
        out += piece;
    return out;
}

// count words of five letters, the same every run, that deflate no better than real text.
QList<QByteArray> Words(qint64 count)
{
    QList<QByteArray> words;
    quint32 state = 12345;
    for (qint64 i = 0; i < count; ++i) {
        QByteArray word(5, 'a');
        for (char &letter : word) {
            state = state * 1103515245u + 12345u;
            letter = static_cast<char>('a' + (state >> 16) % 26);
        }
        words.append(word);
    }
    return words;
}

// A content.xml whose text changes language count times, between text styles based on
// each other in a loop, in paragraphs whose styles are too.
QByteArray LanguageChanges(qint64 count)
{
    const QList<QByteArray> words = Words(count);
    QByteArray body;
    for (qint64 i = 0; i < count; ++i) {
        if (i % 1000 == 0)
            body += i == 0 ? "<text:p text:style-name=\"P2\">" : "</text:p><text:p text:style-name=\"P2\">";
        body += "<text:span text:style-name=\"T" + QByteArray::number(1 + i % 2) + "\">" + words[i] + " </text:span>";
    }
    body += "</text:p>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" office:version=\"1.3\">"
           "<office:automatic-styles>"
           "<style:style style:name=\"P1\" style:family=\"paragraph\" style:parent-style-name=\"P2\">"
           "<style:text-properties fo:language=\"it\" fo:country=\"IT\"/></style:style>"
           "<style:style style:name=\"P2\" style:family=\"paragraph\" style:parent-style-name=\"P1\"/>"
           "<style:style style:name=\"T1\" style:family=\"text\" style:parent-style-name=\"T2\">"
           "<style:text-properties fo:language=\"fr\" style:language-asian=\"ja\"/></style:style>"
           "<style:style style:name=\"T2\" style:family=\"text\" style:parent-style-name=\"T1\">"
           "<style:text-properties fo:language=\"de\" style:rfc-language-tag-complex=\"he-IL\"/></style:style>"
           "</office:automatic-styles><office:body><office:text>"
           + body + "</office:text></office:body></office:document-content>";
}

// A Word document whose runs change language count times, each of their classes.
QByteArray WordLanguageChanges(qint64 count)
{
    const QList<QByteArray> words = Words(count);
    QByteArray body = "<w:p>";
    for (qint64 i = 0; i < count; ++i) {
        body += i % 2 ? "<w:r><w:rPr><w:lang w:val=\"fr\" w:eastAsia=\"ja-JP\"/></w:rPr><w:t>"
                      : "<w:r><w:rPr><w:lang w:val=\"x-none\" w:bidi=\"he-IL\"/></w:rPr><w:t>";
        body += words[i] + " </w:t></w:r>";
    }
    return body + "</w:p>";
}

struct Hostile
{
    const char *name;
    QByteArray content;
    quint32 declaredSize = 0;
};

// scale 1: the sizes that were tried on the program; smaller for seeds.
QList<Hostile> Documents(qint64 scale)
{
    QByteArray nested = "<text:p>x</text:p>";
    for (int level = 0; level < 3; ++level)
        nested = "<table:table><table:table-row><table:table-cell table:number-columns-repeated=\"1024\">" + nested
                 + "</table:table-cell></table:table-row></table:table>";
    const QByteArray row = "<table:table-row><table:table-cell table:number-columns-repeated=\"1024\"><text:p>"
                           + QByteArray(100, 'r') + "</text:p></table:table-cell></table:table-row>";
    return {
        {"spaces", Content("<text:p>a<text:s text:c=\"1000000000\"/>b</text:p>")},
        {"liar", Content("<text:p>" + QByteArray(static_cast<qsizetype>((256 << 20) / scale), 'a') + "</text:p>"),
         1000},
        {"deepskip", Content("<draw:frame>" + Repeat("<a>", 10000000 / scale) + "</draw:frame>")},
        {"nestedcells", Content(nested)},
        {"repeatedcells", Content("<table:table>" + Repeat(row, 1000 / std::min<qint64>(scale, 100)) + "</table:table>")},
        {"emptyparagraphs", Content(Repeat("<text:p/>", 10000000 / scale))},
        {"copies", Content("<text:tracked-changes><text:changed-region text:id=\"c\"><text:deletion><text:p>"
                           + QByteArray(10000, 'd') + "</text:p></text:deletion></text:changed-region>"
                           "</text:tracked-changes><text:p>"
                           + Repeat("<text:change text:change-id=\"c\"/>", 100000 / scale) + "</text:p>")},
        {"honestbomb", Content(Repeat("<text:p>" + Repeat("all work and no play makes a dull speech ", 24)
                                          + "</text:p>",
                                      1000000000 / 1000 / scale))},
        {"languages", LanguageChanges(1000000 / scale)},
        {"laughs", "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;"
                   "&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY e \"&c;&c;&c;&c;&c;&c;&c;"
                   "&c;&c;&c;\">]>"
                       + Content("<text:p>&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;</text:p>").mid(39)},
    };
}

// A document of another type: its name (the extension says the reader whose seeds it
// joins) and either its bytes or the entries of its zip package.
struct Other
{
    const char *reader;
    const char *name;
    QByteArray bytes;
    QList<std::pair<QByteArray, QByteArray>> entries;
};

void WriteEntries(const QString &path, const QList<std::pair<QByteArray, QByteArray>> &entries)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("cannot create a package");
    for (const auto &[name, bytes] : entries) {
        zip_source_t *source = zip_source_buffer(zip, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE);
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error("cannot write a package");
}

QList<std::pair<QByteArray, QByteArray>> Word(const QByteArray &body)
{
    return {{"[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                    "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                                    "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
            {"word/document.xml", "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                  "<w:body>" + body + "</w:body></w:document>"}};
}

QList<std::pair<QByteArray, QByteArray>> Book(const QList<std::pair<QByteArray, QByteArray>> &documents, int readings)
{
    QByteArray manifest;
    QByteArray spine;
    QList<std::pair<QByteArray, QByteArray>> entries = {
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml", "<container xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
                                   "<rootfile full-path=\"content.opf\"/></rootfiles></container>"}};
    for (qsizetype i = 0; i < documents.size(); ++i) {
        manifest += "<item id=\"d" + QByteArray::number(i) + "\" href=\"" + documents[i].first
                    + "\" media-type=\"application/xhtml+xml\"/>";
        entries.append(documents[i]);
    }
    for (int r = 0; r < readings; ++r)
        spine += "<itemref idref=\"d" + QByteArray::number(r % documents.size()) + "\"/>";
    entries.append({"content.opf", "<package xmlns=\"http://www.idpf.org/2007/opf\"><manifest>" + manifest
                                       + "</manifest><spine>" + spine + "</spine></package>"});
    return entries;
}

QByteArray Page(const QByteArray &body)
{
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>" + body + "</body></html>";
}

QList<Other> OtherDocuments(qint64 scale)
{
    QByteArray formatting;
    for (int i = 0; i < 3000; ++i)
        formatting += "<b id=" + QByteArray::number(i) + ">";
    QList<std::pair<QByteArray, QByteArray>> parts;
    const QByteArray zeros = Page("<p>" + QByteArray(static_cast<qsizetype>((1 << 20) / scale), '0') + "</p>");
    for (qint64 i = 0; i < 1000 / std::min<qint64>(scale, 100); ++i)
        parts.append({"p" + QByteArray::number(i) + ".xhtml", zeros});
    return {
        {"package", "docx-nested.docx", {}, Word("<w:p>" + Repeat("<w:hyperlink>", 10000000 / scale))},
        {"package", "docx-fields.docx", {},
         Word("<w:p>" + Repeat("<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>", 1000000 / scale) + "</w:p>")},
        {"package", "docx-bomb.docx", {},
         Word(Repeat("<w:p><w:r><w:t>" + Repeat("all work and no play makes a dull speech ", 24) + "</w:t></w:r></w:p>",
                     200000000 / 1000 / scale))},
        {"package", "epub-spine.epub", {}, Book({{"a.xhtml", Page("<p>" + Repeat("words ", (1 << 20) / 6 / scale) + "</p>")}},
                                                static_cast<int>(100000 / scale))},
        {"package", "epub-parts.epub", {}, Book(parts, 1000)},
        {"package", "epub-nested.epub", {}, Book({{"a.xhtml", Page(Repeat("<div>", 10000000 / scale))}}, 1)},
        {"package", "docx-languages.docx", {}, Word(WordLanguageChanges(1000000 / scale))},
        {"html", "html-nested.html", Repeat("<div>", 10000000 / scale), {}},
        {"html", "html-languages.html",
         "<html lang=\"en\"><body><p>"
             + Repeat("<span lang=\"fr\">mot</span> <span xml:lang=\"de\" lang=\"\">Wort</span> ", 1000000 / 2 / scale)
             + Repeat("<div lang=\"x-none\">", 900) + "</p></body></html>",
         {}},
        {"html", "html-formatting.html", formatting + Repeat("</p><p>x", 200000 / scale), {}},
        {"html", "html-huge.html", Repeat("<p>a page beyond any real one</p>", (40 << 20) / 33 / scale), {}},
        {"markdown", "md-nested.md", Repeat("> ", 1000000 / scale) + "deep", {}},
        {"markdown", "md-brackets.md", Repeat("[", 1000000 / scale) + Repeat("*a", 1000000 / scale), {}},
        {"markdown", "md-headings.md", Repeat("# h\n", 2000000 / scale), {}},
        {"markdown", "md-frontmatter.md", "---\ntitle: " + Repeat("a", (1 << 20) / scale) + "\n---\ntext\n", {}},
        {"text", "text-huge.txt", Repeat("sixty million characters of text. ", 60000000 / 34 / scale), {}},
        {"any", "rtf-nested.rtf", "{\\rtf1 " + Repeat("{", 2000000 / scale) + "x}", {}},
        {"any", "rtf-paragraphs.rtf", "{\\rtf1 " + Repeat("x\\par\n", 3000000 / scale) + "}", {}},
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--seeds") == 0) {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(folder);
        for (const Hostile &document : Documents(1000))
            WritePackage(folder + u'/' + QString::fromLatin1(document.name) + u".odt"_s, document.content,
                         document.declaredSize);
        for (const Other &document : OtherDocuments(1000)) {
            const QString reader = folder + u'/' + QString::fromLatin1(document.reader);
            QDir().mkpath(reader);
            const QString path = reader + u'/' + QString::fromLatin1(document.name);
            if (document.entries.isEmpty()) {
                QFile file(path);
                file.open(QIODevice::WriteOnly);
                file.write(document.bytes);
            } else {
                WriteEntries(path, document.entries);
            }
        }
        return 0;
    }

    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);
    const auto skipped = [&wanted](const char *name) {
        return !wanted.isEmpty()
               && std::none_of(wanted.cbegin(), wanted.cend(),
                               [name](const QString &w) { return QString::fromLatin1(name).contains(w); });
    };
    QTemporaryDir dir;
    qputenv("TEMP", QFile::encodeName(dir.path()));
    QtEventLoop events;
    OdtReader reader(&events);
    PrivateWorkingFolder working;
    std::printf("%-16s %10s %12s %9s %9s %11s %8s  %s\n", "document", "package", "xml", "seconds", "gap ms",
                "text left", "marks", "outcome");
    for (const Hostile &document : Documents(1)) {
        if (skipped(document.name))
            continue;
        const QString path = dir.filePath(QString::fromLatin1(document.name) + u".odt"_s);
        WritePackage(path, document.content, document.declaredSize);
        EventLoopGapMeter meter;
        meter.Start();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        QString outcome = u"read"_s;
        DocumentFacts facts;
        try {
            ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), path, &facts);
        } catch (const RuntimeError &e) {
            outcome = e.description().section(u':', 0, 0);
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        QCoreApplication::processEvents();
        const QString text = dir.filePath(u"output.txt"_s);
        std::printf("%-16s %10lld %12lld %9.2f %9lld %11lld %8lld  %s\n", document.name,
                    static_cast<long long>(QFileInfo(path).size()), static_cast<long long>(document.content.size()),
                    seconds, static_cast<long long>(meter.LongestGapMs()),
                    static_cast<long long>(QFileInfo(text).size()), static_cast<long long>(facts.languages.size()),
                    outcome.toUtf8().constData());
        QFile::remove(text);
        QFile::remove(path);
    }
    DispatchingReader every(&events, nullptr, nullptr, QString());
    for (const Other &document : OtherDocuments(1)) {
        if (skipped(document.name))
            continue;
        const QString path = dir.filePath(QString::fromLatin1(document.name));
        if (document.entries.isEmpty()) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(document.bytes);
        } else {
            WriteEntries(path, document.entries);
        }
        qint64 markup = document.bytes.size();
        for (const auto &entry : document.entries)
            markup += entry.second.size();
        EventLoopGapMeter meter;
        meter.Start();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        QString outcome = u"read"_s;
        DocumentFacts facts;
        try {
            ExtractDocumentText(every, WorkingPath(working, u"output.txt"_s), path, &facts);
        } catch (const RuntimeError &e) {
            outcome = e.description().section(u':', 0, 0);
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        QCoreApplication::processEvents();
        const QString text = dir.filePath(u"output.txt"_s);
        std::printf("%-16s %10lld %12lld %9.2f %9lld %11lld %8lld  %s\n", document.name,
                    static_cast<long long>(QFileInfo(path).size()), static_cast<long long>(markup), seconds,
                    static_cast<long long>(meter.LongestGapMs()), static_cast<long long>(QFileInfo(text).size()),
                    static_cast<long long>(facts.languages.size()), outcome.toUtf8().constData());
        QFile::remove(text);
        QFile::remove(path);
    }
    std::printf("peak memory: %.1f MiB (the documents themselves are built in memory)\n", PeakMemoryMiB());
    return 0;
}
