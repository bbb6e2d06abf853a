#include "documents/markdownreader.h"

#include "documents/htmltext.h"
#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/textreader.h"
#include "filesystem/filesystem.h"

#include <QRegularExpression>

#include <md4c.h>

#include <cerrno>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

// A Markdown file larger than this is beyond any real one.
constexpr qint64 kMaxMarkdownBytes = qint64(16) << 20;
// Real front matters hold a few lines of a few hundred characters.
constexpr qsizetype kMaxFrontMatterBytes = 64 * 1024;
constexpr qsizetype kMaxFrontMatterLine = 16 * 1024;

// The parser's callbacks, which drive the text as HTML elements would. A failure inside
// a callback stops the parse and is thrown again once the parser has returned.
struct Render
{
    HtmlText &text;
    YieldClock &clock;
    const QString &path;
    int depth = 0;
    int images = 0; // inside an image: its description is the text
    QString html; // a raw HTML block, read as HTML when it ends
    QString hidden; // the raw script or style element whose content goes on, or empty
    std::exception_ptr failure;

    static const HtmlText::Attributes &NoAttributes()
    {
        static const HtmlText::Attributes none = [](QStringView) { return QString(); };
        return none;
    }

    static QStringView BlockName(MD_BLOCKTYPE type, void *detail)
    {
        switch (type) {
        case MD_BLOCK_QUOTE:
            return u"blockquote";
        case MD_BLOCK_UL:
            return u"ul";
        case MD_BLOCK_OL:
            return u"ol";
        case MD_BLOCK_LI:
            return u"li";
        case MD_BLOCK_HR:
            return u"hr";
        case MD_BLOCK_H: {
            static const QStringView levels[] = {u"h1", u"h2", u"h3", u"h4", u"h5", u"h6"};
            const unsigned level = static_cast<MD_BLOCK_H_DETAIL *>(detail)->level;
            return levels[std::clamp(level, 1u, 6u) - 1];
        }
        case MD_BLOCK_CODE:
            return u"pre";
        case MD_BLOCK_P:
            return u"p";
        case MD_BLOCK_TABLE:
            return u"table";
        case MD_BLOCK_TR:
            return u"tr";
        case MD_BLOCK_TH:
        case MD_BLOCK_TD:
            return u"td";
        default:
            return u"div";
        }
    }

    template<typename F>
    int Guard(F &&work)
    {
        try {
            clock.Tick();
            work();
            return 0;
        } catch (...) {
            failure = std::current_exception();
            return 1;
        }
    }

    void Characters(QStringView piece) { text.Characters(piece); }

    // Follows raw HTML through the script and style elements it opens and closes, whose
    // content is never text, wherever the Markdown around them breaks them up. Answers where
    // in html the content hidden before it ends (0 when none was).
    qsizetype Raw(QStringView raw)
    {
        const bool hiddenBefore = !hidden.isEmpty();
        qsizetype visibleFrom = hiddenBefore ? raw.size() : 0;
        for (qsizetype at = 0; at < raw.size();) {
            if (!hidden.isEmpty()) {
                const qsizetype close = raw.indexOf(QString(u"</"_s + hidden), at, Qt::CaseInsensitive);
                if (close < 0)
                    break;
                const qsizetype end = raw.indexOf(u'>', close);
                at = end < 0 ? raw.size() : end + 1;
                if (hiddenBefore && visibleFrom == raw.size())
                    visibleFrom = at;
                hidden.clear();
                continue;
            }
            const qsizetype open = raw.indexOf(u'<', at);
            if (open < 0)
                break;
            at = open + 1;
            for (const QStringView name : {QStringView(u"script"), QStringView(u"style")}) {
                const QStringView rest = raw.mid(at);
                if (rest.startsWith(name, Qt::CaseInsensitive)
                    && (rest.size() == name.size() || rest[name.size()].isSpace() || rest[name.size()] == u'>'
                        || rest[name.size()] == u'/'))
                    hidden = name.toString().toLower();
            }
        }
        return visibleFrom;
    }

