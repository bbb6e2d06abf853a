#include "documents/htmlreader.h"

#include "documents/htmltext.h"
#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/package.h"
#include "filesystem/filesystem.h"

#include <QRegularExpression>
#include <QXmlStreamEntityResolver>

#include <gumbo.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A page larger than this is beyond any real one; the parse of one may take this much.
constexpr qint64 kMaxPageBytes = qint64(32) << 20;
constexpr size_t kMaxParseBytes = size_t(1) << 30;
constexpr size_t kArenaBlock = size_t(1) << 20;

// All the parser's memory, in blocks that go together when the parse is done: so the tree
// is never taken apart node by node (which nests as deep as the page), and a parse that
// would grow beyond kMaxParseBytes is left at once. The window is served while it runs.
struct Arena
{
    struct Block
    {
        Block *previous;
    };
    Block *last = nullptr;
    char *next = nullptr;
    size_t left = 0;
    size_t total = 0;
    std::jmp_buf *escape = nullptr;
    YieldClock *clock = nullptr;
    unsigned calls = 0;

    ~Arena()
    {
        while (last) {
            Block *previous = last->previous;
            std::free(last);
            last = previous;
        }
    }
};

// Called by the parser, in C: no object here has a destructor, so leaving by longjmp is sound.
extern "C" void *ArenaAllocate(void *userdata, size_t size)
{
    auto *arena = static_cast<Arena *>(userdata);
    if ((++arena->calls & 4095) == 0)
        arena->clock->Check();
    size = (size + 15) & ~size_t(15);
    if (size > arena->left) {
        const size_t block = std::max(size + 16, kArenaBlock);
        if (arena->total + block > kMaxParseBytes)
            std::longjmp(*arena->escape, 1);
        auto *memory = static_cast<char *>(std::malloc(block));
        if (!memory)
            std::longjmp(*arena->escape, 1);
        auto *header = reinterpret_cast<Arena::Block *>(memory);
        header->previous = arena->last;
        arena->last = header;
        arena->total += block;
        arena->next = memory + 16;
        arena->left = block - 16;
    }
    void *result = arena->next;
    arena->next += size;
    arena->left -= size;
    return result;
}

extern "C" void ArenaRelease(void *, void *)
{
}

// The parse, or null when it would grow beyond its arena.
GumboOutput *ParseInArena(const GumboOptions *options, const QByteArray &utf8, Arena *arena)
{
    std::jmp_buf escape;
    arena->escape = &escape;
    if (setjmp(escape) != 0)
        return nullptr;
    return gumbo_parse_with_options(options, utf8.constData(), static_cast<size_t>(utf8.size()));
}

QString TagName(const GumboElement &element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromLatin1(gumbo_normalized_tagname(element.tag));
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return QString::fromUtf8(original.data, static_cast<qsizetype>(original.length)).toLower();
}

// Walks the tree in document order without recursion, nesting limited.
void Walk(const GumboNode *root, HtmlText &text, YieldClock &clock, const QString &path)
{
    struct Open
    {
        const GumboNode *node;
        unsigned child;
        QString name;
    };
    std::vector<Open> stack;
    stack.push_back({root, 0, QString()});
    while (!stack.empty()) {
        clock.Tick();
        Open &top = stack.back();
        const GumboVector &children = top.node->v.element.children;
        if (top.child >= children.length) {
            if (stack.size() > 1)
                text.Leave(top.name);
            stack.pop_back();
            continue;
        }
        const auto *node = static_cast<const GumboNode *>(children.data[top.child++]);
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            text.Characters(QString::fromUtf8(node->v.text.text));
            break;
        case GUMBO_NODE_ELEMENT: {
            if (stack.size() >= static_cast<size_t>(DocumentLimits::kMaxDepth))
                throw NestedTooDeeply(path);
            const GumboElement &element = node->v.element;
            const QString name = TagName(element);
            const HtmlText::Attributes attributes = [&element](QStringView attribute) {
                const GumboAttribute *a = gumbo_get_attribute(&element.attributes, attribute.toLatin1().constData());
                return a ? QString::fromUtf8(a->value) : QString();
            };
            if (text.Enter(name, attributes))
                stack.push_back({node, 0, name});
            break;
        }
        default:
            break; // comments, templates, the document type
        }
    }
}

// Knows HTML's entities in XHTML documents that do not declare them.
class EntityResolver final : public QXmlStreamEntityResolver
{
public:
    QString resolveUndeclaredEntity(const QString &name) override
    {
        const char16_t c = HtmlEntity(name);
        return c ? QString(QChar(c)) : QString();
    }
};

