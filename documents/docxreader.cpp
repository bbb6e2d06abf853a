#include "documents/docxreader.h"

#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/package.h"
#include "documents/stylelanguages.h"

#include <QHash>
#include <QSet>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kW = u"http://schemas.openxmlformats.org/wordprocessingml/2006/main"_s;
const QString kWStrict = u"http://purl.oclc.org/ooxml/wordprocessingml/main"_s;
const QString kMc = u"http://schemas.openxmlformats.org/markup-compatibility/2006"_s;
const QString kRelationships = u"http://schemas.openxmlformats.org/package/2006/relationships"_s;
const QString kDc = u"http://purl.org/dc/elements/1.1/"_s;

// Word's tables have at most 63 columns.
constexpr int kMaxGridColumns = 63;
// A heading's title is what a chapter list shows: never more than this.
constexpr qsizetype kMaxHeadingTitle = 500;
// Real core properties hold a few kilobytes, as an OpenDocument's meta.xml does.
constexpr qint64 kMaxPropertiesBytes = qint64(1) << 20;

RuntimeError NotAWordDocument(const QString &path)
{
    return RuntimeError(u"The file is not a Word document: "_s + path, ErrorNumber::PathFileAccessError);
}

bool IsW(const XmlPull &pull)
{
    const QStringView ns = pull.xml.namespaceUri();
    return ns == kW || ns == kWStrict;
}

// A WordprocessingML attribute (w:val, ...), in either namespace; null when it is missing.
QString WAttribute(const XmlPull &pull, QStringView name)
{
    const QXmlStreamAttributes attributes = pull.xml.attributes();
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (attribute.name() == name && (attribute.namespaceUri() == kW || attribute.namespaceUri() == kWStrict))
            return attribute.value().toString();
    }
    return QString();
}

// An on/off property: present means on, unless its value says off.
bool IsOn(QStringView value)
{
    return value != u"0" && value != u"false" && value != u"off";
}

// How the notes of one kind are numbered.
struct NoteNumbering
{
    QString format = u"decimal"_s;
    int start = 1;
};

QString Roman(int n, bool upper)
{
    static const std::pair<int, const char *> parts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
                                                         {100, "c"},  {90, "xc"},  {50, "l"},  {40, "xl"},
                                                         {10, "x"},   {9, "ix"},   {5, "v"},   {4, "iv"},
                                                         {1, "i"}};
    QString text;
    for (const auto &[value, letters] : parts) {
        while (n >= value && text.size() < 64) {
            text += QLatin1StringView(letters);
            n -= value;
        }
    }
    return upper ? text.toUpper() : text;
}

// The label of note number n (from 1) as the document numbers its notes.
QString NoteLabel(const NoteNumbering &numbering, int n)
{
    const QString &f = numbering.format;
    if (n < 1)
        return QString::number(n);
    if (f == u"lowerRoman" || f == u"upperRoman")
        return Roman(std::min(n, 3999), f == u"upperRoman");
    if (f == u"lowerLetter" || f == u"upperLetter") {
        // a .. z, then aa .. zz, as Word counts.
        const QChar letter(static_cast<char16_t>((f == u"upperLetter" ? u'A' : u'a') + (n - 1) % 26));
        return QString(std::min((n - 1) / 26 + 1, 64), letter);
    }
    if (f == u"chicago") {
        static const char16_t symbols[] = {u'*', u'\u2020', u'\u2021', u'\u00a7'};
        return QString(std::min((n - 1) / 4 + 1, 64), QChar(symbols[(n - 1) % 4]));
    }
    return QString::number(n);
}

// The parts the main document names, by the type its relationships give them.
struct Relationships
{
    QHash<QString, QString> byType; // the last segment of the type ("styles") -> part name
};

