#include "api/documentreader.h"
#include "documents/odtreader.h"

#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/stylelanguages.h"
#include "filesystem/filesystem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>

#include <zip.h>

#include <cerrno>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using namespace DocumentLimits;

constexpr int kMaxRepeatedCells = 1024;

const QString kOffice = u"urn:oasis:names:tc:opendocument:xmlns:office:1.0"_s;
const QString kText = u"urn:oasis:names:tc:opendocument:xmlns:text:1.0"_s;
const QString kTable = u"urn:oasis:names:tc:opendocument:xmlns:table:1.0"_s;
const QString kDraw = u"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"_s;
const QString kDr3d = u"urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0"_s;
const QString kForm = u"urn:oasis:names:tc:opendocument:xmlns:form:1.0"_s;
const QString kManifest = u"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"_s;
const QString kMeta = u"urn:oasis:names:tc:opendocument:xmlns:meta:1.0"_s;
const QString kDublinCore = u"http://purl.org/dc/elements/1.1/"_s;
const QString kStyle = u"urn:oasis:names:tc:opendocument:xmlns:style:1.0"_s;
const QString kFo = u"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"_s;

// Real meta.xml files hold a few kilobytes; beyond this one says nothing worth reading.
constexpr qint64 kMaxMetaBytes = qint64(1) << 20;
// Real styles.xml files hold tens of kilobytes; beyond this one gives no languages.
constexpr qint64 kMaxStylesBytes = qint64(16) << 20;
// What is kept of a title, an author or a heading: more says nothing more in a player.
constexpr qsizetype kMaxFactCharacters = 1024;

RuntimeError NotAPackage(const QString &path)
{
    return RuntimeError(u"The file is not an OpenDocument package: "_s + path, ErrorNumber::PathFileAccessError);
}

// Where the parsed text goes: the document's text, or a collection of paragraphs.
class Output
{
public:
    virtual ~Output() = default;
    /// A new paragraph begins.
    virtual void Paragraph() = 0;
    virtual void Text(QStringView text) = 0;
    /// The line of the document's text that the output is on; -1 when it is not the text.
    virtual qint64 Line() const { return -1; }
    /// The languages of the text that follows.
    virtual void Languages(const TextLanguages &) {}
};

// The document's text, as every reader writes it.
class SinkOutput final : public Output
{
public:
    SinkOutput(const IDocumentReader::TextSink &sink, DocumentFacts *facts)
        : m_writer(sink)
    {
        m_writer.KeepLanguages(facts);
    }
    void Paragraph() override { m_writer.Paragraph(); }
    void Text(QStringView text) override { m_writer.Text(text); }
    qint64 Line() const override { return m_writer.Line(); }
    void Languages(const TextLanguages &languages) override { m_writer.SetLanguages(languages); }
    /// The end of the text: a blank last line is kept when its run is short.
    void Finish() { m_writer.Finish(); }

private:
    LineWriter m_writer;
};

// Paragraphs kept to be written later (deleted text, repeated cells), each with the
// languages it began in.
struct Collected
{
    QStringList paragraphs;
    QList<TextLanguages> languages;
};

class CollectOutput final : public Output
{
public:
    void Paragraph() override
    {
        collected.paragraphs.append(QString());
        collected.languages.append(m_languages);
    }
    void Text(QStringView text) override
    {
        if (collected.paragraphs.isEmpty())
            Paragraph();
        collected.paragraphs.last().append(text);
    }
    void Languages(const TextLanguages &languages) override { m_languages = languages; }
    Collected collected;

private:
    TextLanguages m_languages;
};

// Counts the paragraphs that pass through to another output.
class CountingOutput final : public Output
{
public:
    explicit CountingOutput(Output &next)
        : m_next(next)
    {
    }
    void Paragraph() override
    {
        ++count;
        m_next.Paragraph();
    }
    void Text(QStringView text) override { m_next.Text(text); }
    qint64 Line() const override { return m_next.Line(); }
    void Languages(const TextLanguages &languages) override { m_next.Languages(languages); }
    int count = 0;

private:
    Output &m_next;
};

// Passes a heading's text through to the document's text and keeps its first characters.
class HeadingOutput final : public Output
{
public:
    explicit HeadingOutput(Output &next)
        : m_next(next)
    {
    }
    void Paragraph() override
    {
        m_next.Paragraph();
        Keep(u" ");
    }
    void Text(QStringView text) override
    {
        m_next.Text(text);
        Keep(text);
    }
    qint64 Line() const override { return m_next.Line(); }
    void Languages(const TextLanguages &languages) override { m_next.Languages(languages); }
    QString kept;

private:
    void Keep(QStringView text)
    {
        if (kept.size() < kMaxFactCharacters)
            kept.append(text.left(kMaxFactCharacters - kept.size()));
    }
    Output &m_next;
};

// A title, an author or a heading as one line: control characters and runs of white
// space become one blank, none at either end.
QString OneLine(const QString &text)
{
    QString line;
    bool blank = false;
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            blank = !line.isEmpty();
            continue;
        }
        if (blank)
            line.append(u' ');
        blank = false;
        line.append(c);
    }
    return line;
}

