#include "readalong/overlaidepub.h"

#include "filesystem/filesystem.h"
#include "readalong/xmltext.h"
#include "readalong/zipwriter.h"

#include <QDir>
#include <QDomDocument>
#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QUrl>

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A page or package document larger than this is left as it is.
constexpr qint64 kMaxPartBytes = qint64(32) << 20;
// A sentence found further on than this many characters from where the one before ended
// is taken only when the next one follows it closely: a short sentence of a later page
// ("Yes.") is found by chance on many pages.
constexpr qsizetype kNear = 64;
// How far on a sentence is looked for.
constexpr qsizetype kWindow = 200'000;

ReadAlongResult Unsuitable(const QString &why)
{
    return {false, why, true};
}

// An archive open for reading.
class ZipReader
{
public:
    explicit ZipReader(const QString &path)
    {
        int error = 0;
        m_zip = zip_open(FileSystem::NativeName(path).constData(), ZIP_RDONLY, &error);
    }
    ~ZipReader()
    {
        if (m_zip)
            zip_discard(m_zip);
    }
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    zip_t *Archive() const { return m_zip; }
    qint64 Count() const { return m_zip ? zip_get_num_entries(m_zip, 0) : 0; }
    QString Name(qint64 index) const
    {
        const char *name = zip_get_name(m_zip, static_cast<zip_uint64_t>(index), 0);
        return name ? QString::fromUtf8(name) : QString();
    }
    qint64 Locate(const QString &name) const
    {
        return m_zip ? zip_name_locate(m_zip, name.toUtf8().constData(), 0) : -1;
    }
    /// The entry's bytes; none when it is missing, larger than limit or damaged.
    std::optional<QByteArray> Read(const QString &name, qint64 limit = kMaxPartBytes) const
    {
        const qint64 index = Locate(name);
        zip_stat_t stat;
        if (index < 0 || zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &stat) != 0
            || !(stat.valid & ZIP_STAT_SIZE) || stat.size > static_cast<zip_uint64_t>(limit))
            return std::nullopt;
        zip_file_t *file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
        if (!file)
            return std::nullopt;
        QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
        const zip_int64_t read = zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        if (read != static_cast<zip_int64_t>(stat.size))
            return std::nullopt;
        return bytes;
    }

private:
    zip_t *m_zip = nullptr;
};

QString LocalName(const QDomElement &element)
{
    return element.tagName().section(u':', -1).toLower();
}

// The elements under node (itself too) of a local name, in document order.
QList<QDomElement> Elements(const QDomNode &node, QStringView name)
{
    QList<QDomElement> found;
    std::vector<QDomNode> stack{node};
    while (!stack.empty()) {
        const QDomNode at = stack.back();
        stack.pop_back();
        if (at.isElement() && LocalName(at.toElement()) == name)
            found.append(at.toElement());
        for (QDomNode child = at.lastChild(); !child.isNull(); child = child.previousSibling())
            stack.push_back(child);
    }
    return found;
}

// Stands in every run of blanks between two tags while a document is parsed: the DOM
// drops text that is blanks alone, and between two words in markup that is a space a
// reader sees. A noncharacter, which no book holds; taken out again when it is written.
constexpr char16_t kKeptBlanks = u'\uFDD0';
constexpr char kKeptBlanksUtf8[] = "\xEF\xB7\x90";