Relationships ReadRelationships(const ZipPackage &package, YieldClock &clock, const QString &relsName, const QString &ofPart)
{
    Relationships rels;
    const qint64 index = package.Locate(relsName);
    if (index < 0)
        return rels;
    WholeBytes bytes(package.ReadAll(index));
    XmlPull pull(bytes, clock, nullptr, package.Path());
    while (pull.Next() != QXmlStreamReader::EndDocument) {
        if (pull.xml.tokenType() != QXmlStreamReader::StartElement || pull.xml.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = pull.xml.attributes();
        if (attributes.value(u"TargetMode"_s) == u"External")
            continue;
        const QString type = attributes.value(u"Type"_s).toString().section(u'/', -1);
        const QString target = ResolvePartName(ofPart, attributes.value(u"Target"_s).toString());
        if (!target.isEmpty() && !rels.byType.contains(type))
            rels.byType.insert(type, target);
    }
    return rels;
}

QString RelationshipsOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + u"_rels/"_s + part.mid(slash + 1) + u".rels"_s;
}

// The languages a w:lang element gives: w:val for most characters, w:eastAsia for Chinese,
// Japanese and Korean ones, w:bidi for right-to-left and complex scripts; null where it says none.
TextLanguages WLanguages(const XmlPull &pull)
{
    return {LanguageTag(WAttribute(pull, u"val")), LanguageTag(WAttribute(pull, u"eastAsia")),
            LanguageTag(WAttribute(pull, u"bidi"))};
}

// The languages of the run properties (w:rPr, w:rPrDefault's) just started.
TextLanguages RunLanguages(XmlPull &pull, QString *characterStyle = nullptr)
{
    TextLanguages languages;
    while (pull.NextChild()) {
        if (IsW(pull) && pull.xml.name() == u"lang")
            languages = WLanguages(pull);
        else if (characterStyle && IsW(pull) && pull.xml.name() == u"rStyle")
            *characterStyle = WAttribute(pull, u"val");
        pull.Skip();
    }
    return languages;
}

// What the styles part says: the paragraph styles' outline levels (from 1, through the
// styles they are based on) and the languages of the document's defaults, of its paragraph
// and character styles.
struct WordStyles
{
    QHash<QString, int> headingLevels;
    TextLanguages defaults;
    StyleLanguages paragraph;
    StyleLanguages character;
    QString defaultParagraph; // the style of a paragraph that names none
};

WordStyles ReadStyles(const ZipPackage &package, YieldClock &clock, const QString &part)
{
    WordStyles styles;
    QHash<QString, int> &levels = styles.headingLevels;
    const qint64 index = part.isEmpty() ? -1 : package.Locate(part);
    if (index < 0)
        return styles;
    WholeBytes bytes(package.ReadAll(index, qint64(64) << 20));
    XmlPull pull(bytes, clock, nullptr, package.Path());
    QHash<QString, QString> basedOn;
    QHash<QString, int> own; // 0: body text, said so
    while (pull.Next() != QXmlStreamReader::EndDocument) {
        if (pull.xml.tokenType() != QXmlStreamReader::StartElement || !IsW(pull))
            continue;
        if (pull.xml.name() == u"rPrDefault") {
            while (pull.NextChild()) {
                if (IsW(pull) && pull.xml.name() == u"rPr")
                    styles.defaults = Over(RunLanguages(pull), styles.defaults);
                else
                    pull.Skip();
            }
            continue;
        }
        if (pull.xml.name() != u"style")
            continue;
        const QString type = WAttribute(pull, u"type");
        if (type != u"paragraph" && type != u"character") {
            pull.Skip();
            continue;
        }
        const QString id = WAttribute(pull, u"styleId");
        const QString isDefault = WAttribute(pull, u"default");
        if (type == u"paragraph" && !isDefault.isNull() && IsOn(isDefault) && styles.defaultParagraph.isEmpty())
            styles.defaultParagraph = id;
        QString parent;
        TextLanguages languages;
        while (pull.NextChild()) {
            if (!IsW(pull)) {
                pull.Skip();
            } else if (pull.xml.name() == u"basedOn") {
                parent = WAttribute(pull, u"val");
                if (type == u"paragraph")
                    basedOn.insert(id, parent);
                pull.Skip();
            } else if (pull.xml.name() == u"rPr") {
                languages = RunLanguages(pull);
            } else if (type != u"paragraph") {
                pull.Skip();
            } else if (pull.xml.name() == u"name") {
                const QString name = WAttribute(pull, u"val").toLower();
                bool ok = false;
                const int level = name.startsWith(u"heading "_s) ? name.mid(8).toInt(&ok) : 0;
                if (ok && level >= 1 && level <= 9 && !own.contains(id))
                    own.insert(id, level);
                pull.Skip();
            } else if (pull.xml.name() == u"pPr") {
                while (pull.NextChild()) {
                    if (IsW(pull) && pull.xml.name() == u"outlineLvl") {
                        bool ok = false;
                        const int level = WAttribute(pull, u"val").toInt(&ok);
                        if (ok)
                            own.insert(id, level >= 0 && level < 9 ? level + 1 : 0);
                    }
                    pull.Skip();
                }
            } else {
                pull.Skip();
            }
        }
        (type == u"paragraph" ? styles.paragraph : styles.character).Add(id, parent, languages);
    }
    for (auto it = basedOn.cbegin(); it != basedOn.cend(); ++it) {
        QString style = it.key();
        for (int hops = 0; hops < 32 && !own.contains(style) && basedOn.contains(style); ++hops)
            style = basedOn.value(style);
        if (!own.contains(it.key()) && own.contains(style))
            levels.insert(it.key(), own.value(style));
    }
    for (auto it = own.cbegin(); it != own.cend(); ++it) {
        if (it.value() > 0)
            levels.insert(it.key(), it.value());
    }
    for (auto it = levels.begin(); it != levels.end();) {
        it = it.value() > 0 ? std::next(it) : levels.erase(it);
    }
    return styles;
}