    void Text(MD_TEXTTYPE type, const MD_CHAR *data, MD_SIZE size)
    {
        const QByteArrayView bytes(data, size);
        if (!html.isNull() && type == MD_TEXT_HTML) {
            html += QString::fromUtf8(bytes);
            return;
        }
        if (type == MD_TEXT_HTML) {
            Raw(QString::fromUtf8(bytes)); // inline tags are markup, never text
            return;
        }
        if (!hidden.isEmpty())
            return;
        switch (type) {
        case MD_TEXT_NULLCHAR:
            return Characters(u"\uFFFD");
        case MD_TEXT_BR:
            text.Enter(u"br", NoAttributes());
            return;
        case MD_TEXT_SOFTBR:
            return Characters(u" ");
        case MD_TEXT_ENTITY:
            return Characters(Entity(QString::fromUtf8(bytes)));
        default:
            return Characters(QString::fromUtf8(bytes));
        }
    }

    // "&amp;", "&#233;", "&#xE9;" as their character; one that is not known stays as written.
    static QString Entity(const QString &entity)
    {
        const QStringView inner = QStringView(entity).mid(1, entity.size() - 2);
        char32_t code = 0;
        bool ok = false;
        if (inner.startsWith(u"#x") || inner.startsWith(u"#X"))
            code = inner.mid(2).toUInt(&ok, 16);
        else if (inner.startsWith(u'#'))
            code = inner.mid(1).toUInt(&ok, 10);
        else if (const char16_t c = HtmlEntity(inner))
            return QString(QChar(c));
        if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF))
            return QString::fromUcs4(&code, 1);
        return entity;
    }
};

int EnterBlock(MD_BLOCKTYPE type, void *detail, void *userdata)
{
    auto &r = *static_cast<Render *>(userdata);
    return r.Guard([&] {
        if (++r.depth > DocumentLimits::kMaxDepth)
            throw NestedTooDeeply(r.path);
        if (type == MD_BLOCK_HTML) {
            r.html = u""_s;
            return;
        }
        r.text.Enter(Render::BlockName(type, detail), Render::NoAttributes());
    });
}

int LeaveBlock(MD_BLOCKTYPE type, void *detail, void *userdata)
{
    auto &r = *static_cast<Render *>(userdata);
    return r.Guard([&] {
        --r.depth;
        if (type == MD_BLOCK_HTML) {
            const QString block = std::exchange(r.html, QString());
            const QByteArray html = QStringView(block).mid(r.Raw(block)).toUtf8();
            TextBudget unbounded(r.path); // the block's bytes were counted as Markdown
            unbounded.Read(html.size());
            r.text.Break();
            ReadHtml(html, r.text, r.clock, unbounded, r.path);
            r.text.Break();
            return;
        }
        r.text.Leave(Render::BlockName(type, detail));
    });
}

int EnterSpan(MD_SPANTYPE type, void *, void *userdata)
{
    auto &r = *static_cast<Render *>(userdata);
    return r.Guard([&] {
        if (++r.depth > DocumentLimits::kMaxDepth)
            throw NestedTooDeeply(r.path);
        if (type == MD_SPAN_IMG)
            r.Characters(u" ");
    });
}

int LeaveSpan(MD_SPANTYPE type, void *, void *userdata)
{
    auto &r = *static_cast<Render *>(userdata);
    return r.Guard([&] {
        --r.depth;
        if (type == MD_SPAN_IMG)
            r.Characters(u" ");
    });
}

