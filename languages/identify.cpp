#include "languages/identify.h"

#include <QByteArray>

#include <cstdio> // compact_lang_det.h uses FILE without including it
#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

using namespace Qt::StringLiterals;

namespace {

// CLD2's codes as BCP 47: its few old ones renewed, its pseudo-languages (scripts,
// "unknown", jokes) none.
QString Bcp47(CLD2::Language language)
{
    const char *code = CLD2::LanguageCode(language);
    if (!code || language == CLD2::UNKNOWN_LANGUAGE || language == CLD2::TG_UNKNOWN_LANGUAGE)
        return QString();
    const QString tag = QString::fromLatin1(code);
    if (tag == u"iw")
        return u"he"_s;
    if (tag == u"jw")
        return u"jv"_s;
    if (tag == u"un" || tag == u"xxx" || tag.startsWith(u"xx-") || tag.startsWith(u"zz") || tag == u"tlh")
        return QString();
    return tag;
}

CLD2::Language Cld2Language(const QString &tag)
{
    if (tag.isEmpty())
        return CLD2::UNKNOWN_LANGUAGE;
    QString primary = tag.section(u'-', 0, 0).toLower();
    if (primary == u"he")
        primary = u"iw"_s;
    else if (primary == u"jv")
        primary = u"jw"_s;
    return CLD2::GetLanguageFromName(primary.toLatin1().constData());
}

} // namespace

Identified IdentifyLanguage(QStringView text, const QString &hint, qsizetype lookedAt)
{
    if (text.size() > lookedAt && lookedAt > 0)
        text = text.left(text.at(lookedAt - 1).isHighSurrogate() ? lookedAt - 1 : lookedAt);
    const QByteArray utf8 = text.toUtf8();
    CLD2::CLDHints hints = {nullptr, nullptr, CLD2::UNKNOWN_ENCODING, Cld2Language(hint)};
    CLD2::Language top[3];
    int percent[3] = {0, 0, 0};
    double scores[3];
    int letterBytes = 0;
    bool reliable = false;
    CLD2::ExtDetectLanguageSummary(utf8.constData(), static_cast<int>(utf8.size()), true, &hints, 0, top, percent,
                                   scores, nullptr, &letterBytes, &reliable);
    Identified identified;
    identified.language = Bcp47(top[0]);
    if (identified.language.isEmpty())
        return identified;
    identified.percent = percent[0];
    identified.reliable = reliable;
    return identified;
}