// How footnotes and endnotes are numbered, from the document's settings.
void ReadNoteNumbering(const ZipPackage &package, YieldClock &clock, const QString &part, NoteNumbering *footnotes,
                       NoteNumbering *endnotes)
{
    endnotes->format = u"lowerRoman"_s; // Word's own default for endnotes
    const qint64 index = part.isEmpty() ? -1 : package.Locate(part);
    if (index < 0)
        return;
    WholeBytes bytes(package.ReadAll(index));
    XmlPull pull(bytes, clock, nullptr, package.Path());
    while (pull.Next() != QXmlStreamReader::EndDocument) {
        if (pull.xml.tokenType() != QXmlStreamReader::StartElement || !IsW(pull))
            continue;
        const QStringView name = pull.xml.name();
        if (name != u"footnotePr" && name != u"endnotePr")
            continue;
        NoteNumbering *numbering = name == u"footnotePr" ? footnotes : endnotes;
        while (pull.NextChild()) {
            if (IsW(pull) && pull.xml.name() == u"numFmt") {
                numbering->format = WAttribute(pull, u"val");
            } else if (IsW(pull) && pull.xml.name() == u"numStart") {
                bool ok = false;
                const int start = WAttribute(pull, u"val").toInt(&ok);
                if (ok && start >= 0 && start < 1000000)
                    numbering->start = start;
            }
            pull.Skip();
        }
    }
}

// The title and author of the core properties; a part that is damaged, too large or
// hostile names neither, and the text is read all the same.
void ReadCoreProperties(const ZipPackage &package, YieldClock &clock, const QString &part, DocumentFacts *facts)
{
    const qint64 index = package.Locate(part.isEmpty() ? u"docProps/core.xml"_s : part);
    if (index < 0)
        return;
    QString title;
    QString author;
    QString language;
    try {
        WholeBytes bytes(package.ReadAll(index, kMaxPropertiesBytes));
        XmlPull pull(bytes, clock, nullptr, package.Path());
        while (pull.Next() != QXmlStreamReader::EndDocument) {
            if (pull.xml.tokenType() != QXmlStreamReader::StartElement || pull.xml.namespaceUri() != kDc)
                continue;
            if (pull.xml.name() == u"title" && title.isEmpty())
                title = pull.ElementText(kMaxHeadingTitle).simplified();
            else if (pull.xml.name() == u"creator" && author.isEmpty())
                author = pull.ElementText(kMaxHeadingTitle).simplified();
            else if (pull.xml.name() == u"language" && language.isEmpty())
                language = pull.ElementText(kMaxHeadingTitle).simplified();
        }
    } catch (const RuntimeError &) {
        return;
    }
    if (facts->title.isEmpty())
        facts->title = title;
    if (facts->author.isEmpty())
        facts->author = author;
    if (facts->language.isEmpty())
        facts->language = LanguageTag(language);
}

