#include "pipeline/voicepicker.h"

#include "api/speech.h"
#include "common/statements.h"

using namespace Qt::StringLiterals;

namespace {

QString Base(const QString &tag)
{
    return tag.section(u'-', 0, 0);
}

} // namespace

VoicePicker::VoicePicker(ISpeechEngine &speech, int chosen, QHash<QString, int> chosenFor)
    : m_chosen(chosen)
    , m_chosenFor(std::move(chosenFor))
{
    Quietly([&] {
        for (const QString &language : speech.VoiceLanguages())
            m_languages.append(Normalized(language));
    });
    Quietly([&] { m_names = speech.VoiceDescriptions(); });
    m_chosenLanguage = m_languages.value(std::max(0, chosen));
}

QString VoicePicker::Normalized(const QString &language)
{
    QString tag = language.trimmed().toLower().replace(u'_', u'-');
    static const QHash<QString, QString> kNames = {{u"zh"_s, u"cmn"_s},    {u"zh-cn"_s, u"cmn"_s}, {u"zh-sg"_s, u"cmn"_s},
                                                   {u"zh-tw"_s, u"cmn"_s}, {u"zh-hans"_s, u"cmn"_s},
                                                   {u"zh-hant"_s, u"cmn"_s}, {u"zh-hk"_s, u"yue"_s},
                                                   {u"zh-yue"_s, u"yue"_s}, {u"iw"_s, u"he"_s}, {u"no"_s, u"nb"_s},
                                                   {u"in"_s, u"id"_s}, {u"fil"_s, u"tl"_s}};
    if (const auto known = kNames.constFind(tag); known != kNames.cend())
        return *known;
    if (const auto known = kNames.constFind(Base(tag)); known != kNames.cend())
        return *known;
    return tag;
}

int VoicePicker::VoiceFor(const QString &language) const
{
    if (language.isEmpty())
        return m_chosen;
    const QString tag = Normalized(language);
    const QString base = Base(tag);
    for (const QString &key : {tag, base}) {
        if (const auto mine = m_chosenFor.constFind(key); mine != m_chosenFor.cend())
            return *mine;
    }
    if (!m_chosenLanguage.isEmpty() && Base(m_chosenLanguage) == base)
        return m_chosen;
    if (const qsizetype exact = m_languages.indexOf(tag); exact >= 0)
        return static_cast<int>(exact);
    for (qsizetype i = 0; i < m_languages.size(); ++i) {
        if (Base(m_languages[i]) == base)
            return static_cast<int>(i);
    }
    return kNone;
}

int VoicePicker::Named(const QString &name) const
{
    for (qsizetype i = 0; i < m_names.size() && !name.isEmpty(); ++i) {
        if (m_names[i].trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return kNone;
}

bool VoicePicker::Speaks(int voice, const QString &language) const
{
    return voice >= 0 && voice < m_languages.size() && Base(m_languages[voice]) == Base(Normalized(language));
}

QHash<QString, int> VoicesForLanguages(const QStringList &pairs, const QStringList &voices, QString *error)
{
    QHash<QString, int> chosen;
    for (const QString &pair : pairs) {
        const qsizetype equals = pair.indexOf(u'=');
        const QString language = VoicePicker::Normalized(pair.left(std::max<qsizetype>(0, equals)));
        const QString wanted = pair.mid(equals + 1).trimmed();
        int voice = -1;
        bool ok = false;
        if (const int position = wanted.toInt(&ok); ok && position >= 1 && position <= voices.size())
            voice = position - 1;
        for (qsizetype i = 0; !ok && i < voices.size() && voice < 0; ++i) {
            if (!wanted.isEmpty() && voices[i].contains(wanted, Qt::CaseInsensitive))
                voice = static_cast<int>(i);
        }
        if (equals <= 0 || language.isEmpty() || voice < 0) {
            if (error && error->isEmpty())
                *error = u"a voice for a language is LANG=VOICE, VOICE a position of the voice list or a part of a "_s
                         u"voice's name: "_s
                         + pair;
            continue;
        }
        chosen.insert(language, voice);
    }
    return chosen;
}
