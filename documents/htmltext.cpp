#include "documents/htmltext.h"

#include "common/codepage.h"
#include "documents/limits.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <iconv.h>

using namespace Qt::StringLiterals;

namespace {

struct Entity
{
    const char *name;
    char16_t character;
};

// HTML 4's character entities, which XHTML documents use without declaring them.
constexpr Entity kEntities[] = {
    {"AElig", 0x00c6}, {"Aacute", 0x00c1}, {"Acirc", 0x00c2}, {"Agrave", 0x00c0}, {"Alpha", 0x0391},
    {"Aring", 0x00c5}, {"Atilde", 0x00c3}, {"Auml", 0x00c4}, {"Beta", 0x0392}, {"Ccedil", 0x00c7}, {"Chi", 0x03a7},
    {"Dagger", 0x2021}, {"Delta", 0x0394}, {"ETH", 0x00d0}, {"Eacute", 0x00c9}, {"Ecirc", 0x00ca},
    {"Egrave", 0x00c8}, {"Epsilon", 0x0395}, {"Eta", 0x0397}, {"Euml", 0x00cb}, {"Gamma", 0x0393},
    {"Iacute", 0x00cd}, {"Icirc", 0x00ce}, {"Igrave", 0x00cc}, {"Iota", 0x0399}, {"Iuml", 0x00cf},
    {"Kappa", 0x039a}, {"Lambda", 0x039b}, {"Mu", 0x039c}, {"Ntilde", 0x00d1}, {"Nu", 0x039d}, {"OElig", 0x0152},
    {"Oacute", 0x00d3}, {"Ocirc", 0x00d4}, {"Ograve", 0x00d2}, {"Omega", 0x03a9}, {"Omicron", 0x039f},
    {"Oslash", 0x00d8}, {"Otilde", 0x00d5}, {"Ouml", 0x00d6}, {"Phi", 0x03a6}, {"Pi", 0x03a0}, {"Prime", 0x2033},
    {"Psi", 0x03a8}, {"Rho", 0x03a1}, {"Scaron", 0x0160}, {"Sigma", 0x03a3}, {"THORN", 0x00de}, {"Tau", 0x03a4},
    {"Theta", 0x0398}, {"Uacute", 0x00da}, {"Ucirc", 0x00db}, {"Ugrave", 0x00d9}, {"Upsilon", 0x03a5},
    {"Uuml", 0x00dc}, {"Xi", 0x039e}, {"Yacute", 0x00dd}, {"Yuml", 0x0178}, {"Zeta", 0x0396}, {"aacute", 0x00e1},
    {"acirc", 0x00e2}, {"acute", 0x00b4}, {"aelig", 0x00e6}, {"agrave", 0x00e0}, {"alefsym", 0x2135},
    {"alpha", 0x03b1}, {"amp", 0x0026}, {"and", 0x2227}, {"ang", 0x2220}, {"aring", 0x00e5}, {"asymp", 0x2248},
    {"atilde", 0x00e3}, {"auml", 0x00e4}, {"bdquo", 0x201e}, {"beta", 0x03b2}, {"brvbar", 0x00a6},
    {"bull", 0x2022}, {"cap", 0x2229}, {"ccedil", 0x00e7}, {"cedil", 0x00b8}, {"cent", 0x00a2}, {"chi", 0x03c7},
    {"circ", 0x02c6}, {"clubs", 0x2663}, {"cong", 0x2245}, {"copy", 0x00a9}, {"crarr", 0x21b5}, {"cup", 0x222a},
    {"curren", 0x00a4}, {"dArr", 0x21d3}, {"dagger", 0x2020}, {"darr", 0x2193}, {"deg", 0x00b0}, {"delta", 0x03b4},
    {"diams", 0x2666}, {"divide", 0x00f7}, {"eacute", 0x00e9}, {"ecirc", 0x00ea}, {"egrave", 0x00e8},
    {"empty", 0x2205}, {"emsp", 0x2003}, {"ensp", 0x2002}, {"epsilon", 0x03b5}, {"equiv", 0x2261}, {"eta", 0x03b7},
    {"eth", 0x00f0}, {"euml", 0x00eb}, {"euro", 0x20ac}, {"exist", 0x2203}, {"fnof", 0x0192}, {"forall", 0x2200},
    {"frac12", 0x00bd}, {"frac14", 0x00bc}, {"frac34", 0x00be}, {"frasl", 0x2044}, {"gamma", 0x03b3},
    {"ge", 0x2265}, {"gt", 0x003e}, {"hArr", 0x21d4}, {"harr", 0x2194}, {"hearts", 0x2665}, {"hellip", 0x2026},
    {"iacute", 0x00ed}, {"icirc", 0x00ee}, {"iexcl", 0x00a1}, {"igrave", 0x00ec}, {"image", 0x2111},
    {"infin", 0x221e}, {"int", 0x222b}, {"iota", 0x03b9}, {"iquest", 0x00bf}, {"isin", 0x2208}, {"iuml", 0x00ef},
    {"kappa", 0x03ba}, {"lArr", 0x21d0}, {"lambda", 0x03bb}, {"lang", 0x2329}, {"laquo", 0x00ab}, {"larr", 0x2190},
    {"lceil", 0x2308}, {"ldquo", 0x201c}, {"le", 0x2264}, {"lfloor", 0x230a}, {"lowast", 0x2217}, {"loz", 0x25ca},
    {"lrm", 0x200e}, {"lsaquo", 0x2039}, {"lsquo", 0x2018}, {"lt", 0x003c}, {"macr", 0x00af}, {"mdash", 0x2014},
    {"micro", 0x00b5}, {"middot", 0x00b7}, {"minus", 0x2212}, {"mu", 0x03bc}, {"nabla", 0x2207}, {"nbsp", 0x00a0},
    {"ndash", 0x2013}, {"ne", 0x2260}, {"ni", 0x220b}, {"not", 0x00ac}, {"notin", 0x2209}, {"nsub", 0x2284},
    {"ntilde", 0x00f1}, {"nu", 0x03bd}, {"oacute", 0x00f3}, {"ocirc", 0x00f4}, {"oelig", 0x0153},
    {"ograve", 0x00f2}, {"oline", 0x203e}, {"omega", 0x03c9}, {"omicron", 0x03bf}, {"oplus", 0x2295},
    {"or", 0x2228}, {"ordf", 0x00aa}, {"ordm", 0x00ba}, {"oslash", 0x00f8}, {"otilde", 0x00f5}, {"otimes", 0x2297},
    {"ouml", 0x00f6}, {"para", 0x00b6}, {"part", 0x2202}, {"permil", 0x2030}, {"perp", 0x22a5}, {"phi", 0x03c6},
    {"pi", 0x03c0}, {"piv", 0x03d6}, {"plusmn", 0x00b1}, {"pound", 0x00a3}, {"prime", 0x2032}, {"prod", 0x220f},
    {"prop", 0x221d}, {"psi", 0x03c8}, {"quot", 0x0022}, {"rArr", 0x21d2}, {"radic", 0x221a}, {"rang", 0x232a},
    {"raquo", 0x00bb}, {"rarr", 0x2192}, {"rceil", 0x2309}, {"rdquo", 0x201d}, {"real", 0x211c}, {"reg", 0x00ae},
    {"rfloor", 0x230b}, {"rho", 0x03c1}, {"rlm", 0x200f}, {"rsaquo", 0x203a}, {"rsquo", 0x2019}, {"sbquo", 0x201a},
    {"scaron", 0x0161}, {"sdot", 0x22c5}, {"sect", 0x00a7}, {"shy", 0x00ad}, {"sigma", 0x03c3}, {"sigmaf", 0x03c2},
    {"sim", 0x223c}, {"spades", 0x2660}, {"sub", 0x2282}, {"sube", 0x2286}, {"sum", 0x2211}, {"sup", 0x2283},
    {"sup1", 0x00b9}, {"sup2", 0x00b2}, {"sup3", 0x00b3}, {"supe", 0x2287}, {"szlig", 0x00df}, {"tau", 0x03c4},
    {"there4", 0x2234}, {"theta", 0x03b8}, {"thetasym", 0x03d1}, {"thinsp", 0x2009}, {"thorn", 0x00fe},
    {"tilde", 0x02dc}, {"times", 0x00d7}, {"trade", 0x2122}, {"uArr", 0x21d1}, {"uacute", 0x00fa},
    {"uarr", 0x2191}, {"ucirc", 0x00fb}, {"ugrave", 0x00f9}, {"uml", 0x00a8}, {"upsih", 0x03d2},
    {"upsilon", 0x03c5}, {"uuml", 0x00fc}, {"weierp", 0x2118}, {"xi", 0x03be}, {"yacute", 0x00fd}, {"yen", 0x00a5},
    {"yuml", 0x00ff}, {"zeta", 0x03b6}, {"zwj", 0x200d}, {"zwnj", 0x200c},

};

// A page title or heading is what a chapter list shows: never more than this.
constexpr qsizetype kMaxTitle = 500;

bool IsBlock(QStringView name)
{
    static const QSet<QStringView> blocks = {
        u"address", u"article", u"aside", u"blockquote", u"body", u"caption", u"center", u"dd", u"details",
        u"dialog", u"dir", u"div", u"dl", u"dt", u"fieldset", u"figcaption", u"figure", u"footer", u"form",
        u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"header", u"hgroup", u"html", u"legend", u"li", u"main",
        u"menu", u"nav", u"ol", u"p", u"section", u"summary", u"table", u"tbody", u"td", u"tfoot", u"th",
        u"thead", u"tr", u"ul"};
    return blocks.contains(name);
}

// Elements whose content is never part of the text a reader sees.
bool IsSkipped(QStringView name)
{
    static const QSet<QStringView> skipped = {
        u"script", u"style", u"template", u"noscript", u"iframe", u"object", u"embed", u"svg", u"annotation",
        u"annotation-xml",
        u"canvas", u"audio", u"video", u"select", u"textarea", u"button", u"input", u"map", u"rp", u"rt",
        u"datalist", u"frameset", u"frame", u"noframes", u"link", u"base", u"param", u"source", u"track"};
    return skipped.contains(name);
}

bool IsHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

int HeadingLevel(QStringView name)
{
    if (name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6')
        return name[1].unicode() - u'0';
    return 0;
}

QByteArray Convert(const QByteArray &bytes, const QByteArray &charset)
{
    iconv_t cd = iconv_open("UTF-8", charset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QByteArray();
    QByteArray out;
    QByteArray in = bytes;
    char *inPtr = in.data();
    size_t inLeft = static_cast<size_t>(in.size());
    char buffer[16384];
    while (inLeft > 0) {
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // A byte the charset does not know stands for itself in Windows-1252.
            out.append(CodePage::Decode(QByteArrayView(inPtr, 1)).toUtf8());
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

char16_t HtmlEntity(QStringView name)
{
    const auto end = std::end(kEntities);
    const auto it = std::lower_bound(std::begin(kEntities), end, name, [](const Entity &e, QStringView n) {
        return QLatin1StringView(e.name) < n;
    });
    return it != end && QLatin1StringView(it->name) == name ? it->character : 0;
}

QByteArray HtmlAsUtf8(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return bytes.mid(3);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return QString(decoder(bytes.mid(2))).toUtf8();
    }
    static const QRegularExpression declared(
        uR"((?:<\?xml[^>]*encoding|<meta[^>]*charset)\s*=\s*["']?\s*([A-Za-z0-9_.:-]+))"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(1024));
    const QByteArray charset = declared.match(head).captured(1).toLatin1().toLower();
    const bool isUtf8 = [&bytes] {
        QStringDecoder decoder(QStringConverter::Utf8);
        [[maybe_unused]] const QString text = decoder(bytes);
        return !decoder.hasError();
    }();
    static const QList<QByteArray> westernEuropean = {"windows-1252", "cp1252", "iso-8859-1", "latin1",
                                                      "iso8859-1",    "ascii",  "us-ascii",   "l1"};
    if (!charset.isEmpty() && charset != "utf-8" && charset != "utf8" && !charset.startsWith("utf-16")) {
        if (westernEuropean.contains(charset))
            return CodePage::Decode(bytes).toUtf8();
        const QByteArray converted = Convert(bytes, charset);
        if (!converted.isEmpty() || bytes.isEmpty())
            return converted;
    }
    if (isUtf8 || charset == "utf-8" || charset == "utf8")
        return bytes;
    return CodePage::Decode(bytes).toUtf8();
}

HtmlText::HtmlText(LineWriter &out, DocumentFacts *facts, bool headings)
    : m_out(out)
    , m_facts(facts)
    , m_headings(headings && facts)
{
    m_out.KeepLanguages(facts);
}

qint64 HtmlText::NextLine() const
{
    if (m_break)
        return m_out.AtStart() ? 0 : m_out.Line() + 1;
    return m_lineBreak ? m_out.Line() + 1 : m_out.Line();
}

bool HtmlText::Enter(QStringView name, const Attributes &attributes)
{
    if (!EnterElement(name, attributes))
        return false;
    if (!m_facts)
        return true;
    // xml:lang comes before lang; an empty one says the language is not known.
    QString said = attributes(u"xml:lang");
    if (said.isNull())
        said = attributes(u"lang");
    QString language = m_language;
    if (!said.isNull() && said.trimmed().isEmpty())
        language = u"und"_s;
    else if (const QString tag = LanguageTag(said); !tag.isNull())
        language = tag;
    if (name == u"html" && m_facts->language.isEmpty() && language != u"und")
        m_facts->language = language;
    m_open.emplace_back(name.toString(), m_language);
    m_language = language;
    m_out.SetLanguage(m_language);
    return true;
}

bool HtmlText::EnterElement(QStringView name, const Attributes &attributes)
{
    if (IsSkipped(name) || !attributes(u"hidden").isNull())
        return false;
    const bool pre = name == u"pre" || name == u"listing" || name == u"xmp" || name == u"plaintext";
    if (pre || IsBlock(name) || name == u"hr")
        m_break = true;
    if (!wantedIds.isEmpty()) {
        const QString id = attributes(u"id");
        if (!id.isEmpty() && wantedIds.contains(id) && !idLines.contains(id))
            idLines.insert(id, NextLine());
    }
    if (name == u"title") {
        m_inTitle = true;
        m_title.clear();
        return true;
    }
    if (name == u"meta") {
        if (m_facts && m_facts->author.isEmpty() && attributes(u"name").compare(u"author", Qt::CaseInsensitive) == 0)
            m_facts->author = attributes(u"content").simplified().left(kMaxTitle);
        return false;
    }
    if (name == u"img") {
        // A description that is only the picture's file name says nothing.
        static const QRegularExpression fileName(uR"(^[\w.-]+\.(jpe?g|png|gif|svg|webp|bmp|tiff?)$)"_s,
                                                 QRegularExpression::CaseInsensitiveOption);
        const QString alt = attributes(u"alt").simplified();
        if (!alt.isEmpty() && !fileName.match(alt).hasMatch()) {
            Characters(u" ");
            Characters(alt);
            Characters(u" ");
        }
        return false;
    }
    if (name == u"br") {
        if (!m_break)
            m_lineBreak = true;
        return false;
    }
    if (name == u"hr" || name == u"wbr")
        return false;
    if (pre) {
        ++m_pre;
        m_preStart = true;
        return true;
    }
    if (m_facts && (name == u"li" || name == u"td" || name == u"th"))
        m_facts->AddBlock({NextLine(), name == u"li" ? DocumentBlock::Kind::ListItem : DocumentBlock::Kind::TableCell});
    if (const int level = HeadingLevel(name); level && m_headings && !m_headingLevel) {
        m_headingLevel = level;
        m_headingLine = NextLine();
        m_heading.clear();
    }
    return true;
}

void HtmlText::Leave(QStringView name)
{
    if (!m_open.empty() && m_open.back().first == name) {
        m_language = m_open.back().second;
        m_open.pop_back();
        m_out.SetLanguage(m_language);
    }
    if (name == u"title") {
        m_inTitle = false;
        if (m_facts && m_facts->title.isEmpty())
            m_facts->title = m_title.simplified();
        return;
    }
    if (name == u"pre" || name == u"listing" || name == u"xmp" || name == u"plaintext") {
        m_pre = std::max(0, m_pre - 1);
        m_preLineEnd = false;
        m_break = true;
        return;
    }
    if (IsBlock(name)) {
        m_break = true;
        if (m_headingLevel && HeadingLevel(name) == m_headingLevel) {
            const QString title = m_heading.simplified();
            if (!title.isEmpty())
                m_facts->AddHeading({title, m_headingLevel, m_headingLine});
            m_headingLevel = 0;
        }
    }
}

void HtmlText::Characters(QStringView text)
{
    // A word cut between two pieces stays one word: spaces alone part words.
    constexpr qsizetype kPiece = 16 * 1024;
    while (text.size() > kPiece) {
        Piece(text.left(kPiece));
        text = text.mid(kPiece);
        if (m_clock)
            m_clock->Check();
    }
    Piece(text);
}

void HtmlText::Piece(QStringView text)
{
    if (m_inTitle) {
        if (m_title.size() < kMaxTitle)
            m_title += text.left(kMaxTitle - m_title.size());
        return;
    }
    if (m_pre) {
        if (m_preStart && text.startsWith(u'\n'))
            text = text.mid(1);
        if (text.isEmpty())
            return;
        m_preStart = false;
        if (m_break || m_lineBreak)
            Begin();
        QString lines = text.toString();
        lines.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        if (std::exchange(m_preLineEnd, false))
            lines.prepend(u'\n');
        if (lines.endsWith(u'\n')) {
            lines.chop(1);
            m_preLineEnd = true;
        }
        Emit(lines);
        return;
    }
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        if (IsHtmlSpace(text[i])) {
            m_space = true;
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < n && !IsHtmlSpace(text[i]))
            ++i;
        if (m_break) {
            Begin();
        } else if (m_lineBreak) {
            Emit(u"\n");
            m_lineBreak = false;
        } else if (m_space && m_out.LineHasText()) {
            Emit(u" ");
        }
        m_space = false;
        Emit(text.mid(start, i - start));
    }
}

void HtmlText::Begin()
{
    m_out.Paragraph();
    m_break = false;
    m_lineBreak = false;
    m_space = false;
}

void HtmlText::Emit(QStringView text)
{
    m_out.Text(text);
    if (m_headingLevel && m_heading.size() < kMaxTitle)
        m_heading += text.left(kMaxTitle - m_heading.size());
}