std::optional<QDomDocument> Parsed(const QByteArray &bytes)
{
    // From the root element on, each run of blanks alone between two tags is marked.
    qsizetype root = 0;
    while ((root = bytes.indexOf('<', root)) >= 0 && root + 1 < bytes.size() && !std::isalpha(uchar(bytes[root + 1])))
        ++root;
    const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    QByteArray marked;
    marked.reserve(bytes.size() + bytes.size() / 16);
    qsizetype copied = 0;
    for (qsizetype at = root < 0 ? -1 : bytes.indexOf('>', root); at >= 0; at = bytes.indexOf('>', at + 1)) {
        qsizetype end = at + 1;
        while (end < bytes.size() && blank(bytes[end]))
            ++end;
        if (end > at + 1 && end < bytes.size() && bytes[end] == '<') {
            marked.append(bytes.constData() + copied, at + 1 - copied).append(kKeptBlanksUtf8);
            copied = at + 1;
        }
    }
    marked.append(bytes.constData() + copied, bytes.size() - copied);
    QDomDocument document;
    // Names as they are written: every prefix and namespace declaration is written back as it was.
    if (!document.setContent(marked, false))
        return std::nullopt;
    return document;
}

void Write(QByteArray &out, const QDomNode &node)
{
    switch (node.nodeType()) {
    case QDomNode::ElementNode: {
        const QDomElement element = node.toElement();
        const QByteArray name = element.tagName().toUtf8();
        out += '<' + name;
        // In the order of their names: the DOM keeps them in no order, and the same book
        // gives the same bytes.
        const QDomNamedNodeMap attributes = element.attributes();
        QList<std::pair<QString, QString>> sorted;
        for (int k = 0; k < attributes.length(); ++k)
            sorted.append({attributes.item(k).nodeName(), attributes.item(k).nodeValue()});
        std::sort(sorted.begin(), sorted.end());
        for (const auto &[attribute, value] : std::as_const(sorted)) {
            out += ' ' + attribute.toUtf8() + "=\"";
            AppendEscaped(out, value, true);
            out += '"';
        }
        if (!element.hasChildNodes()) {
            out += "/>";
            return;
        }
        out += '>';
        for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling())
            Write(out, child);
        out += "</" + name + '>';
        return;
    }
    case QDomNode::TextNode:
        AppendEscaped(out, node.nodeValue());
        return;
    case QDomNode::CDATASectionNode:
        out += "<![CDATA[" + node.nodeValue().toUtf8() + "]]>";
        return;
    case QDomNode::CommentNode:
        out += "<!--" + node.nodeValue().toUtf8() + "-->";
        return;
    case QDomNode::ProcessingInstructionNode: {
        const QDomProcessingInstruction instruction = node.toProcessingInstruction();
        out += "<?" + instruction.target().toUtf8() + ' ' + instruction.data().toUtf8() + "?>\n";
        return;
    }
    case QDomNode::DocumentTypeNode: {
        const QDomDocumentType type = node.toDocumentType();
        out += "<!DOCTYPE " + type.name().toUtf8();
        if (!type.publicId().isEmpty())
            out += " PUBLIC \"" + type.publicId().toUtf8() + "\" \"" + type.systemId().toUtf8() + '"';
        else if (!type.systemId().isEmpty())
            out += " SYSTEM \"" + type.systemId().toUtf8() + '"';
        if (!type.internalSubset().isEmpty())
            out += " [" + type.internalSubset().toUtf8() + ']';
        out += ">\n";
        return;
    }
    case QDomNode::EntityReferenceNode:
        out += '&' + node.nodeName().toUtf8() + ';';
        return;
    default:
        for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling())
            Write(out, child);
    }
}

// The document as XML, its blanks as the book had them.
QByteArray Written(const QDomDocument &document)
{
    // The document type, which the DOM keeps beside its children, after the XML declaration.
    QByteArray out;
    bool typed = document.doctype().name().isEmpty();
    for (QDomNode child = document.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.isDocumentType())
            continue;
        if (!typed && !(child.isProcessingInstruction() && child.nodeName() == u"xml")) {
            Write(out, document.doctype());
            typed = true;
        }
        Write(out, child);
    }
    out += '\n';
    return out.replace(kKeptBlanksUtf8, "");
}

// A character that finds a sentence on a page: not a blank and not a format character
// (a soft hyphen, a joiner), which the page and the text read from it may hold differently.
bool Finds(QChar c)
{
    return !c.isSpace() && c.category() != QChar::Other_Format && c != kKeptBlanks;
}