// White space inside a paragraph follows OpenDocument's rules: a run of XML white space
// counts as one space, and none is kept at the paragraph's start. Spaces written as
// text:s, tabs, line breaks, note citations and anchored objects end a run.
struct ParagraphState
{
    bool ignoreSpace = true;
};

// Where the parser's XML comes from: more of it on demand, and how much has come so far.
class XmlSource
{
public:
    virtual ~XmlSource() = default;
    /// Hands the next piece to the reader; false at the end.
    virtual bool Refill() = 0;
    /// The bytes of XML handed over so far.
    virtual qint64 Inflated() const = 0;
};

// The languages an OpenDocument's styles give its text: paragraph styles over the default
// paragraph style, text styles (spans, links) over the paragraph.
struct OdtStyles
{
    StyleLanguages paragraph;
    StyleLanguages text;
    TextLanguages defaults;
};

// The language of one class of characters that text properties give: a BCP 47 tag, else
// a language and a country; null when they say none.
QString PropertyLanguage(const QXmlStreamAttributes &attributes, const QString &rfcName, const QString &languageNs,
                         const QString &languageName, const QString &countryName)
{
    const QStringView rfc = attributes.value(kStyle, rfcName);
    if (!rfc.isEmpty()) {
        const QString tag = LanguageTag(rfc);
        if (!tag.isNull())
            return tag;
    }
    const QStringView language = attributes.value(languageNs, languageName);
    if (language.isEmpty())
        return QString();
    return LanguageTag(language, attributes.value(languageNs, countryName));
}

TextLanguages PropertyLanguages(const QXmlStreamAttributes &attributes)
{
    return {PropertyLanguage(attributes, u"rfc-language-tag"_s, kFo, u"language"_s, u"country"_s),
            PropertyLanguage(attributes, u"rfc-language-tag-asian"_s, kStyle, u"language-asian"_s, u"country-asian"_s),
            PropertyLanguage(attributes, u"rfc-language-tag-complex"_s, kStyle, u"language-complex"_s,
                             u"country-complex"_s)};
}

// Streams content.xml and writes the body text to an output, as the office suite's text
// interface gives it. The text may never outgrow the XML read so far by more than
// kTextSlack; the window is served every kYieldMs.
class BodyParser
{
public:
    BodyParser(QXmlStreamReader &xml, XmlSource &source, IEventLoop *events, QString path, OdtStyles &styles,
               DocumentFacts *facts = nullptr)
        : m_xml(xml)
        , m_source(source)
        , m_events(events)
        , m_path(std::move(path))
        , m_facts(facts)
        , m_styles(styles)
    {
        m_sinceYield.start();
    }

    // The styles on the way are read when the facts are wanted (the languages they give).
    void Run(Output &out)
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::EndDocument)
                break;
            if (token != QXmlStreamReader::StartElement || m_xml.namespaceUri() != kOffice)
                continue;
            if (m_facts && (m_xml.name() == u"styles" || m_xml.name() == u"automatic-styles")) {
                Styles();
            } else if (m_xml.name() == u"text") {
                if (m_facts && !m_styles.defaults.western.isEmpty())
                    m_facts->language = m_styles.defaults.western;
                Block(out, 1);
                return;
            }
        }
        throw RuntimeError(u"The document holds no text body: "_s + m_path, ErrorNumber::PathFileAccessError);
    }

    // The common styles of styles.xml; its automatic styles are its headers' and footers'.
    void RunStyles()
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::EndDocument)
                return;
            if (token == QXmlStreamReader::StartElement && m_xml.namespaceUri() == kOffice && m_xml.name() == u"styles")
                Styles();
        }
    }