// Streams the main document part and writes its body text.
class BodyParser
{
public:
    BodyParser(const QString &path, XmlPull &pull, LineWriter &out, const WordStyles &styles, NoteNumbering footnotes,
               NoteNumbering endnotes, DocumentFacts *facts)
        : m_path(path)
        , m_pull(pull)
        , m_out(out)
        , m_styles(styles)
        , m_footnotes(std::move(footnotes))
        , m_endnotes(std::move(endnotes))
        , m_facts(facts)
        , m_footnote(m_footnotes.start)
        , m_endnote(m_endnotes.start)
    {
    }

    void Run()
    {
        if (!m_pull.NextChild() || !IsW(m_pull) || m_pull.xml.name() != u"document")
            throw NotAWordDocument(m_path);
        while (m_pull.NextChild()) {
            if (IsW(m_pull) && m_pull.xml.name() == u"body")
                Block();
            else
                m_pull.Skip();
        }
    }

private:
    QStringView Name() const { return m_pull.xml.name(); }

    // Children of the current element as block content.
    void Block()
    {
        while (m_pull.NextChild())
            BlockElement();
    }

    void BlockElement()
    {
        if (m_pull.xml.namespaceUri() == kMc && Name() == u"AlternateContent")
            return AlternateContent([this] { Block(); });
        if (!IsW(m_pull))
            return m_pull.Skip();
        const QStringView name = Name();
        if (name == u"p")
            return Paragraph();
        if (name == u"tbl")
            return Table();
        // Content controls, custom markup and inserted or moved-here text are read as what they hold.
        if (name == u"sdt")
            return Content([this] { Block(); });
        if (name == u"customXml" || name == u"ins" || name == u"moveTo" || name == u"smartTag")
            return Block();
        m_pull.Skip(); // deletions, section properties, marks, embedded chunks
    }

    // The children of a content control's sdtContent, read by content.
    template<typename F>
    void Content(F &&content)
    {
        while (m_pull.NextChild()) {
            if (IsW(m_pull) && Name() == u"sdtContent")
                content();
            else
                m_pull.Skip();
        }
    }

    // Markup that a reader may not know, with a fallback: the first choice whose markup is
    // known (shapes, groups, Word 2010 and 2013 markup), else the fallback, as the office
    // suite takes it.
    template<typename F>
    void AlternateContent(F &&content)
    {
        static const QSet<QString> known = {u"wps"_s, u"wpg"_s, u"wpc"_s, u"wpi"_s, u"w14"_s, u"w15"_s, u"wp14"_s};
        bool taken = false;
        while (m_pull.NextChild()) {
            bool take = false;
            if (!taken && m_pull.xml.namespaceUri() == kMc && Name() == u"Choice") {
                const QStringList needed = m_pull.xml.attributes().value(u"Requires"_s).toString().split(
                    u' ', Qt::SkipEmptyParts);
                take = !needed.isEmpty()
                       && std::all_of(needed.begin(), needed.end(), [](const QString &p) { return known.contains(p); });
            } else if (!taken && m_pull.xml.namespaceUri() == kMc && Name() == u"Fallback") {
                take = true;
            }
            if (take) {
                taken = true;
                content();
            } else {
                m_pull.Skip();
            }
        }
    }

    // A paragraph begins when its first character comes, so that one the office suite
    // drops (an empty one that only ends a section) never shows.
    void Paragraph()
    {
        m_pending = !m_joinNext;
        m_joinNext = false;
        m_split = false;
        m_paragraphLine = m_out.Line();
        ParagraphStyle style;
        QString title;
        bool first = true;
        m_paragraphLanguages = m_styles.paragraph.Of(m_styles.defaultParagraph, m_styles.defaults);
        while (m_pull.NextChild()) {
            if (first && IsW(m_pull) && Name() == u"pPr") {
                ParagraphProperties(&style);
                if (style.listItem && !m_blockBegins)
                    m_blockBegins = DocumentBlock::Kind::ListItem;
                if (style.level > 0 && m_facts)
                    m_title = &title;
                if (!style.id.isEmpty())
                    m_paragraphLanguages = m_styles.paragraph.Of(style.id, m_styles.defaults);
            } else {
                InlineElement();
            }
            first = false;
        }
        m_title = nullptr;
        if (m_pending && !style.endsSection)
            Begin();
        if (style.listItem)
            m_blockBegins.reset(); // a list item that shows nothing begins none
        m_pending = false;
        m_split = false;
        // A paragraph mark deleted while changes were tracked joins this paragraph to the
        // next, and so does a drop cap the one it opens.
        m_joinNext = style.markDeleted || style.dropCap;
        title = title.simplified();
        if (style.level > 0 && m_facts && !title.isEmpty())
            m_facts->AddHeading({title, style.level, m_paragraphLine});
    }