QString FindingCharacters(QStringView text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (Finds(c))
            kept += c;
    }
    return kept;
}

// Elements whose text is not read as the page's text, or where a span may not stand.
bool Unread(const QString &name)
{
    static const QSet<QString> names = {u"head"_s,   u"script"_s, u"style"_s, u"template"_s, u"rt"_s,       u"rp"_s,
                                        u"svg"_s,    u"math"_s,   u"title"_s, u"textarea"_s, u"select"_s,   u"option"_s,
                                        u"object"_s, u"iframe"_s, u"video"_s, u"audio"_s,    u"noscript"_s, u"canvas"_s};
    return names.contains(name);
}

// Elements that may stand inside a span.
bool Phrasing(const QString &name)
{
    static const QSet<QString> names = {
        u"a"_s,   u"abbr"_s, u"b"_s,   u"bdi"_s,    u"bdo"_s,  u"br"_s,  u"cite"_s, u"code"_s, u"data"_s,
        u"del"_s, u"dfn"_s,  u"em"_s,  u"i"_s,      u"img"_s,  u"ins"_s, u"kbd"_s,  u"mark"_s, u"q"_s,
        u"ruby"_s, u"rb"_s,  u"rt"_s,  u"rp"_s,     u"s"_s,    u"samp"_s, u"small"_s, u"span"_s, u"strong"_s,
        u"sub"_s, u"sup"_s,  u"time"_s, u"u"_s,     u"var"_s,  u"wbr"_s, u"big"_s,  u"tt"_s,   u"font"_s};
    return names.contains(name);
}

// A page's characters that find sentences, and where each stands: its text node (the
// last that begins at or before it) and its offset in that node.
struct PageText
{
    QString characters;
    std::vector<int> offsets;
    std::vector<std::pair<qsizetype, QDomText>> nodes; // where each node's characters begin

    std::pair<QDomText, int> Place(qsizetype at) const
    {
        const auto node = std::upper_bound(nodes.begin(), nodes.end(), at,
                                           [](qsizetype value, const auto &begins) { return value < begins.first; });
        return {std::prev(node)->second, offsets[static_cast<size_t>(at)]};
    }
};

void Collect(const QDomNode &node, PageText &page)
{
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.isText()) {
            const QDomText text = child.toText();
            const QString data = text.data();
            const qsizetype before = page.characters.size();
            for (int i = 0; i < data.size(); ++i) {
                if (Finds(data[i])) {
                    page.characters += data[i];
                    page.offsets.push_back(i);
                }
            }
            if (page.characters.size() > before)
                page.nodes.emplace_back(before, text);
        } else if (child.isElement() && !Unread(LocalName(child.toElement()))) {
            Collect(child, page);
        }
    }
}

// True when node holds a character that finds a sentence.
bool HoldsText(const QDomNode &node)
{
    if (node.isText()) {
        const QString data = node.toText().data();
        return std::any_of(data.begin(), data.end(), Finds);
    }
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (HoldsText(child))
            return true;
    }
    return false;
}

// True when every element in node (itself too) may stand inside a span.
bool AllPhrasing(const QDomNode &node)
{
    if (node.isElement() && !Phrasing(LocalName(node.toElement())))
        return false;
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!AllPhrasing(child))
            return false;
    }
    return true;
}

// True when ancestor holds text on the side of inner away from the sentence: before it
// (before true) or after it.
bool TextBeside(const QDomNode &ancestor, QDomNode inner, bool before)
{
    for (; inner != ancestor; inner = inner.parentNode()) {
        for (QDomNode n = before ? inner.previousSibling() : inner.nextSibling(); !n.isNull();
             n = before ? n.previousSibling() : n.nextSibling()) {
            if (HoldsText(n))
                return true;
        }
    }
    return false;
}