private:
    // Serves the window when kYieldMs have passed; cheap enough to call at every step.
    void Tick()
    {
        if (m_events && (++m_tokens & 255) == 0 && m_sinceYield.elapsed() >= kYieldMs) {
            m_events->Yield();
            m_sinceYield.restart();
        }
    }

    QXmlStreamReader::TokenType Next()
    {
        Tick();
        for (;;) {
            const auto token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid)
                return token;
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && m_source.Refill())
                continue;
            throw RuntimeError(u"The document is damaged ("_s + m_xml.errorString() + u", line "_s
                                   + QString::number(m_xml.lineNumber()) + u"): "_s + m_path,
                               ErrorNumber::PathFileAccessError);
        }
    }

    // Moves to the next child element of the current element; false at the current element's end.
    bool NextChildElement()
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::EndElement)
                return false;
            if (token == QXmlStreamReader::StartElement)
                return true;
        }
    }

    // Skips the element whose start was just read, with everything inside it; nesting is
    // limited here as everywhere else.
    void SkipElement()
    {
        int depth = 1;
        while (depth > 0) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                CheckDepth(++depth);
            else if (token == QXmlStreamReader::EndElement)
                --depth;
        }
    }

    // The characters inside the element just started, its children's included.
    QString ElementText()
    {
        QString text;
        int depth = 1;
        while (depth > 0) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) {
                CheckDepth(++depth);
            } else if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::Characters) {
                Spend(m_xml.text().size());
                text += m_xml.text();
            }
        }
        return text;
    }

    // Counts characters against the budget: the XML read so far and the slack.
    void Spend(qint64 characters)
    {
        m_total += characters;
        if (m_total > m_source.Inflated() + kTextSlack || m_total > kMaxTextCharacters)
            throw TooLarge(m_path);
    }

    void CheckDepth(int depth) const
    {
        if (depth > kMaxDepth)
            throw RuntimeError(u"The document is damaged (elements nested too deeply): "_s + m_path,
                               ErrorNumber::PathFileAccessError);
    }

    void Emit(Output &out, QStringView text)
    {
        Spend(text.size());
        out.Text(text);
    }

    void NewParagraph(Output &out)
    {
        Spend(1);
        out.Paragraph();
        // The first paragraph of a list item or a table cell begins it.
        if (m_blockBegins && m_facts && out.Line() >= 0)
            m_facts->AddBlock({out.Line(), *m_blockBegins});
        m_blockBegins.reset();
    }

    // The children of office:styles or office:automatic-styles: the languages of paragraph
    // and text styles and of the default paragraph style.
    void Styles()
    {
        while (NextChildElement()) {
            const bool isDefault = m_xml.name() == u"default-style";
            if (m_xml.namespaceUri() != kStyle || (m_xml.name() != u"style" && !isDefault)) {
                SkipElement();
                continue;
            }
            const QXmlStreamAttributes attributes = m_xml.attributes();
            const QStringView family = attributes.value(kStyle, u"family"_s);
            TextLanguages own;
            while (NextChildElement()) {
                if (m_xml.namespaceUri() == kStyle && m_xml.name() == u"text-properties")
                    own = Over(PropertyLanguages(m_xml.attributes()), own);
                SkipElement();
            }
            const QString name = attributes.value(kStyle, u"name"_s).toString();
            const QString parent = attributes.value(kStyle, u"parent-style-name"_s).toString();
            if (family == u"paragraph" && isDefault)
                m_styles.defaults = Over(own, m_styles.defaults);
            else if (family == u"paragraph")
                m_styles.paragraph.Add(name, parent, own);
            else if (family == u"text" && !isDefault)
                m_styles.text.Add(name, parent, own);
        }
    }

    // The languages of the paragraph element just started, from its style.
    void ParagraphLanguages(Output &out)
    {
        if (!m_facts)
            return;
        m_languages = m_styles.paragraph.Of(m_xml.attributes().value(kText, u"style-name"_s).toString(),
                                            m_styles.defaults);
        out.Languages(m_languages);
    }

    // Kept paragraphs written at last, each in the languages it began in; then those of
    // the text around again.
    void EmitCollected(Output &out, const Collected &collected, qsizetype i)
    {
        if (m_facts)
            out.Languages(collected.languages.value(i));
        Emit(out, collected.paragraphs[i]);
    }

    // Children of the current element as block content: paragraphs, lists, tables, sections.
    void Block(Output &out, int depth)
    {
        while (NextChildElement())
            BlockElement(out, depth + 1);
    }

    void BlockElement(Output &out, int depth)
    {
        CheckDepth(depth);
        const QStringView ns = m_xml.namespaceUri();
        const QStringView name = m_xml.name();
        if (ns == kText) {
            if (name == u"h")
                return Heading(out, depth);
            if (name == u"p")
                return Paragraph(out, depth);
            if (name == u"tracked-changes")
                return TrackedChanges(depth);
            if (name == u"change") {
                const QString id = m_xml.attributes().value(kText, u"change-id"_s).toString();
                SkipElement();
                const Collected deleted = m_deletions.value(id);
                for (qsizetype i = 0; i < deleted.paragraphs.size(); ++i) {
                    Tick();
                    NewParagraph(out);
                    EmitCollected(out, deleted, i);
                }
                if (m_facts)
                    out.Languages(m_languages);
                return;
            }
            // A section its author hid is never read aloud: the document's reader never
            // sees it (LibreOffice's text keeps it; the listener would hear words that
            // are not there, such as hidden index sections).
            if (name == u"section" && m_xml.attributes().value(kText, u"display"_s) == u"none")
                return SkipElement();
            // Index templates, declarations and list labels hold no body text.
            if (name.endsWith(u"-source") || name.endsWith(u"-decls") || name == u"number"
                || name == u"soft-page-break" || name == u"alphabetical-index-auto-mark-file")
                return SkipElement();
            if (name == u"list-item")
                m_blockBegins = DocumentBlock::Kind::ListItem;
            return Block(out, depth); // lists, sections, index bodies, numbered paragraphs
        }
        if (ns == kTable) {
            if (name == u"table")
                return Table(out, depth);
            return SkipElement();
        }
        if (ns == kOffice) {
            if (name == u"forms" || name == u"annotation" || name == u"change-info")
                return SkipElement();
            return Block(out, depth);
        }
        if (ns == kDraw || ns == kDr3d || ns == kForm)
            return SkipElement(); // frames and shapes, with all text inside them
        Block(out, depth);
    }

    void Paragraph(Output &out, int depth)
    {
        ParagraphLanguages(out);
        NewParagraph(out);
        ParagraphState state;
        Inline(out, state, depth);
    }

    // A heading is a paragraph that begins a chapter at the line it begins on; one with
    // nothing to say, or outside the document's text (a repeated cell), begins none.
    void Heading(Output &out, int depth)
    {
        if (!m_facts || out.Line() < 0 || m_facts->headings.size() >= kMaxDocumentHeadings)
            return Paragraph(out, depth);
        ParagraphLanguages(out);
        bool ok = false;
        const int level = m_xml.attributes().value(kText, u"outline-level"_s).toInt(&ok);
        HeadingOutput heading(out);
        NewParagraph(heading);
        const qint64 line = out.Line();
        heading.kept.clear();
        ParagraphState state;
        Inline(heading, state, depth);
        QString title = OneLine(heading.kept);
        if (!title.isEmpty())
            m_facts->AddHeading({std::move(title), ok ? std::clamp(level, 1, 10) : 1, line});
    }

    // Children of the current element as the text of a paragraph.
    void Inline(Output &out, ParagraphState &state, int depth)
    {
        for (;;) {
            switch (Next()) {
            case QXmlStreamReader::EndElement:
                return;
            case QXmlStreamReader::Characters:
                Characters(out, state, m_xml.text());
                break;
            case QXmlStreamReader::StartElement:
                InlineElement(out, state, depth + 1);
                break;
            default:
                break;
            }
        }
    }

    void Characters(Output &out, ParagraphState &state, QStringView text)
    {
        auto isSpace = [](char16_t u) { return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r'; };
        m_buffer.clear();
        const qsizetype n = text.size();
        qsizetype i = 0;
        while (i < n) {
            if (isSpace(text[i].unicode())) {
                if (!state.ignoreSpace) {
                    m_buffer.append(u' ');
                    state.ignoreSpace = true;
                }
                ++i;
                continue;
            }
            const qsizetype start = i;
            while (i < n && !isSpace(text[i].unicode()))
                ++i;
            m_buffer.append(text.mid(start, i - start));
            state.ignoreSpace = false;
        }
        if (!m_buffer.isEmpty())
            Emit(out, m_buffer);
    }

    void InlineElement(Output &out, ParagraphState &state, int depth)
    {
        CheckDepth(depth);
        const QStringView ns = m_xml.namespaceUri();
        const QStringView name = m_xml.name();
        if (ns == kText) {
            if (name == u"s") {
                bool ok = false;
                qint64 count = m_xml.attributes().value(kText, u"c"_s).toLongLong(&ok);
                if (!ok || count < 1)
                    count = 1;
                Spend(count); // before the spaces exist
                SkipElement();
                out.Text(QString(static_cast<qsizetype>(count), u' '));
                state.ignoreSpace = false;
                return;
            }
            if (name == u"tab" || name == u"line-break") {
                const QStringView character = name == u"tab" ? u"\t" : u"\n"; // name dies with the next token
                SkipElement();
                Emit(out, character);
                state.ignoreSpace = false;
                return;
            }
            if (name == u"note")
                return Note(out, state);
            if (name == u"change") {
                const QString id = m_xml.attributes().value(kText, u"change-id"_s).toString();
                SkipElement();
                // Deleted text shows where its change mark stands; each further deleted
                // paragraph begins a line of its own.
                const Collected deleted = m_deletions.value(id);
                for (qsizetype i = 0; i < deleted.paragraphs.size(); ++i) {
                    if (i > 0)
                        NewParagraph(out);
                    EmitCollected(out, deleted, i);
                }
                if (m_facts)
                    out.Languages(m_languages);
                return;
            }
            if (IsField(name))
                return Field(out, state);
            if (name == u"number" || name == u"ruby-text" || IsMark(name))
                return SkipElement();
            if (m_facts && (name == u"span" || name == u"a"))
                return Span(out, state, depth);
            return Inline(out, state, depth); // spans and links read without facts, meta, ruby bases
        }
        if (ns == kOffice) {
            if (name == u"annotation") {
                SkipElement();
                state.ignoreSpace = false; // the comment's anchor stands in the text
                return;
            }
            return SkipElement();
        }
        if (ns == kDraw || ns == kDr3d || ns == kForm) {
            SkipElement(); // an anchored object leaves nothing but ends a run of spaces
            state.ignoreSpace = false;
            return;
        }
        Inline(out, state, depth);
    }

    // A span or a link, in the languages its text style gives.
    void Span(Output &out, ParagraphState &state, int depth)
    {
        const TextLanguages around = m_languages;
        m_languages = m_styles.text.Of(m_xml.attributes().value(kText, u"style-name"_s).toString(), around);
        out.Languages(m_languages);
        Inline(out, state, depth);
        m_languages = around;
        out.Languages(around);
    }

    // Marks hold no text; a reference to one (bookmark-ref, reference-ref) is a field.
    static bool IsMark(QStringView name)
    {
        static const QSet<QStringView> marks = {
            u"bookmark", u"bookmark-start", u"bookmark-end", u"reference-mark", u"reference-mark-start",
            u"reference-mark-end", u"toc-mark", u"toc-mark-start", u"toc-mark-end", u"alphabetical-index-mark",
            u"alphabetical-index-mark-start", u"alphabetical-index-mark-end", u"user-index-mark",
            u"user-index-mark-start", u"user-index-mark-end", u"change-start", u"change-end", u"soft-page-break"};
        return marks.contains(name);
    }

    static bool IsField(QStringView name)
    {
        static const QSet<QStringView> fields = {
            u"author-initials", u"author-name", u"bibliography-mark", u"bookmark-ref", u"chapter",
            u"character-count", u"conditional-text", u"creation-date", u"creation-time", u"creator",
            u"database-display", u"database-name", u"database-next", u"database-row-number",
            u"database-row-select", u"date", u"dde-connection", u"description", u"drop-down", u"editing-cycles",
            u"editing-duration", u"execute-macro", u"expression", u"file-name", u"hidden-paragraph",
            u"hidden-text", u"image-count", u"initial-creator", u"keywords", u"measure", u"modification-date",
            u"modification-time", u"note-ref", u"object-count", u"page-continuation", u"page-count",
            u"page-number", u"page-variable-get", u"page-variable-set", u"paragraph-count", u"placeholder",
            u"print-date", u"print-time", u"printed-by", u"reference-ref", u"script", u"sender-city",
            u"sender-company", u"sender-country", u"sender-email", u"sender-fax", u"sender-firstname",
            u"sender-initials", u"sender-lastname", u"sender-phone-private", u"sender-phone-work",
            u"sender-position", u"sender-postal-code", u"sender-state-or-province", u"sender-street",
            u"sender-title", u"sequence", u"sequence-ref", u"sheet-name", u"subject", u"table-count",
            u"table-formula", u"template-name", u"text-input", u"time", u"title", u"user-defined",
            u"user-field-get", u"user-field-input", u"variable-get", u"variable-input", u"variable-set",
            u"word-count"};
        return fields.contains(name);
    }

    // A field stands in the text as one character whose text the document keeps as the
    // field's own characters, white space and all; child elements are not part of it.
    // Text shown on a condition (hidden-text, conditional-text) is what was shown when
    // the document was saved, as the office suite reads it back. Variables set or shown
    // with display "none", scripts and the fields of other kinds of document (measure,
    // sheet-name) show nothing.
    void Field(Output &out, ParagraphState &state)
    {
        const QString name = m_xml.name().toString();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString shown = FieldCharacters();
        state.ignoreSpace = false;
        if (name == u"script" || name == u"measure" || name == u"sheet-name")
            return;
        if ((name == u"variable-set" || name == u"variable-input" || name == u"user-field-get")
            && attributes.value(kText, u"display"_s) == u"none")
            return;
        if (name == u"placeholder") {
            // Shown between angle brackets, which the document may have kept already.
            QStringView inner = shown;
            if (inner.startsWith(u'<'))
                inner = inner.mid(1);
            if (inner.endsWith(u'>'))
                inner.chop(1);
            Emit(out, u"<");
            out.Text(inner);
            Emit(out, u">");
            return;
        }
        out.Text(shown); // spent as it was read
    }

    // The characters of the element just started, its children's left out, counted
    // against the budget as they are read.
    QString FieldCharacters()
    {
        QString text;
        int depth = 1;
        while (depth > 0) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement) {
                CheckDepth(++depth);
            } else if (token == QXmlStreamReader::EndElement) {
                --depth;
            } else if (token == QXmlStreamReader::Characters && depth == 1) {
                Spend(m_xml.text().size());
                text += m_xml.text();
            }
        }
        return text;
    }

    // A footnote or endnote: its citation label only, inline.
    void Note(Output &out, ParagraphState &state)
    {
        while (NextChildElement()) {
            if (m_xml.namespaceUri() == kText && m_xml.name() == u"note-citation") {
                Emit(out, ElementText());
                state.ignoreSpace = false;
            } else {
                SkipElement();
            }
        }
    }

    void TrackedChanges(int depth)
    {
        while (NextChildElement()) {
            if (m_xml.namespaceUri() != kText || m_xml.name() != u"changed-region") {
                SkipElement();
                continue;
            }
            const QString id = m_xml.attributes().value(kText, u"id"_s).toString();
            while (NextChildElement()) {
                if (m_xml.namespaceUri() == kText && m_xml.name() == u"deletion") {
                    CollectOutput deleted;
                    Block(deleted, depth + 2);
                    m_deletions.insert(id, deleted.collected);
                } else {
                    SkipElement(); // insertions are in the body already; format changes add nothing
                }
            }
        }
    }

    // A table row by row, left to right; every paragraph of a cell is a line of its own.
    void Table(Output &out, int depth)
    {
        while (NextChildElement()) {
            CheckDepth(depth + 1);
            const QStringView name = m_xml.name();
            if (m_xml.namespaceUri() != kTable) {
                SkipElement();
            } else if (name == u"table-row") {
                Row(out, depth + 1);
            } else if (name == u"table-header-rows" || name == u"table-rows" || name == u"table-row-group") {
                Table(out, depth + 1);
            } else {
                SkipElement(); // columns and their groups
            }
        }
    }

    void Row(Output &out, int depth)
    {
        while (NextChildElement()) {
            if (m_xml.namespaceUri() != kTable || m_xml.name() != u"table-cell") {
                SkipElement(); // covered cells show nothing, whatever they hold
                continue;
            }
            bool ok = false;
            int repeat = m_xml.attributes().value(kTable, u"number-columns-repeated"_s).toInt(&ok);
            repeat = ok ? std::clamp(repeat, 1, kMaxRepeatedCells) : 1;
            if (repeat == 1) {
                Cell(out, depth + 1);
                continue;
            }
            CollectOutput cell;
            Cell(cell, depth + 1);
            for (int r = 0; r < repeat; ++r) {
                for (qsizetype i = 0; i < cell.collected.paragraphs.size(); ++i) {
                    Tick();
                    NewParagraph(out);
                    EmitCollected(out, cell.collected, i);
                }
            }
            if (m_facts)
                out.Languages(m_languages);
        }
    }

    void Cell(Output &out, int depth)
    {
        CountingOutput counted(out);
        m_blockBegins = DocumentBlock::Kind::TableCell;
        bool first = true;
        while (NextChildElement()) {
            // A cell always holds a paragraph; one that begins with a table keeps it empty before the table.
            if (first && m_xml.namespaceUri() == kTable && m_xml.name() == u"table")
                NewParagraph(counted);
            first = false;
            BlockElement(counted, depth + 1);
        }
        if (counted.count == 0)
            NewParagraph(out);
    }

    QXmlStreamReader &m_xml;
    XmlSource &m_source;
    IEventLoop *m_events;
    QString m_path;
    DocumentFacts *m_facts;
    std::optional<DocumentBlock::Kind> m_blockBegins; // for the next paragraph
    OdtStyles &m_styles;
    TextLanguages m_languages; // of the text being read
    QHash<QString, Collected> m_deletions;
    QString m_buffer;
    qint64 m_total = 0;
    quint32 m_tokens = 0;
    QElapsedTimer m_sinceYield;
};