    void Begin()
    {
        m_out.Paragraph();
        m_paragraphLine = m_out.Line();
        // The first paragraph of a list item or a table cell begins it.
        if (m_blockBegins && m_facts)
            m_facts->AddBlock({m_paragraphLine, *m_blockBegins});
        m_blockBegins.reset();
        ++m_paragraphs;
        m_pending = false;
    }

    struct ParagraphStyle
    {
        QString id;
        int level = 0; // outline level from 1; 0: body text
        bool markDeleted = false;
        bool dropCap = false;
        bool endsSection = false;
        bool listItem = false; // numbered or bulleted
    };

    void ParagraphProperties(ParagraphStyle *style)
    {
        int outline = -1;
        while (m_pull.NextChild()) {
            if (!IsW(m_pull)) {
                m_pull.Skip();
                continue;
            }
            const QStringView name = Name();
            if (name == u"pStyle") {
                style->id = WAttribute(m_pull, u"val");
                style->level = m_styles.headingLevels.value(style->id);
            } else if (name == u"outlineLvl") {
                bool ok = false;
                outline = WAttribute(m_pull, u"val").toInt(&ok);
                if (!ok)
                    outline = -1;
            } else if (name == u"framePr") {
                const QString dropCap = WAttribute(m_pull, u"dropCap");
                style->dropCap = !dropCap.isEmpty() && dropCap != u"none"_s;
            } else if (name == u"sectPr") {
                style->endsSection = true;
            } else if (name == u"numPr") {
                // Numbering 0 takes the numbering away: a paragraph that goes on with an item.
                style->listItem = true;
                while (m_pull.NextChild()) {
                    if (IsW(m_pull) && Name() == u"numId" && WAttribute(m_pull, u"val") == u"0"_s)
                        style->listItem = false;
                    m_pull.Skip();
                }
                continue;
            } else if (name == u"rPr") {
                while (m_pull.NextChild()) {
                    if (IsW(m_pull) && (Name() == u"del" || Name() == u"moveFrom"))
                        style->markDeleted = true;
                    m_pull.Skip();
                }
                continue;
            }
            m_pull.Skip();
        }
        if (outline >= 0)
            style->level = outline < 9 ? outline + 1 : 0;
    }

    // Children of the current element as the content of a paragraph.
    void Inline()
    {
        while (m_pull.NextChild())
            InlineElement();
    }

    void InlineElement()
    {
        if (m_pull.xml.namespaceUri() == kMc && Name() == u"AlternateContent")
            return AlternateContent([this] { Inline(); });
        if (!IsW(m_pull))
            return m_pull.Skip(); // mathematics, foreign markup
        const QStringView name = Name();
        if (name == u"r")
            return RunElement();
        if (name == u"sdt")
            return Content([this] { Inline(); });
        if (name == u"hyperlink" || name == u"smartTag" || name == u"customXml" || name == u"ins"
            || name == u"moveTo" || name == u"fldSimple" || name == u"dir" || name == u"bdo")
            return Inline();
        m_pull.Skip(); // deletions, marks, proofing, comment ranges
    }