// Splits text at offset and answers the node with what follows it. (QDomText::splitText
// leaks the node it makes in Qt 6.4.)
QDomText SplitText(QDomDocument &document, QDomText text, int offset)
{
    const QString data = text.data();
    QDomText rest = document.createTextNode(data.mid(offset));
    text.parentNode().insertAfter(rest, text);
    text.setData(data.left(offset));
    return rest;
}

// Wraps the text from first to last (a character of each text node, last included) in a
// span with the id: the nodes between them, inline markup and all, where that is one span
// of phrasing content; else the first text node's part alone.
void Wrap(QDomDocument &document, std::pair<QDomText, int> first, std::pair<QDomText, int> last, const QString &id)
{
    QDomText start = first.first;
    QDomText end = last.first;
    // The end first: what stands before it keeps its offsets.
    if (last.second + 1 < static_cast<int>(end.length()))
        SplitText(document, end, last.second + 1);
    if (first.second > 0) {
        const QDomText rest = SplitText(document, start, first.second);
        if (start == end)
            end = rest;
        start = rest;
    }
    // The nearest element that holds both, and its children that hold each.
    QList<QDomNode> above;
    for (QDomNode n = start.parentNode(); !n.isNull(); n = n.parentNode())
        above.append(n);
    QDomNode common = end.parentNode();
    while (!common.isNull() && !above.contains(common))
        common = common.parentNode();
    QDomNode from = start;
    QDomNode to = end;
    bool whole = !common.isNull();
    if (whole) {
        while (from.parentNode() != common)
            from = from.parentNode();
        while (to.parentNode() != common)
            to = to.parentNode();
        whole = !TextBeside(from, start, true) && !TextBeside(to, end, false);
        for (QDomNode n = from; whole; n = n.nextSibling()) {
            whole = AllPhrasing(n);
            if (n == to)
                break;
        }
    }
    if (!whole)
        from = to = start;
    QDomElement span = document.createElement(u"span"_s);
    span.setAttribute(u"id"_s, id);
    QDomNode parent = from.parentNode();
    parent.insertBefore(span, from);
    for (QDomNode n = from; !n.isNull();) {
        const QDomNode next = n.nextSibling();
        span.appendChild(n);
        if (n == to)
            break;
        n = next;
    }
}

// A sentence as it is heard: the characters that find it, and its chapter.
struct Heard
{
    QString characters;
    const TimedSentence *sentence = nullptr;
    int chapter = 0;
};

std::vector<Heard> HeardSentences(const ReadAlongBook &book)
{
    std::vector<Heard> heard;
    for (qsizetype c = 0; c < book.chapters.size(); ++c) {
        for (const ReadAlongBlock &block : book.chapters[c].blocks) {
            for (const TimedSentence &sentence : block.sentences)
                heard.push_back({FindingCharacters(sentence.text), &sentence, int(c)});
        }
    }
    return heard;
}

// Where each sentence stands in the characters of the pages in the reading order:
// [start, end), with the sentence's index; in order, each after the one before. A sentence
// that stands nowhere near is not shown as text (a picture's description) and is left out.
struct Found
{
    size_t sentence;
    qsizetype start;
    qsizetype end;
};

std::vector<Found> FindSentences(QStringView pages, const std::vector<Heard> &heard)
{
    std::vector<Found> found;
    qsizetype at = 0;
    const auto find = [&](size_t k, qsizetype from) -> qsizetype {
        const QString &characters = heard[k].characters;
        const QStringView window = pages.mid(from, std::min(pages.size() - from, kWindow + characters.size()));
        const qsizetype start = characters.isEmpty() ? -1 : window.indexOf(characters);
        return start < 0 ? -1 : from + start;
    };
    for (size_t k = 0; k < heard.size(); ++k) {
        const qsizetype start = find(k, at);
        if (start < 0)
            continue;
        const qsizetype end = start + heard[k].characters.size();
        // Far on, it is taken when the next sentence follows it there.
        if (start > at + kNear && k + 1 < heard.size() && !heard[k + 1].characters.isEmpty()) {
            const qsizetype after = find(k + 1, end);
            if (after < 0 || after > end + kNear)
                continue;
        }
        found.push_back({k, start, end});
        at = end;
    }
    return found;
}