// content.xml of a package, inflated piece by piece: never more than the entry declares,
// never more than kMaxEntryBytes.
class ZipXmlSource final : public XmlSource
{
public:
    ZipXmlSource(zip_file_t *file, QXmlStreamReader &xml, qint64 limit, IEventLoop *events, const QString &path)
        : m_file(file)
        , m_xml(xml)
        , m_limit(limit)
        , m_events(events)
        , m_path(path)
        , m_chunk(64 * 1024, Qt::Uninitialized)
    {
    }

    bool Refill() override
    {
        if (m_events)
            m_events->Yield();
        // One byte beyond the limit is asked for, so an entry that holds more than it may is
        // known at once, and nothing beyond is ever inflated.
        const qint64 room = std::min<qint64>(m_chunk.size(), m_limit - m_inflated + 1);
        const zip_int64_t n = zip_fread(m_file, m_chunk.data(), static_cast<zip_uint64_t>(room));
        if (n < 0)
            throw RuntimeError(u"The document is damaged ("_s + QString::fromUtf8(zip_file_strerror(m_file))
                                   + u"): "_s + m_path,
                               ErrorNumber::PathFileAccessError);
        if (n == 0)
            return false;
        m_inflated += n;
        if (m_inflated > m_limit)
            throw TooLarge(m_path);
        m_xml.addData(QByteArray(m_chunk.constData(), static_cast<qsizetype>(n)));
        return true;
    }
    qint64 Inflated() const override { return m_inflated; }

private:
    zip_file_t *m_file;
    QXmlStreamReader &m_xml;
    qint64 m_limit;
    IEventLoop *m_events;
    const QString &m_path;
    QByteArray m_chunk;
    qint64 m_inflated = 0;
};