    // A run is in its paragraph's languages unless its properties (its own, then its
    // character style's) say others.
    void RunElement()
    {
        bool customMark = false;
        if (m_facts)
            m_out.SetLanguages(m_paragraphLanguages);
        while (m_pull.NextChild()) {
            if (m_facts && IsW(m_pull) && Name() == u"rPr") {
                QString characterStyle;
                const TextLanguages own = RunLanguages(m_pull, &characterStyle);
                m_out.SetLanguages(Over(own, m_styles.character.Of(characterStyle, m_paragraphLanguages)));
                continue;
            }
            if (!IsW(m_pull)) {
                if (m_pull.xml.namespaceUri() == kMc && Name() == u"AlternateContent") {
                    AlternateContent([this, &customMark] {
                        while (m_pull.NextChild())
                            RunContent(&customMark);
                    });
                    continue;
                }
                m_pull.Skip();
                continue;
            }
            RunContent(&customMark);
        }
    }

    void RunContent(bool *customMark)
    {
        if (!IsW(m_pull))
            return m_pull.Skip();
        const QStringView name = Name();
        if (name == u"t") {
            if (!Shown())
                return m_pull.Skip();
            return Characters(m_pull.xml.attributes().value(u"http://www.w3.org/XML/1998/namespace"_s, u"space"_s)
                              == u"preserve");
        }
        if (name == u"tab" || name == u"ptab") {
            m_pull.Skip();
            return Emit(u"\t");
        }
        if (name == u"br") {
            const QString type = WAttribute(m_pull, u"type");
            m_pull.Skip();
            // A page or column break in the middle of a paragraph splits it in two, as the
            // office suite keeps breaks between paragraphs only.
            if (type == u"page" || type == u"column") {
                m_split = !m_pending;
                return;
            }
            return LineBreak();
        }
        if (name == u"cr") {
            m_pull.Skip();
            return LineBreak();
        }
        if (name == u"noBreakHyphen") {
            m_pull.Skip();
            return Emit(u"\u2011");
        }
        if (name == u"softHyphen") {
            m_pull.Skip();
            return Emit(u"\u00ad");
        }
        if (name == u"sym") {
            bool ok = false;
            const uint code = WAttribute(m_pull, u"char").toUInt(&ok, 16);
            m_pull.Skip();
            if (ok && code > 0 && code < 0x10000 && !QChar::isSurrogate(code)) {
                const QChar c(static_cast<char16_t>(code));
                Emit(QStringView(&c, 1));
            }
            return;
        }
        if (name == u"fldChar") {
            const QString type = WAttribute(m_pull, u"fldCharType");
            if (type == u"begin") {
                if (m_fields.size() >= static_cast<size_t>(DocumentLimits::kMaxDepth))
                    throw Damaged(u"fields nested too deeply"_s, m_path);
                m_fields.push_back(false);
                ++m_instructions;
            } else if (type == u"separate") {
                if (!m_fields.empty() && !m_fields.back()) {
                    m_fields.back() = true;
                    --m_instructions;
                }
            } else if (type == u"end") {
                if (!m_fields.empty()) {
                    if (!m_fields.back())
                        --m_instructions;
                    m_fields.pop_back();
                }
            }
            return m_pull.Skip();
        }
        if (name == u"footnoteReference" || name == u"endnoteReference") {
            const bool foot = name == u"footnoteReference";
            const QString mark = WAttribute(m_pull, u"customMarkFollows");
            *customMark = !mark.isNull() && IsOn(mark);
            m_pull.Skip();
            if (*customMark)
                return; // the mark is the text that follows
            int &number = foot ? m_footnote : m_endnote;
            Emit(NoteLabel(foot ? m_footnotes : m_endnotes, number));
            ++number;
            return;
        }
        if (name == u"ruby") {
            while (m_pull.NextChild()) {
                if (IsW(m_pull) && Name() == u"rubyBase")
                    Inline();
                else
                    m_pull.Skip();
            }
            return;
        }
        m_pull.Skip(); // properties, deleted text, field instructions, drawings, objects, text boxes
    }

    // Text shows unless it is a field's instruction.
    bool Shown() const { return m_instructions == 0; }