// An item of the package's manifest.
struct Item
{
    QDomElement element;
    QString id;
    QString path; // in the archive
    QString href;
    QString mediaType;
};

QString PartPath(const QString &base, const QString &href)
{
    const QString decoded = QUrl::fromPercentEncoding(href.section(u'#', 0, 0).toUtf8());
    return QDir::cleanPath(base.isEmpty() ? decoded : base + u'/' + decoded);
}

// A name for a new part that no entry of the archive has.
QString FreeName(const ZipReader &zip, const QString &base, const QString &name)
{
    QString candidate = name;
    for (int k = 2; zip.Locate(PartPath(base, candidate)) >= 0; ++k)
        candidate = name.section(u'.', 0, 0) + u'-' + QString::number(k) + u'.' + name.section(u'.', 1);
    return candidate;
}

QString FreeId(const QSet<QString> &ids, const QString &id)
{
    QString candidate = id;
    for (int k = 2; ids.contains(candidate); ++k)
        candidate = id + u'-' + QString::number(k);
    return candidate;
}

QSet<QString> IdsOf(const QDomNode &root)
{
    QSet<QString> ids;
    std::vector<QDomNode> stack{root};
    while (!stack.empty()) {
        const QDomNode at = stack.back();
        stack.pop_back();
        if (at.isElement() && at.toElement().hasAttribute(u"id"_s))
            ids.insert(at.toElement().attribute(u"id"_s));
        for (QDomNode child = at.firstChild(); !child.isNull(); child = child.nextSibling())
            stack.push_back(child);
    }
    return ids;
}


// A page of the reading order, parsed, and where its characters begin among all the pages'.
struct Page
{
    Item item;
    QDomDocument document;
    PageText text;
    qsizetype offset = 0;
};

// The book at source being written again with its overlays.
class OverlaidBook
{
public:
    OverlaidBook(const QString &source, const ReadAlongBook &book)
        : m_zip(source)
        , m_book(book)
    {
    }

    ReadAlongResult Write(const QString &path)
    {
        if (const QString why = ReadPackage(); !why.isEmpty())
            return Unsuitable(why);
        if (const QString refusal = ReadAlongBookRefusal(m_book, path); !refusal.isEmpty())
            return {false, refusal};
        ReadPages();
        for (qsizetype c = 0; c < m_book.chapters.size(); ++c)
            m_audioHrefs.append(FreeName(m_zip, m_base, u"vocatext-audio/chapter-"_s
                                                              + QString::number(c + 1).rightJustified(4, u'0') + u".mp3"_s));
        m_styleHref = FreeName(m_zip, m_base, u"vocatext-read-along.css"_s);
        OverlayPages();
        if (m_overlays.isEmpty())
            return Unsuitable(u"none of its sentences is found in its pages"_s);
        AddToPackage();
        return WriteArchive(path);
    }

private:
    struct Overlay
    {
        QString id;
        QString href;
        QByteArray smil;
        qint64 ms = 0;
    };

