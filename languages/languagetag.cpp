#include "languages/languagetag.h"

#include <QStringList>

#include <algorithm>

#include <unicode/uscript.h>

using namespace Qt::StringLiterals;

namespace {

// Longer values are no tag a document means: real ones hold a few subtags.
constexpr qsizetype kMaxTagLength = 64;

bool IsAsciiAlnum(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool IsAsciiAlpha(QStringView part)
{
    return std::all_of(part.begin(), part.end(), [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); });
}

} // namespace

ScriptClass CharacterClass(char32_t c)
{
    if (c < 0x80) {
        const char32_t lower = c | 0x20;
        return lower >= U'a' && lower <= U'z' ? ScriptClass::Western : ScriptClass::Neutral;
    }
    UErrorCode error = U_ZERO_ERROR;
    switch (uscript_getScript(static_cast<UChar32>(c), &error)) {
    case USCRIPT_COMMON:
    case USCRIPT_INHERITED:
    case USCRIPT_UNKNOWN:
    case USCRIPT_INVALID_CODE:
        return ScriptClass::Neutral;
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_KATAKANA_OR_HIRAGANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO:
    case USCRIPT_YI:
        return ScriptClass::Asian;
    case USCRIPT_HEBREW:
    case USCRIPT_ARABIC:
    case USCRIPT_SYRIAC:
    case USCRIPT_THAANA:
    case USCRIPT_NKO:
    case USCRIPT_SAMARITAN:
    case USCRIPT_MANDAIC:
    case USCRIPT_DEVANAGARI:
    case USCRIPT_BENGALI:
    case USCRIPT_GURMUKHI:
    case USCRIPT_GUJARATI:
    case USCRIPT_ORIYA:
    case USCRIPT_TAMIL:
    case USCRIPT_TELUGU:
    case USCRIPT_KANNADA:
    case USCRIPT_MALAYALAM:
    case USCRIPT_SINHALA:
    case USCRIPT_THAI:
    case USCRIPT_LAO:
    case USCRIPT_TIBETAN:
    case USCRIPT_MYANMAR:
    case USCRIPT_KHMER:
    case USCRIPT_MONGOLIAN:
        return ScriptClass::Complex;
    default:
        return ScriptClass::Western;
    }
}

QString LanguageTag(QStringView language, QStringView country)
{
    language = language.trimmed();
    country = country.trimmed();
    if (language.isEmpty() || language.size() > kMaxTagLength)
        return QString();
    if (language.compare(u"none", Qt::CaseInsensitive) == 0 || language.compare(u"x-none", Qt::CaseInsensitive) == 0)
        return u"und"_s;
    QString tag = language.toString();
    tag.replace(u'_', u'-');
    if (!tag.contains(u'-') && !country.isEmpty() && country.size() <= 3
        && country.compare(u"none", Qt::CaseInsensitive) != 0)
        tag += u'-' + country.toString();
    const QStringList parts = tag.split(u'-');
    QString out;
    bool singleton = false; // after "x-" or an extension's letter every subtag is lower case
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        if (part.isEmpty() || part.size() > 8 || !std::all_of(part.begin(), part.end(), IsAsciiAlnum))
            return QString();
        if (i == 0 && (!IsAsciiAlpha(part) || (part.size() < 2 && part.compare(u"x", Qt::CaseInsensitive) != 0)))
            return QString();
        if (i > 0)
            out += u'-';
        if (i == 0 || singleton) {
            out += part.toLower();
        } else if (part.size() == 1) {
            singleton = true;
            out += part.toLower();
        } else if (part.size() == 4 && IsAsciiAlpha(part)) {
            out += part.left(1).toUpper() + part.mid(1).toLower();
        } else if ((part.size() == 2 && IsAsciiAlpha(part)) || (part.size() == 3 && part[0].isDigit())) {
            out += part.toUpper();
        } else {
            out += part.toLower();
        }
        if (i == 0 && part.size() == 1)
            singleton = true;
    }
    return out;
}

QString PrimaryLanguage(QStringView tag)
{
    const qsizetype dash = tag.indexOf(u'-');
    return (dash < 0 ? tag : tag.left(dash)).toString().toLower();
}