    // The characters of a w:t; without xml:space="preserve" the white space at either end
    // is the markup's, not the text's.
    void Characters(bool preserve)
    {
        const int depth = m_pull.Depth();
        if (preserve) {
            while (m_pull.Depth() >= depth) {
                const auto token = m_pull.Next();
                if (token == QXmlStreamReader::Characters)
                    Emit(m_pull.xml.text());
                else if (token == QXmlStreamReader::EndDocument)
                    return;
            }
            return;
        }
        auto isSpace = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
        QString spaces; // held back until more text follows
        bool begun = false;
        while (m_pull.Depth() >= depth) {
            const auto token = m_pull.Next();
            if (token == QXmlStreamReader::EndDocument)
                return;
            if (token != QXmlStreamReader::Characters)
                continue;
            QStringView text = m_pull.xml.text();
            if (!begun) {
                while (!text.isEmpty() && isSpace(text.front()))
                    text = text.mid(1);
            }
            qsizetype end = text.size();
            while (end > 0 && isSpace(text[end - 1]))
                --end;
            if (end == 0) {
                if (begun)
                    spaces += text;
                continue;
            }
            if (!spaces.isEmpty())
                Emit(spaces);
            spaces = text.mid(end).toString();
            Emit(text.left(end));
            begun = true;
        }
    }

    void Emit(QStringView text)
    {
        if (!Shown())
            return;
        if (m_pending || m_split)
            Begin();
        m_split = false;
        if (text.contains(u'\n') || text.contains(u'\r')) { // line ends inside text are spaces
            QString line = text.toString();
            line.replace(u'\n', u' ').replace(u'\r', u' ');
            m_out.Text(line);
        } else {
            m_out.Text(text);
        }
        if (m_title && m_title->size() < kMaxHeadingTitle)
            m_title->append(text.left(kMaxHeadingTitle - m_title->size()));
    }

    void LineBreak()
    {
        if (!Shown())
            return;
        if (m_pending || m_split)
            Begin();
        m_split = false;
        m_out.Text(u"\n");
    }

    // A table row by row, left to right; every paragraph of a cell is a line of its own.
    void Table()
    {
        m_joinNext = false;
        while (m_pull.NextChild()) {
            if (!IsW(m_pull)) {
                m_pull.Skip();
            } else if (Name() == u"tr") {
                Row();
            } else if (Name() == u"sdt") {
                Content([this] { TableContent(); });
            } else if (Name() == u"customXml" || Name() == u"ins" || Name() == u"moveTo") {
                TableContent();
            } else {
                m_pull.Skip(); // properties and the grid
            }
        }
        m_joinNext = false;
    }

    // Rows inside a content control or custom markup of a table.
    void TableContent()
    {
        while (m_pull.NextChild()) {
            if (IsW(m_pull) && Name() == u"tr")
                Row();
            else if (IsW(m_pull) && Name() == u"sdt")
                Content([this] { TableContent(); });
            else if (IsW(m_pull) && Name() == u"customXml")
                TableContent();
            else
                m_pull.Skip();
        }
    }

    // Grid columns left free before or after a row's cells are an empty cell each, as the
    // office suite fills them (never more than a table can have columns).
    void Row()
    {
        int gridAfter = 0;
        while (m_pull.NextChild()) {
            if (!IsW(m_pull)) {
                m_pull.Skip();
            } else if (Name() == u"trPr") {
                bool deleted = false;
                int gridBefore = 0;
                while (m_pull.NextChild()) {
                    if (IsW(m_pull)) {
                        deleted = deleted || Name() == u"del";
                        if (Name() == u"gridBefore")
                            gridBefore = std::clamp(WAttribute(m_pull, u"val").toInt(), 0, kMaxGridColumns);
                        else if (Name() == u"gridAfter")
                            gridAfter = std::clamp(WAttribute(m_pull, u"val").toInt(), 0, kMaxGridColumns);
                    }
                    m_pull.Skip();
                }
                if (deleted) { // a row deleted while changes were tracked
                    while (m_pull.NextChild())
                        m_pull.Skip();
                    return;
                }
                for (int i = 0; i < gridBefore; ++i)
                    EmptyCell();
            } else if (Name() == u"tc") {
                Cell();
            } else if (Name() == u"sdt") {
                Content([this] { RowContent(); });
            } else if (Name() == u"customXml") {
                RowContent();
            } else {
                m_pull.Skip();
            }
        }
        for (int i = 0; i < gridAfter; ++i)
            EmptyCell();
    }

    void EmptyCell()
    {
        m_joinNext = false;
        Begin();
    }