    // The package document and its manifest; why the book cannot take overlays, or "".
    QString ReadPackage()
    {
        const auto mimetype = m_zip.Read(u"mimetype"_s, 64);
        if (!m_zip.Archive() || !mimetype || mimetype->trimmed() != "application/epub+zip")
            return u"it is not an EPUB book"_s;
        const auto container = m_zip.Read(u"META-INF/container.xml"_s);
        const std::optional<QDomDocument> containerDocument = container ? Parsed(*container) : std::nullopt;
        const QList<QDomElement> rootfiles =
            containerDocument ? Elements(*containerDocument, u"rootfile") : QList<QDomElement>();
        m_opfPath = rootfiles.isEmpty() ? QString() : QDir::cleanPath(rootfiles[0].attribute(u"full-path"_s));
        const auto opfBytes = m_opfPath.isEmpty() ? std::nullopt : m_zip.Read(m_opfPath);
        std::optional<QDomDocument> opf = opfBytes ? Parsed(*opfBytes) : std::nullopt;
        if (!opf)
            return u"its package document cannot be read"_s;
        m_opf = *opf;
        m_package = m_opf.documentElement();
        if (LocalName(m_package) != u"package" || !m_package.attribute(u"version"_s).startsWith(u'3'))
            return u"it is an EPUB 2 book, whose pages cannot play overlays"_s;
        if (m_package.tagName().contains(u':'))
            m_prefix = m_package.tagName().section(u':', 0, 0) + u':';
        m_base = m_opfPath.contains(u'/') ? m_opfPath.section(u'/', 0, -2) : QString();
        const QList<QDomElement> manifests = Elements(m_package, u"manifest");
        const QList<QDomElement> metadatas = Elements(m_package, u"metadata");
        if (manifests.isEmpty() || metadatas.isEmpty())
            return u"its package document has no manifest"_s;
        m_manifest = manifests[0];
        m_metadata = metadatas[0];
        for (const QDomElement &element : Elements(m_manifest, u"item")) {
            if (element.hasAttribute(u"media-overlay"_s))
                return u"it has media overlays of its own"_s;
            const QString href = element.attribute(u"href"_s);
            m_items.insert(element.attribute(u"id"_s), {element, element.attribute(u"id"_s), PartPath(m_base, href),
                                                        href, element.attribute(u"media-type"_s)});
        }
        m_packageIds = IdsOf(m_package);
        return {};
    }

    // The pages of the reading order (a page that is not well-formed XML is left as it is).
    void ReadPages()
    {
        QSet<QString> read;
        for (const QDomElement &itemref : Elements(m_package, u"itemref")) {
            const auto item = m_items.constFind(itemref.attribute(u"idref"_s));
            if (item == m_items.cend() || item->mediaType != u"application/xhtml+xml"_s
                || item->element.attribute(u"properties"_s).split(u' ').contains(u"nav"_s) || read.contains(item->path))
                continue;
            read.insert(item->path);
            const auto bytes = m_zip.Read(item->path);
            std::optional<QDomDocument> document = bytes ? Parsed(*bytes) : std::nullopt;
            const QList<QDomElement> bodies = document ? Elements(*document, u"body") : QList<QDomElement>();
            if (bodies.isEmpty())
                continue;
            Page page{*item, *document, {}, m_characters.size()};
            Collect(bodies[0], page.text);
            m_characters += page.text.characters;
            m_pages.push_back(std::move(page));
        }
    }