// True when the bytes are one well-formed XML document (nesting limited, the window served).
bool WellFormed(const QByteArray &bytes, YieldClock &clock)
{
    EntityResolver resolver;
    QXmlStreamReader xml(bytes);
    xml.setEntityResolver(&resolver);
    int depth = 0;
    while (!xml.atEnd()) {
        clock.Tick();
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > DocumentLimits::kMaxDepth)
            return true; // it is refused as too deep when it is read
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return !xml.hasError();
}

// The content of the current element, its children walked as the text asks.
void Walk(XmlPull &pull, HtmlText &text)
{
    for (;;) {
        switch (pull.Next()) {
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::EndDocument:
            return;
        case QXmlStreamReader::Characters:
            text.Characters(pull.xml.text());
            break;
        case QXmlStreamReader::EntityReference: {
            const char16_t c = HtmlEntity(pull.xml.name());
            if (c)
                text.Characters(QStringView(&c, 1));
            break;
        }
        case QXmlStreamReader::StartElement: {
            const QString name = pull.xml.name().toString().toLower();
            const QXmlStreamAttributes attributes = pull.xml.attributes();
            const HtmlText::Attributes lookup = [&attributes](QStringView attribute) {
                for (const QXmlStreamAttribute &a : attributes) {
                    if (a.name() == attribute && (a.prefix().isEmpty() || a.prefix() == u"xml"))
                        return a.value().toString();
                }
                return QString();
            };
            if (text.Enter(name, lookup)) {
                Walk(pull, text);
                text.Leave(name);
            } else {
                pull.Skip();
            }
            break;
        }
        default:
            break;
        }
    }
}

// XHTML's empty elements of raw text (<script src="x"/>, <title/>) would swallow the rest
// of the document when read as HTML: they are closed as XHTML meant them.
QByteArray RawTextElementsClosed(const QByteArray &bytes)
{
    static const QRegularExpression empty(
        uR"(<(script|style|title|textarea|iframe|noembed|noframes|noscript|xmp)(\s[^<>]*)?/>)"_s,
        QRegularExpression::CaseInsensitiveOption);
    QString text = QString::fromLatin1(bytes);
    text.replace(empty, u"<\\1\\2></\\1>"_s);
    return text.toLatin1();
}

} // namespace

void ReadHtml(const QByteArray &bytes, HtmlText &text, YieldClock &clock, TextBudget &budget, const QString &path)
{
    if (bytes.size() > kMaxPageBytes)
        throw TooLarge(path);
    text.SetClock(&clock);
    const QByteArray utf8 = HtmlAsUtf8(bytes);
    budget.Read(utf8.size());
    Arena arena;
    arena.clock = &clock;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = ArenaAllocate;
    options.deallocator = ArenaRelease;
    options.userdata = &arena;
    options.max_errors = 0;
    const GumboOutput *output = ParseInArena(&options, utf8, &arena);
    if (!output)
        throw TooLarge(path);
    Walk(output->document, text, clock, path);
}

void ReadXhtml(const QByteArray &bytes, HtmlText &text, YieldClock &clock, TextBudget &budget, const QString &path)
{
    text.SetClock(&clock);
    if (!WellFormed(bytes, clock))
        return ReadHtml(RawTextElementsClosed(bytes), text, clock, budget, path);
    WholeBytes source(bytes);
    XmlPull pull(source, clock, &budget, path);
    EntityResolver resolver;
    pull.xml.setEntityResolver(&resolver);
    Walk(pull, text);
}

HtmlReader::HtmlReader(IEventLoop *events, Syntax syntax)
    : m_events(events)
    , m_syntax(syntax)
{
}

void HtmlReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    const auto bytes = FileSystem::ReadFile(path, kMaxPageBytes);
    if (!bytes) {
        if (bytes.Error() == EFBIG)
            throw TooLarge(path);
        throw CannotOpen(bytes.Error(), path);
    }
    YieldClock clock(m_events);
    TextBudget budget(path);
    LineWriter out(sink, budget);
    HtmlText text(out, facts, true);
    if (m_syntax == Syntax::Xhtml)
        ReadXhtml(*bytes, text, clock, budget, path);
    else
        ReadHtml(*bytes, text, clock, budget, path);
    out.Finish();
}

QString HtmlBodyText(const QByteArray &page, DocumentFacts *facts)
{
    QString result;
    const IDocumentReader::TextSink sink = [&result](QStringView piece) { result.append(piece); };
    const QString path = u"page.html"_s;
    YieldClock clock(nullptr);
    TextBudget budget(path);
    LineWriter out(sink, budget);
    HtmlText text(out, facts, true);
    ReadHtml(page, text, clock, budget, path);
    out.Finish();
    return result;
}
