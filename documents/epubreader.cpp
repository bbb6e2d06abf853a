#include "documents/epubreader.h"

#include "documents/htmltext.h"
#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/package.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>

#include <exception>

using namespace Qt::StringLiterals;

namespace {

const QString kOps = u"http://www.idpf.org/2007/ops"_s;
const QString kDc = u"http://purl.org/dc/elements/1.1/"_s;

// A document of the book larger than this is beyond any real one.
constexpr qint64 kMaxDocumentBytes = qint64(32) << 20;
// More chapters than this are no table of contents a listener can use.
constexpr qsizetype kMaxChapters = kMaxDocumentHeadings;
constexpr qsizetype kMaxLabel = 500;

RuntimeError NotABook(const QString &path)
{
    return RuntimeError(u"The file is not an EPUB book: "_s + path, ErrorNumber::PathFileAccessError);
}

RuntimeError DrmRefusal(const QString &path)
{
    return RuntimeError(u"The book is protected by DRM (its seller's copy protection) and cannot be read aloud: "_s
                            + path,
                        ErrorNumber::PermissionDenied);
}

struct Item
{
    QString part; // its name in the package
    QString mediaType;
    QString properties;
};

struct Book
{
    QString title;
    QString author;
    QString language;
    QHash<QString, Item> manifest; // by id
    QStringList spine;             // ids in reading order
    QString ncx;                   // the id of the EPUB 2 table of contents
    QString coverId;               // EPUB 2: <meta name="cover" content="ID">
};

struct Chapter
{
    QString title;
    int level;
    QString part;
    QString fragment;
};

QString LocalAttribute(const QXmlStreamReader &xml, QStringView name)
{
    for (const QXmlStreamAttribute &attribute : xml.attributes()) {
        if (attribute.name() == name && attribute.prefix().isEmpty())
            return attribute.value().toString();
    }
    return QString();
}

QString Fragment(const QString &reference)
{
    const qsizetype hash = reference.indexOf(u'#');
    return hash < 0 ? QString() : reference.mid(hash + 1);
}

// A small XML part of the package, pulled with the readers' limits.
class Part
{
public:
    Part(const ZipPackage &package, const QString &name, YieldClock &clock)
        : m_bytes(package.ReadAll(package.Locate(name)))
        , pull(m_bytes, clock, nullptr, package.Path())
    {
    }

private:
    WholeBytes m_bytes;

public:
    XmlPull pull;
};

// Protected books name their encryption: anything but the obfuscation of embedded fonts,
// or the license of a seller's copy protection, is DRM.
bool ProtectedByDrm(const ZipPackage &package, YieldClock &clock)
{
    for (const QString &license : {u"META-INF/rights.xml"_s, u"META-INF/sinf.xml"_s, u"META-INF/license.lcpl"_s}) {
        if (package.Locate(license) >= 0)
            return true;
    }
    if (package.Locate(u"META-INF/encryption.xml"_s) < 0)
        return false;
    Part part(package, u"META-INF/encryption.xml"_s, clock);
    while (part.pull.Next() != QXmlStreamReader::EndDocument) {
        if (part.pull.xml.tokenType() == QXmlStreamReader::StartElement && part.pull.xml.name() == u"EncryptionMethod") {
            const QString algorithm = LocalAttribute(part.pull.xml, u"Algorithm");
            if (algorithm != u"http://www.idpf.org/2008/embedding"_s && algorithm != u"http://ns.adobe.com/pdf/enc#RC"_s)
                return true;
        }
    }
    return false;
}

QString PackageDocument(const ZipPackage &package, YieldClock &clock)
{
    if (package.Locate(u"META-INF/container.xml"_s) < 0)
        return QString();
    Part part(package, u"META-INF/container.xml"_s, clock);
    while (part.pull.Next() != QXmlStreamReader::EndDocument) {
        const QXmlStreamReader &xml = part.pull.xml;
        if (xml.tokenType() == QXmlStreamReader::StartElement && xml.name() == u"rootfile") {
            const QString mediaType = LocalAttribute(xml, u"media-type");
            if (mediaType.isEmpty() || mediaType == u"application/oebps-package+xml"_s)
                return ResolvePartName(QString(), LocalAttribute(xml, u"full-path"));
        }
    }
    return QString();
}

Book ParsePackageDocument(const QByteArray &bytes, YieldClock &clock, const QString &path, const QString &opf)
{
    Book book;
    WholeBytes source(bytes);
    XmlPull pull(source, clock, nullptr, path);
    while (pull.Next() != QXmlStreamReader::EndDocument) {
        const QXmlStreamReader &xml = pull.xml;
        if (xml.tokenType() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (xml.namespaceUri() == kDc && name == u"title" && book.title.isEmpty()) {
            book.title = pull.ElementText(kMaxLabel).simplified();
        } else if (xml.namespaceUri() == kDc && name == u"creator" && book.author.isEmpty()) {
            book.author = pull.ElementText(kMaxLabel).simplified();
        } else if (xml.namespaceUri() == kDc && name == u"language" && book.language.isEmpty()) {
            book.language = LanguageTag(pull.ElementText(kMaxLabel));
        } else if (name == u"item") {
            const QString id = LocalAttribute(xml, u"id");
            const QString item = ResolvePartName(opf, LocalAttribute(xml, u"href"));
            if (!id.isEmpty() && !item.isEmpty() && !book.manifest.contains(id))
                book.manifest.insert(id, {item, LocalAttribute(xml, u"media-type"), LocalAttribute(xml, u"properties")});
        } else if (name == u"meta" && LocalAttribute(xml, u"name") == u"cover" && book.coverId.isEmpty()) {
            book.coverId = LocalAttribute(xml, u"content");
        } else if (name == u"spine") {
            book.ncx = LocalAttribute(xml, u"toc");
        } else if (name == u"itemref") {
            book.spine.append(LocalAttribute(xml, u"idref"));
        }
    }
    return book;
}

// The package document's manifest and spine, with its title and author when they can be
// read: damage inside its metadata leaves the book without them, and the text is read.
Book ReadPackageDocument(const ZipPackage &package, YieldClock &clock, const QString &opf)
{
    const QByteArray bytes = package.ReadAll(package.Locate(opf));
    try {
        return ParsePackageDocument(bytes, clock, package.Path(), opf);
    } catch (const RuntimeError &) {
        const std::exception_ptr damage = std::current_exception();
        // Bytes as Latin-1 characters: the offsets in both are the same.
        static const QRegularExpression start(uR"(<([A-Za-z_][\w.-]*:)?metadata[\s>])"_s);
        const QString text = QString::fromLatin1(bytes);
        const QRegularExpressionMatch open = start.match(text);
        const QString close = u"</"_s + open.captured(1) + u"metadata>"_s;
        const qsizetype end = open.hasMatch() ? text.indexOf(close, open.capturedEnd()) : -1;
        if (end < 0)
            std::rethrow_exception(damage);
        try {
            return ParsePackageDocument(bytes.left(open.capturedStart()) + bytes.mid(end + close.size()), clock,
                                        package.Path(), opf);
        } catch (const RuntimeError &) {
            std::rethrow_exception(damage);
        }
    }
}

// The entries of an EPUB 3 navigation document's table of contents, nesting as levels.
class NavReader
{
public:
    NavReader(XmlPull &pull, const QString &navPart, QList<Chapter> &chapters)
        : m_pull(pull)
        , m_navPart(navPart)
        , m_chapters(chapters)
    {
    }

    void Run()
    {
        while (m_pull.Next() != QXmlStreamReader::EndDocument) {
            const QXmlStreamReader &xml = m_pull.xml;
            if (xml.tokenType() == QXmlStreamReader::StartElement && xml.name() == u"nav"
                && xml.attributes().value(kOps, u"type"_s).split(u' ').contains(u"toc"_s)) {
                List(0);
                return;
            }
        }
    }

private:
    // The content of the current element: lists deepen the level, links are entries.
    void List(int level)
    {
        while (m_pull.NextChild()) {
            const QStringView name = m_pull.xml.name();
            if (name == u"ol" || name == u"ul") {
                List(level + 1);
            } else if (name == u"a" || name == u"span") {
                const QString href = LocalAttribute(m_pull.xml, u"href");
                const QString label = m_pull.ElementText(kMaxLabel).simplified();
                if (!href.isEmpty() && !label.isEmpty() && m_chapters.size() < kMaxChapters)
                    m_chapters.append({label, std::max(1, level), ResolvePartName(m_navPart, href), Fragment(href)});
            } else {
                List(level);
            }
        }
    }

    XmlPull &m_pull;
    const QString &m_navPart;
    QList<Chapter> &m_chapters;
};

// The entries of an EPUB 2 table of contents (NCX) below the current element (the root,
// its navMap, or a navPoint at level), nesting as levels.
void ReadNcx(XmlPull &pull, const QString &ncxPart, QList<Chapter> &chapters, int level)
{
    QString label;
    while (pull.NextChild()) {
        const QStringView name = pull.xml.name();
        if (name == u"navMap" && level == 0) {
            ReadNcx(pull, ncxPart, chapters, 0);
        } else if (name == u"navPoint") {
            ReadNcx(pull, ncxPart, chapters, level + 1);
        } else if (name == u"navLabel" && level > 0) {
            label = pull.ElementText(kMaxLabel).simplified();
        } else if (name == u"content" && level > 0) {
            const QString src = LocalAttribute(pull.xml, u"src");
            pull.Skip();
            if (!src.isEmpty() && !label.isEmpty() && chapters.size() < kMaxChapters)
                chapters.append({label, level, ResolvePartName(ncxPart, src), Fragment(src)});
        } else {
            pull.Skip();
        }
    }
}

// The book's table of contents; empty when it has none that can be read (the text is read
// all the same).
QList<Chapter> ReadChapters(const ZipPackage &package, YieldClock &clock, const Book &book)
{
    QList<Chapter> chapters;
    QString nav;
    for (const Item &item : book.manifest) {
        if (item.properties.split(u' ').contains(u"nav"_s))
            nav = item.part;
    }
    try {
        if (!nav.isEmpty() && package.Locate(nav) >= 0) {
            Part part(package, nav, clock);
            NavReader(part.pull, nav, chapters).Run();
        }
        const QString ncx = book.manifest.value(book.ncx).part;
        if (chapters.isEmpty() && !ncx.isEmpty() && package.Locate(ncx) >= 0) {
            Part part(package, ncx, clock);
            if (part.pull.NextChild())
                ReadNcx(part.pull, ncx, chapters, 0);
        }
    } catch (const RuntimeError &) {
        chapters.clear(); // a damaged table of contents leaves the book without chapters
    }
    return chapters;
}

bool IsContentDocument(const Item &item)
{
    return item.mediaType == u"application/xhtml+xml"_s || item.mediaType == u"text/html"_s
           || (item.mediaType.isEmpty()
               && (item.part.endsWith(u".xhtml"_s, Qt::CaseInsensitive)
                   || item.part.endsWith(u".html"_s, Qt::CaseInsensitive)
                   || item.part.endsWith(u".htm"_s, Qt::CaseInsensitive)));
}

// The book's cover picture: the item EPUB 3 marks "cover-image", else the one EPUB 2 names
// in <meta name="cover">; a picture of a type a player shows, no larger than a cover is.
void ReadCover(const ZipPackage &package, const Book &book, DocumentFacts *facts)
{
    constexpr qint64 kMaxCoverBytes = qint64(16) << 20;
    const Item *cover = nullptr;
    for (const Item &item : book.manifest) {
        if (item.properties.split(u' ').contains(u"cover-image"_s))
            cover = &item;
    }
    if (!cover && book.manifest.contains(book.coverId))
        cover = &*book.manifest.constFind(book.coverId);
    if (!cover || (cover->mediaType != u"image/jpeg" && cover->mediaType != u"image/png"))
        return;
    const qint64 index = package.Locate(cover->part);
    if (index < 0)
        return;
    try {
        facts->cover = package.ReadAll(index, kMaxCoverBytes);
    } catch (const RuntimeError &) {
        return; // larger than any cover: the book is read without it
    }
    facts->coverType = facts->cover.isEmpty() ? QString() : cover->mediaType;
}

// The book's own pronunciation lexicons: the PLS documents of its manifest (EPUB 3 links
// its pages to them with rel="pronunciation"), the first few, each no larger than a lexicon is read.
void ReadPronunciations(const ZipPackage &package, const Book &book, DocumentFacts *facts)
{
    constexpr qint64 kMaxLexiconBytes = qint64(32) << 20;
    constexpr qsizetype kMaxLexicons = 16;
    for (const Item &item : book.manifest) {
        if (item.mediaType != u"application/pls+xml"_s || facts->lexicons.size() >= kMaxLexicons)
            continue;
        const qint64 index = package.Locate(item.part);
        if (index < 0)
            continue;
        try {
            facts->lexicons.append(package.ReadAll(index, kMaxLexiconBytes));
        } catch (const RuntimeError &) {
            // Larger than a lexicon is read: the book is read without it.
        }
    }
}

} // namespace

EpubReader::EpubReader(IEventLoop *events)
    : m_events(events)
{
}

void EpubReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    const ZipPackage package(path, [&path] { return NotABook(path); });
    YieldClock clock(m_events);
    if (ProtectedByDrm(package, clock))
        throw DrmRefusal(path);
    const QString opf = PackageDocument(package, clock);
    if (opf.isEmpty() || package.Locate(opf) < 0)
        throw NotABook(path);
    const Book book = ReadPackageDocument(package, clock, opf);
    const QList<Chapter> chapters = facts ? ReadChapters(package, clock, book) : QList<Chapter>();
    if (facts) {
        facts->title = book.title;
        facts->author = book.author;
        facts->language = book.language;
        ReadCover(package, book, facts);
        ReadPronunciations(package, book, facts);
    }
    QHash<QString, QSet<QString>> wanted; // part -> fragments that chapters point at
    for (const Chapter &chapter : chapters)
        wanted[chapter.part].insert(chapter.fragment);