// XML given whole.
class WholeXmlSource final : public XmlSource
{
public:
    explicit WholeXmlSource(qint64 size)
        : m_size(size)
    {
    }
    bool Refill() override { return false; }
    qint64 Inflated() const override { return m_size; }

private:
    qint64 m_size;
};

// A flat document's XML, read from its file piece by piece: never more than kMaxEntryBytes.
class FileXmlSource final : public XmlSource
{
public:
    FileXmlSource(QFile &file, QXmlStreamReader &xml, IEventLoop *events, const QString &path)
        : m_file(file)
        , m_xml(xml)
        , m_events(events)
        , m_path(path)
    {
    }

    bool Refill() override
    {
        if (m_events)
            m_events->Yield();
        const QByteArray chunk = m_file.read(64 * 1024);
        if (chunk.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError)
                throw FileAccessError(m_path, m_file.errorString());
            return false;
        }
        m_read += chunk.size();
        if (m_read > kMaxEntryBytes)
            throw TooLarge(m_path);
        m_xml.addData(chunk);
        return true;
    }
    qint64 Inflated() const override { return m_read; }

private:
    QFile &m_file;
    QXmlStreamReader &m_xml;
    IEventLoop *m_events;
    const QString &m_path;
    qint64 m_read = 0;
};