// The title, author and language of a front matter's "key: value" lines.
void FrontMatterFields(const QString &block, DocumentFacts *facts)
{
    static const QRegularExpression field(uR"(^(title|author|lang)\s*:\s*(.*?)\s*$)"_s,
                                          QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    for (auto it = field.globalMatch(block); it.hasNext();) {
        const QRegularExpressionMatch f = it.next();
        QString value = f.captured(2);
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        const QString key = f.captured(1).toLower();
        if (key == u"lang"_s) {
            if (facts->language.isEmpty())
                facts->language = LanguageTag(value);
            continue;
        }
        QString &slot = key == u"title"_s ? facts->title : facts->author;
        if (slot.isEmpty())
            slot = value.simplified();
    }
}

int TextCallback(MD_TEXTTYPE type, const MD_CHAR *data, MD_SIZE size, void *userdata)
{
    auto &r = *static_cast<Render *>(userdata);
    return r.Guard([&] { r.Text(type, data, size); });
}

// A YAML front matter block at the very start ("---" lines around "key: value" lines,
// closed by "---" or "..."): metadata, never text. Answers where the Markdown begins after
// it; its title, author and language go to facts, unless it is larger than kMaxFrontMatterBytes or
// holds a line longer than kMaxFrontMatterLine.
qsizetype FrontMatter(const QByteArray &utf8, DocumentFacts *facts)
{
    if (!utf8.startsWith("---\n") && !utf8.startsWith("---\r\n"))
        return 0;
    const qsizetype begin = utf8.indexOf('\n') + 1;
    qsizetype longest = 0;
    for (qsizetype at = begin; at < utf8.size();) {
        const qsizetype lf = utf8.indexOf('\n', at);
        const qsizetype next = lf < 0 ? utf8.size() : lf + 1;
        QByteArrayView line = QByteArrayView(utf8).sliced(at, next - at);
        while (!line.isEmpty() && QByteArrayView("\n\r \t").contains(line.back()))
            line.chop(1);
        if (at > begin && (line == "---" || line == "...")) {
            if (facts && at - begin <= kMaxFrontMatterBytes && longest <= kMaxFrontMatterLine)
                FrontMatterFields(QString::fromUtf8(utf8.sliced(begin, at - begin)), facts);
            return next;
        }
        longest = std::max(longest, next - at);
        at = next;
    }
    return 0; // never closed: a thematic break, and the text after it
}

void ReadMarkdown(const QByteArray &bytes, const IDocumentReader::TextSink &sink, DocumentFacts *facts,
                  IEventLoop *events, const QString &path)
{
    const QByteArray utf8 = DecodeText(bytes).toUtf8();
    YieldClock clock(events);
    TextBudget budget(path);
    budget.Read(utf8.size());
    LineWriter out(sink, budget);
    HtmlText text(out, facts, true);
    const qsizetype start = FrontMatter(utf8, facts);
    Render render{text, clock, path, 0, 0, QString(), QString(), nullptr};
    MD_PARSER parser{};
    parser.flags = MD_DIALECT_GITHUB;
    parser.enter_block = EnterBlock;
    parser.leave_block = LeaveBlock;
    parser.enter_span = EnterSpan;
    parser.leave_span = LeaveSpan;
    parser.text = TextCallback;
    const int result = md_parse(utf8.constData() + start, static_cast<MD_SIZE>(utf8.size() - start), &parser, &render);
    if (render.failure)
        std::rethrow_exception(render.failure);
    if (result != 0)
        throw RuntimeError(u"Out of memory"_s, ErrorNumber::OutOfMemory);
    out.Finish();
    // Without a title of its own, a document that opens with a top-level heading is called so.
    if (facts && facts->title.isEmpty() && !facts->headings.isEmpty() && facts->headings.first().level == 1
        && facts->headings.first().line == 0)
        facts->title = facts->headings.first().title;
}

} // namespace

MarkdownReader::MarkdownReader(IEventLoop *events)
    : m_events(events)
{
}

void MarkdownReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    const auto bytes = FileSystem::ReadFile(path, kMaxMarkdownBytes);
    if (!bytes) {
        if (bytes.Error() == EFBIG)
            throw TooLarge(path);
        throw CannotOpen(bytes.Error(), path);
    }
    ReadMarkdown(*bytes, sink, facts, m_events, path);
}

QString MarkdownText(const QByteArray &markdown, DocumentFacts *facts)
{
    QString text;
    ReadMarkdown(markdown, [&text](QStringView piece) { text.append(piece); }, facts, nullptr, u"text.md"_s);
    return text;
}