    // Each page on which sentences are found: its spans, its style and its overlay.
    void OverlayPages()
    {
        const std::vector<Heard> heard = HeardSentences(m_book);
        const std::vector<Found> found = FindSentences(m_characters, heard);
        m_audioUsed.assign(static_cast<size_t>(m_book.chapters.size()), false);
        int sentenceNumber = 0;
        auto next = found.cbegin();
        for (Page &page : m_pages) {
            const qsizetype end = page.offset + page.text.characters.size();
            std::vector<Found> here;
            for (; next != found.cend() && next->start < end; ++next) {
                if (next->end <= end) // never one that goes on to the next page
                    here.push_back({next->sentence, next->start - page.offset, next->end - page.offset});
            }
            // A page is let go once it is written: a long book is never held twice.
            const auto letGo = qScopeGuard([&page] {
                page.document = QDomDocument();
                page.text = PageText();
            });
            if (here.empty())
                continue;
            const QSet<QString> ids = IdsOf(page.document);
            QStringList spans;
            for (size_t k = 0; k < here.size(); ++k)
                spans.append(FreeId(ids, u"vt-s"_s + QString::number(++sentenceNumber)));
            // From the last: a split leaves what stands before it where it was.
            for (size_t k = here.size(); k-- > 0;)
                Wrap(page.document, page.text.Place(here[k].start), page.text.Place(here[k].end - 1),
                     spans[static_cast<qsizetype>(k)]);
            if (const QList<QDomElement> heads = Elements(page.document, u"head"); !heads.isEmpty()) {
                QDomElement link = page.document.createElement(u"link"_s);
                link.setAttribute(u"rel"_s, u"stylesheet"_s);
                link.setAttribute(u"type"_s, u"text/css"_s);
                link.setAttribute(u"href"_s, QDir(u'/' + page.item.path.section(u'/', 0, -2))
                                                 .relativeFilePath(u'/' + PartPath(m_base, m_styleHref)));
                QDomElement head = heads[0];
                head.appendChild(link);
            }
            m_written.insert(page.item.path, Written(page.document));

            Overlay overlay;
            overlay.id = FreeId(m_packageIds, u"vt-overlay-"_s + QString::number(m_overlays.size() + 1));
            m_packageIds.insert(overlay.id);
            overlay.href =
                FreeName(m_zip, m_base, u"vocatext-overlay-"_s + QString::number(m_overlays.size() + 1) + u".smil"_s);
            QByteArray pars;
            for (size_t k = 0; k < here.size(); ++k) {
                const Heard &sentence = heard[here[k].sentence];
                const ReadAlongChapter &chapter = m_book.chapters[sentence.chapter];
                const qint64 played =
                    AppendPar(pars, page.item.href + u'#' + spans[static_cast<qsizetype>(k)],
                              chapter.audioPath.isEmpty() ? QString() : m_audioHrefs[sentence.chapter], *sentence.sentence,
                              chapter.durationMs);
                overlay.ms += played;
                if (played > 0)
                    m_audioUsed[static_cast<size_t>(sentence.chapter)] = true;
            }
            overlay.smil = SmilOverlay(pars);
            page.item.element.setAttribute(u"media-overlay"_s, overlay.id);
            m_overlays.append(overlay);
        }
    }

    // The package names the new parts, the durations, the narrator and the active class,
    // and is dated now.
    void AddToPackage()
    {
        m_modified = (m_book.modified.isValid() ? m_book.modified : QDateTime::currentDateTimeUtc()).toUTC();
        qint64 totalMs = 0;
        for (const Overlay &overlay : std::as_const(m_overlays)) {
            Add(m_manifest, u"item"_s,
                {{u"id"_s, overlay.id}, {u"href"_s, overlay.href}, {u"media-type"_s, u"application/smil+xml"_s}});
            Add(m_metadata, u"meta"_s, {{u"property"_s, u"media:duration"_s}, {u"refines"_s, u'#' + overlay.id}},
                QString::fromLatin1(SmilClockValue(overlay.ms)));
            totalMs += overlay.ms;
        }
        for (qsizetype c = 0; c < m_book.chapters.size(); ++c) {
            if (m_audioUsed[static_cast<size_t>(c)])
                Add(m_manifest, u"item"_s,
                    {{u"id"_s, FreeId(m_packageIds, u"vt-audio-"_s + QString::number(c + 1))},
                     {u"href"_s, m_audioHrefs[c]},
                     {u"media-type"_s, u"audio/mpeg"_s}});
        }
        Add(m_manifest, u"item"_s,
            {{u"id"_s, FreeId(m_packageIds, u"vt-read-along-style"_s)}, {u"href"_s, m_styleHref},
             {u"media-type"_s, u"text/css"_s}});
        Add(m_metadata, u"meta"_s, {{u"property"_s, u"media:duration"_s}}, QString::fromLatin1(SmilClockValue(totalMs)));
        if (const QString narrator = SingleLine(m_book.narrator); !narrator.isEmpty())
            Add(m_metadata, u"meta"_s, {{u"property"_s, u"media:narrator"_s}}, narrator);
        Add(m_metadata, u"meta"_s, {{u"property"_s, u"media:active-class"_s}}, QString::fromLatin1(kReadAlongActiveClass));
        for (QDomElement meta : Elements(m_metadata, u"meta")) {
            if (meta.attribute(u"property"_s) == u"dcterms:modified"_s && !meta.hasAttribute(u"refines"_s)) {
                while (meta.hasChildNodes())
                    meta.removeChild(meta.firstChild());
                meta.appendChild(m_opf.createTextNode(m_modified.toString(Qt::ISODate)));
            }
        }
    }