struct ZipCloser
{
    void operator()(zip_t *zip) const { zip_discard(zip); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};

// True when the package's manifest names encryption data for content.xml.
bool ManifestEncryptsContent(zip_t *zip)
{
    const zip_int64_t index = zip_name_locate(zip, "META-INF/manifest.xml", 0);
    if (index < 0)
        return false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)
        || st.size > 16 * 1024 * 1024)
        return false;
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
    if (!file)
        return false;
    QByteArray bytes(static_cast<qsizetype>(st.size), Qt::Uninitialized);
    if (zip_fread(file.get(), bytes.data(), st.size) != static_cast<zip_int64_t>(st.size))
        return false;
    QXmlStreamReader xml(bytes);
    bool inContentEntry = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.namespaceUri() == kManifest) {
            if (xml.name() == u"file-entry")
                inContentEntry = xml.attributes().value(kManifest, u"full-path"_s) == u"content.xml";
            else if (xml.name() == u"encryption-data" && inContentEntry)
                return true;
        }
    }
    return false;
}

// The title, author and language of a document's office:meta, in meta.xml or at the top
// of a flat document; the reading stops where office:meta ends.
void ReadMetaXml(const QByteArray &bytes, DocumentFacts &facts)
{
    QXmlStreamReader xml(bytes);
    QString creator;
    QString initialCreator;
    QString language;
    int depth = 0;
    bool inMeta = false;
    while (!xml.atEnd() && depth <= kMaxDepth) {
        xml.readNext();
        if (xml.isEndElement()) {
            --depth;
            if (inMeta && depth < 2)
                break;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        ++depth;
        if (depth == 2 && xml.namespaceUri() == kOffice && xml.name() == u"meta") {
            inMeta = true;
            continue;
        }
        if (!inMeta || depth != 3)
            continue;
        QString *target = nullptr;
        if (xml.namespaceUri() == kDublinCore && xml.name() == u"title" && facts.title.isEmpty())
            target = &facts.title;
        else if (xml.namespaceUri() == kDublinCore && xml.name() == u"creator" && creator.isEmpty())
            target = &creator;
        else if (xml.namespaceUri() == kMeta && xml.name() == u"initial-creator" && initialCreator.isEmpty())
            target = &initialCreator;
        else if (xml.namespaceUri() == kDublinCore && xml.name() == u"language" && language.isEmpty())
            target = &language;
        if (!target)
            continue;
        QString text;
        int inner = 1;
        while (inner > 0 && !xml.atEnd() && depth + inner <= kMaxDepth) {
            xml.readNext();
            if (xml.isStartElement())
                ++inner;
            else if (xml.isEndElement())
                --inner;
            else if (xml.isCharacters() && text.size() < kMaxFactCharacters)
                text.append(xml.text().left(kMaxFactCharacters - text.size()));
        }
        if (inner > 0 || xml.hasError())
            break;
        --depth; // the element's end was read
        *target = OneLine(text);
    }
    facts.author = creator.isEmpty() ? initialCreator : creator;
    if (const QString tag = LanguageTag(language); !tag.isEmpty())
        facts.language = tag;
}

// The title and the author that meta.xml names, as far as it can be read: a meta.xml that
// is missing, too large, damaged or hostile names nothing, and the text is read all the
// same. What was complete before a fault stands.
// A small entry of the package whole, or nothing: missing, larger than limit, inflated
// beyond any real document's ratio, encrypted, or holding other than it declares.
std::optional<QByteArray> SmallEntry(zip_t *zip, const char *name, qint64 limit)
{
    const zip_int64_t index = zip_name_locate(zip, name, 0);
    if (index < 0)
        return std::nullopt;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)
        || !(st.valid & ZIP_STAT_COMP_SIZE) || st.size > static_cast<zip_uint64_t>(limit)
        || EntryRefusedBySize(st.size, st.comp_size)
        || ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE))
        return std::nullopt;
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
    if (!file)
        return std::nullopt;
    // One byte more than declared is asked for: an entry that holds more is not read.
    QByteArray bytes(static_cast<qsizetype>(st.size) + 1, Qt::Uninitialized);
    const zip_int64_t n = zip_fread(file.get(), bytes.data(), st.size + 1);
    if (n < 0 || static_cast<zip_uint64_t>(n) != st.size)
        return std::nullopt;
    bytes.truncate(static_cast<qsizetype>(n));
    return bytes;
}

