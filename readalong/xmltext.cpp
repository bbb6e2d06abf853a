#include "readalong/xmltext.h"

bool IsTextCharacter(char32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    if (c < 0x7F)
        return true;
    if (c < 0xA0)
        return false; // DEL and the C1 controls: never text, and HTML forbids them
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    if (c >= 0xFDD0 && c <= 0xFDEF)
        return false;
    return (c & 0xFFFE) != 0xFFFE && c <= 0x10FFFF;
}

namespace {

// Calls visit(c) for each code point of text that IsTextCharacter accepts.
template<typename Visit>
void ForEachTextCharacter(QStringView text, Visit visit)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= n || !text[i + 1].isLowSurrogate())
                continue;
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (IsTextCharacter(c))
            visit(c);
    }
}

void AppendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

QString TextCharactersOf(QStringView text)
{
    QString clean;
    clean.reserve(text.size());
    ForEachTextCharacter(text, [&clean](char32_t c) {
        if (QChar::requiresSurrogates(c)) {
            clean.append(QChar(QChar::highSurrogate(c)));
            clean.append(QChar(QChar::lowSurrogate(c)));
        } else {
            clean.append(QChar(static_cast<char16_t>(c)));
        }
    });
    return clean;
}

QString SingleLine(QStringView text)
{
    const QString clean = TextCharactersOf(text);
    QString line;
    line.reserve(clean.size());
    bool blank = false;
    for (const QChar c : clean) {
        if (IsBreakableBlank(c)) {
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

void AppendEscaped(QByteArray &out, QStringView text, bool attribute)
{
    ForEachTextCharacter(text, [&out, attribute](char32_t c) {
        switch (c) {
        case U'&':
            out.append("&amp;");
            break;
        case U'<':
            out.append("&lt;");
            break;
        case U'>':
            out.append("&gt;");
            break;
        case U'"':
            out.append(attribute ? "&quot;" : "\"");
            break;
        default:
            AppendUtf8(out, c);
        }
    });
}

bool IsBreakableBlank(QChar c)
{
    switch (c.unicode()) {
    case 0x00A0: // no-break space
    case 0x2007: // figure space
    case 0x202F: // narrow no-break space
        return false;
    default:
        return c.isSpace();
    }
}

bool EndsClause(QStringView text, qsizetype i)
{
    const auto beforeBlank = [&text, i] { return i + 1 >= text.size() || IsBreakableBlank(text[i + 1]); };
    switch (text[i].unicode()) {
    case u',':
    case u';':
    case u':':
    case 0x060C: // Arabic comma
    case 0x061B: // Arabic semicolon
        return beforeBlank();
    case 0x3001: // ideographic comma
    case 0xFF0C: // full-width comma
    case 0xFF1A: // full-width colon
    case 0xFF1B: // full-width semicolon
    case 0x2013: // en dash
    case 0x2014: // em dash
    case 0x2015: // horizontal bar
        return true;
    case u'-':
        return i > 0 && IsBreakableBlank(text[i - 1]) && beforeBlank();
    default:
        return false;
    }
}