    void Add(QDomElement parent, const QString &name, const QList<std::pair<QString, QString>> &attributes,
             const QString &text = QString())
    {
        QDomElement element = m_opf.createElement(m_prefix + name);
        for (const auto &[attribute, value] : attributes)
            element.setAttribute(attribute, value);
        if (!text.isNull())
            element.appendChild(m_opf.createTextNode(text));
        parent.appendChild(element);
        parent.appendChild(m_opf.createTextNode(u"\n"_s));
    }

    // The archive again: its mimetype first and stored, every entry as it was or rewritten,
    // then the new parts.
    ReadAlongResult WriteArchive(const QString &path)
    {
        ZipWriter out(path, m_modified);
        const auto failed = [&out, &path] {
            return ReadAlongResult{false, u"Cannot write the read-along book (%1): "_s.arg(out.Error()) + path};
        };
        if (!out.IsOpen() || !out.Add(u"mimetype"_s, "application/epub+zip", false))
            return failed();
        for (qint64 index = 0; index < m_zip.Count(); ++index) {
            const QString name = m_zip.Name(index);
            const QString part = QDir::cleanPath(name);
            if (name.isEmpty() || name == u"mimetype"_s || name.endsWith(u'/'))
                continue;
            const bool added = part == m_opfPath          ? out.Add(name, Written(m_opf))
                               : m_written.contains(part) ? out.Add(name, m_written.value(part))
                                                          : out.AddFromZip(name, m_zip.Archive(), index);
            if (!added)
                return failed();
        }
        if (!out.Add(PartPath(m_base, m_styleHref), ReadAlongStyleSheet()))
            return failed();
        for (const Overlay &overlay : std::as_const(m_overlays)) {
            if (!out.Add(PartPath(m_base, overlay.href), overlay.smil))
                return failed();
        }
        for (qsizetype c = 0; c < m_book.chapters.size(); ++c) {
            if (m_audioUsed[static_cast<size_t>(c)]
                && !out.AddFile(PartPath(m_base, m_audioHrefs[c]), m_book.chapters[c].audioPath))
                return failed();
        }
        if (!out.Close())
            return failed();
        return {true, {}};
    }

    const ZipReader m_zip;
    const ReadAlongBook &m_book;
    QString m_opfPath;
    QString m_base; // the package document's folder, which its hrefs are relative to
    QString m_prefix; // of the package's elements ("opf:"), where they have one
    QDomDocument m_opf;
    QDomElement m_package;
    QDomElement m_manifest;
    QDomElement m_metadata;
    QHash<QString, Item> m_items;
    QSet<QString> m_packageIds;
    std::vector<Page> m_pages;
    QString m_characters; // of all the pages, one after another
    QStringList m_audioHrefs; // of each chapter's MP3
    std::vector<bool> m_audioUsed;
    QString m_styleHref;
    QList<Overlay> m_overlays;
    QHash<QString, QByteArray> m_written; // page path -> the page as rewritten
    QDateTime m_modified;
};

} // namespace

ReadAlongResult WriteOverlaidEpub(const QString &source, const ReadAlongBook &book, const QString &path)
{
    return OverlaidBook(source, book).Write(path);
}