    // Cells inside a content control or custom markup of a row.
    void RowContent()
    {
        while (m_pull.NextChild()) {
            if (IsW(m_pull) && Name() == u"tc")
                Cell();
            else if (IsW(m_pull) && Name() == u"sdt")
                Content([this] { RowContent(); });
            else if (IsW(m_pull) && Name() == u"customXml")
                RowContent();
            else
                m_pull.Skip();
        }
    }

    void Cell()
    {
        m_joinNext = false;
        const qint64 before = m_paragraphs;
        m_blockBegins = DocumentBlock::Kind::TableCell;
        while (m_pull.NextChild()) {
            if (IsW(m_pull) && Name() == u"tcPr")
                m_pull.Skip();
            else
                BlockElement();
        }
        m_joinNext = false;
        if (m_paragraphs == before) // a cell always holds a paragraph
            Begin();
    }

    const QString &m_path;
    XmlPull &m_pull;
    LineWriter &m_out;
    const WordStyles &m_styles;
    TextLanguages m_paragraphLanguages;
    NoteNumbering m_footnotes;
    NoteNumbering m_endnotes;
    DocumentFacts *m_facts;
    int m_footnote;
    int m_endnote;
    // Fields under way, innermost last: true once their result began.
    std::vector<bool> m_fields;
    int m_instructions = 0;
    bool m_joinNext = false;
    bool m_pending = false; // a paragraph has begun in the markup, not yet in the text
    bool m_split = false;   // a break splits the paragraph before its next character
    qint64 m_paragraphLine = 0;
    std::optional<DocumentBlock::Kind> m_blockBegins; // for the next paragraph that shows
    qint64 m_paragraphs = 0;
    QString *m_title = nullptr;
};

} // namespace

DocxReader::DocxReader(IEventLoop *events)
    : m_events(events)
{
}

void DocxReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    const ZipPackage package(path, [&path] { return NotAWordDocument(path); });
    YieldClock clock(m_events);
    const Relationships packageRels = ReadRelationships(package, clock, u"_rels/.rels"_s, QString());
    QString main = packageRels.byType.value(u"officeDocument"_s);
    if (main.isEmpty() || package.Locate(main) < 0)
        main = u"word/document.xml"_s;
    const qint64 index = package.Locate(main);
    if (index < 0)
        throw NotAWordDocument(path);
    const Relationships rels = ReadRelationships(package, clock, RelationshipsOf(main), main);
    NoteNumbering footnotes;
    NoteNumbering endnotes;
    ReadNoteNumbering(package, clock, rels.byType.value(u"settings"_s), &footnotes, &endnotes);
    WordStyles styles;
    if (facts) {
        try {
            styles = ReadStyles(package, clock, rels.byType.value(u"styles"_s));
        } catch (const RuntimeError &) {
            // Damaged styles name no headings and give no languages; the paragraphs' own
            // outline levels and the runs' own languages still count.
            styles = WordStyles();
        }
        if (!styles.defaults.western.isEmpty())
            facts->language = styles.defaults.western;
        ReadCoreProperties(package, clock, packageRels.byType.value(u"core-properties"_s), facts);
    }

    const std::unique_ptr<ByteSource> source = package.Open(index);
    TextBudget budget(path);
    XmlPull pull(*source, clock, &budget, path);
    LineWriter out(sink, budget);
    out.KeepLanguages(facts);
    BodyParser(path, pull, out, styles, footnotes, endnotes, facts).Run();
    out.Finish();
}

QString DocxBodyTextFromXml(const QByteArray &documentXml, DocumentFacts *facts)
{
    QString text;
    const IDocumentReader::TextSink sink = [&text](QStringView piece) { text.append(piece); };
    const QString path = u"document.xml"_s;
    WholeBytes source(documentXml);
    YieldClock clock(nullptr);
    TextBudget budget(path);
    XmlPull pull(source, clock, &budget, path);
    LineWriter out(sink, budget);
    NoteNumbering footnotes;
    NoteNumbering endnotes;
    endnotes.format = u"lowerRoman"_s;
    const WordStyles styles;
    out.KeepLanguages(facts);
    BodyParser(path, pull, out, styles, footnotes, endnotes, facts).Run();
    out.Finish();
    return text;
}