    TextBudget budget(path);
    LineWriter out(sink, budget);
    // A book without a table of contents has its headings as chapters.
    HtmlText text(out, facts, chapters.isEmpty());
    QHash<QString, qint64> partLines;
    QHash<QString, QHash<QString, qint64>> idLines;
    int documents = 0;
    for (const QString &id : book.spine) {
        const auto item = book.manifest.constFind(id);
        // The table of contents in the reading order is a list of links, not text to hear:
        // its entries are the chapters.
        if (item == book.manifest.cend() || !IsContentDocument(*item) || item->properties.split(u' ').contains(u"nav"_s))
            continue;
        const qint64 index = package.Locate(item->part);
        if (index < 0 || partLines.contains(item->part))
            continue; // a missing document, or one read already: the rest is read
        const QByteArray bytes = package.ReadAll(index, kMaxDocumentBytes);
        text.Break();
        partLines.insert(item->part, text.NextLine());
        text.wantedIds = wanted.value(item->part);
        text.idLines.clear();
        if (item->mediaType == u"text/html"_s)
            ReadHtml(bytes, text, clock, budget, path);
        else
            ReadXhtml(bytes, text, clock, budget, path);
        if (!text.idLines.isEmpty())
            idLines.insert(item->part, text.idLines);
        ++documents;
    }
    if (documents == 0)
        throw RuntimeError(u"The book holds no text: "_s + path, ErrorNumber::PathFileAccessError);
    out.Finish();
    if (!facts)
        return;
    for (const Chapter &chapter : chapters) {
        const auto start = partLines.constFind(chapter.part);
        if (start == partLines.cend())
            continue; // an entry outside the reading order
        const qint64 line = chapter.fragment.isEmpty() ? *start : idLines.value(chapter.part).value(chapter.fragment, *start);
        facts->AddHeading({chapter.title, chapter.level, line});
    }
}
