#include "pipeline/clean.h"

#include "common/codepage.h"

#include <array>

using namespace Qt::StringLiterals;

namespace {

// What the cleaning does with each code-page byte.
enum class Kind : unsigned char { Blank, Kept, Letter, Joiner };

// The letters of Windows-1252, except the florin sign (0x83) and the spacing circumflex
// (0x88), which the engines spell out by their code.
constexpr bool IsLetter(int v)
{
    return (v >= 'a' && v <= 'z') || (v >= 'A' && v <= 'Z') || v == 0x8A || v == 0x8C || v == 0x8E || v == 0x9A
           || v == 0x9C || v == 0x9E || v == 0x9F || v == 0xAA || v == 0xB5 || v == 0xBA
           || (v >= 0xC0 && v != 0xD7 && v != 0xF7);
}

// Digits, the space, the five marks and the signs that the engines read as words
// (percent, dollars, euros, pounds, and).
constexpr bool IsKeptSign(int v)
{
    return (v >= '0' && v <= '9') || v == ' ' || v == '!' || v == ',' || v == '.' || v == ';' || v == '?'
           || v == '%' || v == '$' || v == 0x80 || v == 0xA3 || v == '&';
}

// The apostrophes (' and 0x92) and the hyphen: kept only between two letters.
constexpr bool IsJoiner(int v)
{
    return v == '\'' || v == 0x92 || v == '-';
}

constexpr Kind KindOf(int v)
{
    return IsLetter(v) ? Kind::Letter : IsKeptSign(v) ? Kind::Kept : IsJoiner(v) ? Kind::Joiner : Kind::Blank;
}

// The lower-case letter of the code page for its upper-case ones; every other byte itself.
constexpr int LowerOf(int v)
{
    if ((v >= 'A' && v <= 'Z') || (v >= 0xC0 && v <= 0xDE && v != 0xD7))
        return v + 32;
    if (v == 0x8A || v == 0x8C || v == 0x8E)
        return v + 16;
    return v == 0x9F ? 0xFF : v;
}

// A joiner as a segment holds it: every apostrophe is written as "'".
constexpr char JoinerOf(int v)
{
    return v == '-' ? '-' : '\'';
}

constexpr std::array<Kind, 256> MakeKindTable()
{
    std::array<Kind, 256> table{};
    for (int v = 0; v < 256; ++v)
        table[static_cast<size_t>(v)] = KindOf(v);
    return table;
}
constexpr std::array<Kind, 256> kKinds = MakeKindTable();

// Lower-cases the letters, keeps the kept signs and turns every other byte into a space;
// joiners are decided by their neighbours.
constexpr std::array<char, 256> MakeSegmentTable()
{
    std::array<char, 256> table{};
    for (int v = 0; v < 256; ++v) {
        const Kind kind = KindOf(v);
        table[static_cast<size_t>(v)] = kind == Kind::Letter ? static_cast<char>(LowerOf(v))
                                        : kind == Kind::Kept ? static_cast<char>(v)
                                                             : ' ';
    }
    return table;
}
constexpr std::array<char, 256> kSegmentTable = MakeSegmentTable();

Kind KindOfByte(char byte)
{
    return kKinds[static_cast<unsigned char>(byte)];
}

} // namespace

QByteArray CleanLineForSegment(QByteArray line)
{
    line.replace("&#xa0;", "");
    char *p = line.data();
    const qsizetype n = line.size();
    // A cleaned letter is still a letter, so the left neighbour may be read after its cleaning.
    for (qsizetype i = 0; i < n; ++i) {
        const auto v = static_cast<unsigned char>(p[i]);
        if (kKinds[v] == Kind::Joiner)
            p[i] = i > 0 && i + 1 < n && KindOfByte(p[i - 1]) == Kind::Letter && KindOfByte(p[i + 1]) == Kind::Letter
                       ? JoinerOf(v)
                       : ' ';
        else
            p[i] = kSegmentTable[v];
    }
    return line;
}

namespace {

// The kind of the character at i (a surrogate pair as one): a character of the code page
// by its byte; any other letter or combining mark of any script a letter, a decimal digit
// of any script kept, everything else blank.
Kind KindAt(QStringView line, qsizetype i)
{
    if (i < 0 || i >= line.size())
        return Kind::Blank;
    char32_t c = line[i].unicode();
    if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate())
        c = QChar::surrogateToUcs4(line[i], line[i + 1]);
    else if (line[i].isLowSurrogate() && i > 0 && line[i - 1].isHighSurrogate())
        c = QChar::surrogateToUcs4(line[i - 1], line[i]);
    const int code = CodePage::Asc(c);
    if (code != '?' || c == u'?')
        return kKinds[static_cast<size_t>(code)];
    if (QChar::isLetter(c) || QChar::isMark(c))
        return Kind::Letter;
    return QChar::category(c) == QChar::Number_DecimalDigit ? Kind::Kept : Kind::Blank;
}

} // namespace

QString CleanTextForSpeech(const QString &line)
{
    QString out = line;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const Kind kind = KindAt(line, i);
        if (kind == Kind::Joiner)
            out[i] = KindAt(line, i - 1) == Kind::Letter && KindAt(line, i + 1) == Kind::Letter
                         ? QLatin1Char(JoinerOf(CodePage::Asc(line[i].unicode())))
                         : QChar(u' ');
        else if (kind == Kind::Blank)
            out[i] = u' ';
    }
    return out;
}

QString CleanLineOfAnyScript(QString line)
{
    line.replace(u"&#xa0;"_s, QString());
    // Lower case one character for one, so every position keeps its place.
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            const char32_t lower = QChar::toLower(QChar::surrogateToUcs4(line[i], line[i + 1]));
            if (QChar::requiresSurrogates(lower)) {
                line[i] = QChar(QChar::highSurrogate(lower));
                line[i + 1] = QChar(QChar::lowSurrogate(lower));
            }
            ++i;
        } else if (!line[i].isSurrogate()) {
            line[i] = line[i].toLower();
        }
    }
    return CleanTextForSpeech(line);
}