void ReadMeta(zip_t *zip, DocumentFacts &facts)
{
    if (const std::optional<QByteArray> bytes = SmallEntry(zip, "meta.xml", kMaxMetaBytes))
        ReadMetaXml(*bytes, facts);
}

// The languages of styles.xml's common styles, as far as they can be read: a styles.xml
// that is missing, too large, damaged or hostile gives none (what was read before a fault
// stands), and the text is read all the same.
void ReadStyles(zip_t *zip, OdtStyles &styles, const QString &path)
{
    const std::optional<QByteArray> read = SmallEntry(zip, "styles.xml", kMaxStylesBytes);
    if (!read)
        return;
    const QByteArray &bytes = *read;
    QXmlStreamReader xml(bytes);
    WholeXmlSource source(bytes.size());
    DocumentFacts unused;
    try {
        BodyParser(xml, source, nullptr, path, styles, &unused).RunStyles();
    } catch (const RuntimeError &) {
    }
}

} // namespace

OdtReader::OdtReader(IEventLoop *events)
    : m_events(events)
{
}

void OdtReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    if (facts)
        *facts = DocumentFacts();
    const QByteArray native = FileSystem::NativeName(path);
    const auto status = FileSystem::Stat(path);
    if (!status) {
        if (status.Error() == ENOENT)
            throw RuntimeError(u"File not found: "_s + path, ErrorNumber::FileNotFound);
        throw FileSystemError(status.Error(), path);
    }
    if (status->kind != FileSystem::Kind::Regular || status->size == 0)
        throw NotAPackage(path);

    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> zip(zip_open(native.constData(), ZIP_RDONLY, &error));
    if (!zip) {
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            throw FileAccessError(path);
        if (error == ZIP_ER_MEMORY)
            throw RuntimeError(u"Out of memory"_s, ErrorNumber::OutOfMemory);
        throw NotAPackage(path);
    }
    if (ManifestEncryptsContent(zip.get()))
        throw PasswordProtected(path);
    OdtStyles styles;
    if (facts) {
        ReadMeta(zip.get(), *facts);
        ReadStyles(zip.get(), styles, path);
    }

    const zip_int64_t index = zip_name_locate(zip.get(), "content.xml", 0);
    if (index < 0)
        throw RuntimeError(u"The package holds no content.xml: "_s + path, ErrorNumber::PathFileAccessError);
    zip_stat_t entry;
    zip_stat_init(&entry);
    if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(index), 0, &entry) != 0)
        throw NotAPackage(path);
    if ((entry.valid & ZIP_STAT_ENCRYPTION_METHOD) && entry.encryption_method != ZIP_EM_NONE)
        throw PasswordProtected(path);
    if (!(entry.valid & ZIP_STAT_SIZE))
        throw NotAPackage(path);
    if (entry.size > static_cast<zip_uint64_t>(kMaxEntryBytes))
        throw TooLarge(path);
    // Refused before anything is inflated: the sizes the package declares are the most it
    // may hold, and an entry that holds more is stopped at them.
    if (entry.size > static_cast<zip_uint64_t>(kRatioFreeBytes) && (entry.valid & ZIP_STAT_COMP_SIZE)
        && entry.size / static_cast<zip_uint64_t>(kMaxInflationRatio) > entry.comp_size)
        throw TooLarge(path);

    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file)
        throw RuntimeError(u"The document is damaged ("_s + QString::fromUtf8(zip_strerror(zip.get())) + u"): "_s
                               + path,
                           ErrorNumber::PathFileAccessError);

    QXmlStreamReader xml;
    ZipXmlSource source(file.get(), xml, static_cast<qint64>(entry.size), m_events, path);
    SinkOutput out(sink, facts);
    BodyParser(xml, source, m_events, path, styles, facts).Run(out);
    out.Finish();
}

FlatOdtReader::FlatOdtReader(IEventLoop *events)
    : m_events(events)
{
}

void FlatOdtReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    QFile file;
    OpenDocument(file, path);
    if (facts) {
        ReadMetaXml(file.read(kMaxMetaBytes), *facts);
        file.seek(0);
    }
    QXmlStreamReader xml;
    FileXmlSource source(file, xml, m_events, path);
    SinkOutput out(sink, facts);
    OdtStyles styles;
    BodyParser(xml, source, m_events, path, styles, facts).Run(out);
    out.Finish();
}

QString OdtBodyTextFromXml(const QByteArray &contentXml, DocumentFacts *facts)
{
    QXmlStreamReader xml(contentXml);
    QString text;
    const IDocumentReader::TextSink sink = [&text](QStringView piece) { text.append(piece); };
    SinkOutput out(sink, facts);
    WholeXmlSource source(contentXml.size());
    OdtStyles styles;
    BodyParser(xml, source, nullptr, u"content.xml"_s, styles, facts).Run(out);
    out.Finish();
    return text;
}
