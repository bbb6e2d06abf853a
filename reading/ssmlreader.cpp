#include "reading/speechplan.h"
#include "reading/spokenform.h"
#include "reading/xmlguard.h"

#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kSsmlNamespace = u"http://www.w3.org/2001/10/synthesis"_s;
const QString kXmlNamespace = u"http://www.w3.org/XML/1998/namespace"_s;

// What an element and those around it say about the words inside it.
struct Voicing
{
    QString language;
    QString voiceName;
    double rate = 1.0;
    double volume = 1.0;
};

// A rate or volume is at most this many times the chosen one.
constexpr double kMaxRate = 10.0;
constexpr double kMaxVolume = 4.0;

// The first tag of a language attribute.
QString LanguageTag(QStringView value)
{
    return value.toString().simplified().section(u' ', 0, 0);
}

// A rate or volume relative to the enclosing one: words, percentages ("150%", "+20%"),
// decibels ("-6dB") and multipliers ("1.5"); the enclosing one when it is none of those.
double Relative(QStringView value, double enclosing, bool volume);

double Bounded(QStringView value, double enclosing, bool volume)
{
    return std::clamp(Relative(value, enclosing, volume), 0.0, volume ? kMaxVolume : kMaxRate);
}

double Relative(QStringView value, double enclosing, bool volume)
{
    const QString text = value.trimmed().toString().toLower();
    static const QHash<QString, double> rates = {{u"x-slow"_s, 0.5}, {u"slow"_s, 0.75}, {u"medium"_s, 1.0},
                                                 {u"fast"_s, 1.5},   {u"x-fast"_s, 2.0}, {u"default"_s, 1.0}};
    static const QHash<QString, double> volumes = {{u"silent"_s, 0.0}, {u"x-soft"_s, 0.25}, {u"soft"_s, 0.5},
                                                   {u"medium"_s, 1.0}, {u"loud"_s, 1.5},    {u"x-loud"_s, 2.0},
                                                   {u"default"_s, 1.0}};
    const QHash<QString, double> &words = volume ? volumes : rates;
    if (words.contains(text))
        return words.value(text); // the words name a level of the chosen rate or volume
    bool ok = false;
    if (text.endsWith(u'%')) {
        const double percent = QStringView(text).chopped(1).toDouble(&ok);
        if (!ok)
            return enclosing;
        const bool relative = text.startsWith(u'+') || text.startsWith(u'-');
        return std::max(0.0, enclosing * (relative ? 1.0 + percent / 100.0 : percent / 100.0));
    }
    if (volume && text.endsWith(u"db")) {
        const double decibels = QStringView(text).chopped(2).toDouble(&ok);
        return ok ? enclosing * std::pow(10.0, decibels / 20.0) : enclosing;
    }
    const double number = text.toDouble(&ok);
    if (!ok || number < 0)
        return enclosing;
    return volume ? number / 100.0 : enclosing * number;
}

int BreakMs(const QXmlStreamAttributes &attributes)
{
    const QString time = attributes.value(u"time"_s).toString().trimmed().toLower();
    bool ok = false;
    double ms = -1;
    if (time.endsWith(u"ms"))
        ms = QStringView(time).chopped(2).toDouble(&ok);
    else if (time.endsWith(u's'))
        ms = QStringView(time).chopped(1).toDouble(&ok) * 1000.0;
    if (!ok || ms < 0) {
        static const QHash<QString, int> strengths = {{u"none"_s, 0},     {u"x-weak"_s, 100}, {u"weak"_s, 250},
                                                      {u"medium"_s, 500}, {u"strong"_s, 750}, {u"x-strong"_s, 1000}};
        ms = strengths.value(attributes.value(u"strength"_s).toString().trimmed().toLower(), 500);
    }
    return int(std::lround(std::min<double>(ms, SsmlLimits::kMaxBreakMs)));
}

class SsmlReader
{
public:
    SpeechPlan read(QByteArrayView ssml, QString *error)
    {
        QString failure;
        if (ssml.size() > SsmlLimits::kMaxBytes)
            failure = u"the SSML is larger than %1 MiB"_s.arg(SsmlLimits::kMaxBytes >> 20);
        else
            failure = parse(ssml);
        if (error)
            *error = failure;
        return failure.isEmpty() ? m_plan : SpeechPlan();
    }

private:
    QString parse(QByteArrayView ssml)
    {
        QXmlStreamReader reader;
        PrepareXmlReader(reader, ssml);
        m_stack.append(Voicing());
        while (!reader.atEnd()) {
            const QXmlStreamReader::TokenType token = reader.readNext();
            const int depth = int(m_stack.size()) + (token == QXmlStreamReader::StartElement ? 0 : -1);
            if (QString refused = RefusedXmlToken(reader, depth, SsmlLimits::kMaxDepth); !refused.isEmpty())
                return refused;
            switch (token) {
            case QXmlStreamReader::StartElement:
                if (QString refused = start(reader); !refused.isEmpty())
                    return refused;
                break;
            case QXmlStreamReader::EndElement:
                end(reader.name());
                break;
            case QXmlStreamReader::Characters:
                text(reader.text(), {});
                break;
            default:
                break;
            }
        }
        if (reader.hasError())
            return XmlErrorText(reader);
        if (!m_rooted)
            return u"not SSML: no <speak> element"_s;
        closeParagraph();
        return {};
    }

    QString start(QXmlStreamReader &reader)
    {
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (!m_rooted) {
            if (name != u"speak" || reader.namespaceUri() != kSsmlNamespace)
                return u"not SSML: the root is <%1> in the namespace \"%2\", not <speak> in %3"_s
                    .arg(name.toString().left(64), reader.namespaceUri().toString().left(128), kSsmlNamespace);
            m_rooted = true;
            m_plan.language = LanguageTag(attributes.value(kXmlNamespace, u"lang"_s));
            Voicing root;
            root.language = m_plan.language;
            m_stack.append(root);
            return {};
        }
        Voicing voicing = m_stack.last();
        const QString language = LanguageTag(attributes.value(kXmlNamespace, u"lang"_s));
        if (!language.isEmpty())
            voicing.language = language;
        if (name == u"voice") {
            if (attributes.hasAttribute(u"name"_s))
                voicing.voiceName = attributes.value(u"name"_s).toString().simplified();
            const QString languages = LanguageTag(attributes.value(u"languages"_s));
            if (!languages.isEmpty() && language.isEmpty())
                voicing.language = languages;
            m_voiceStarted = true;
        } else if (name == u"prosody") {
            if (attributes.hasAttribute(u"rate"_s))
                voicing.rate = Bounded(attributes.value(u"rate"_s), voicing.rate, false);
            if (attributes.hasAttribute(u"volume"_s))
                voicing.volume = Bounded(attributes.value(u"volume"_s), voicing.volume, true);
        } else if (name == u"p") {
            closeParagraph();
            m_plan.paragraphs.append(SpeechParagraph());
            m_inParagraph = true;
        } else if (name == u"break") {
            pause(BreakMs(attributes), voicing);
        } else if (name == u"sub") {
            const QString alias = attributes.value(u"alias"_s).toString().simplified();
            const QString written = reader.readElementText(QXmlStreamReader::SkipChildElements).simplified();
            text(alias, LexiconHit{0, 0, written, alias, QString()}, voicing);
            return {};
        } else if (name == u"phoneme") {
            const QString alphabet = attributes.value(u"alphabet"_s).toString().trimmed().toLower();
            const QString ipa = attributes.value(u"ph"_s).toString().simplified();
            const QString written = reader.readElementText(QXmlStreamReader::SkipChildElements).simplified();
            if (alphabet == u"ipa" && !ipa.isEmpty())
                text(written, LexiconHit{0, 0, written, QString(), ipa}, voicing);
            else
                text(written, {}, voicing);
            return {};
        } else if (name == u"say-as") {
            const QString interpretAs = attributes.value(u"interpret-as"_s).toString();
            const QString format = attributes.value(u"format"_s).toString();
            const QString content = reader.readElementText(QXmlStreamReader::SkipChildElements);
            const QString said = voicing.language.isEmpty() ? m_plan.language : voicing.language;
            text(SayAs(content.simplified(), interpretAs, format, said), {}, voicing);
            return {};
        } else if (name == u"desc" || name == u"lexicon" || name == u"meta" || name == u"metadata" ||
                   name == u"mark") {
            reader.skipCurrentElement(); // says nothing aloud
            return {};
        }
        m_stack.append(voicing);
        return {};
    }

    void end(QStringView name)
    {
        if (m_stack.size() > 1)
            m_stack.removeLast();
        if (name == u"s")
            m_space = true;
        else if (name == u"p")
            closeParagraph();
        else if (name == u"voice")
            m_voiceEnded = true;
    }

    QString effectiveLanguage(const Voicing &voicing) const
    {
        return voicing.language == m_plan.language ? QString() : voicing.language;
    }

    // The passage the next words go to: the last one when it is spoken alike and no pause
    // or voice came between, else a new one.
    SpeechPassage &passageFor(const Voicing &voicing)
    {
        if (!m_inParagraph) {
            m_plan.paragraphs.append(SpeechParagraph());
            m_inParagraph = true;
        }
        QList<SpeechPassage> &passages = m_plan.paragraphs.last().passages;
        const int rate = int(std::lround(voicing.rate * 100.0));
        const int volume = int(std::lround(voicing.volume * 100.0));
        const QString language = effectiveLanguage(voicing);
        if (passages.isEmpty() || m_voiceStarted || m_voiceEnded || passages.last().pauseAfterMs > 0 ||
            passages.last().language != language || passages.last().voiceName != voicing.voiceName ||
            passages.last().ratePercent != rate || passages.last().volumePercent != volume) {
            SpeechPassage passage;
            passage.language = language;
            passage.voiceName = voicing.voiceName;
            passage.ratePercent = rate;
            passage.volumePercent = volume;
            passages.append(passage);
            m_voiceStarted = false;
            m_voiceEnded = false;
            m_space = false;
        }
        return passages.last();
    }

    void text(QStringView words, const std::optional<LexiconHit> &hit, std::optional<Voicing> voicing = {})
    {
        const Voicing &current = voicing ? *voicing : m_stack.last();
        QString collapsed;
        bool blankBefore = false;
        for (const QChar c : words) {
            if (c.isSpace()) {
                blankBefore = true;
                continue;
            }
            if (blankBefore && !collapsed.isEmpty())
                collapsed += u' ';
            blankBefore = false;
            collapsed += c;
        }
        const bool startsBlank = !words.isEmpty() && words.front().isSpace();
        if (collapsed.isEmpty()) {
            m_space = m_space || blankBefore || startsBlank;
            return;
        }
        SpeechPassage &passage = passageFor(current);
        if (!passage.text.isEmpty() && (m_space || startsBlank))
            passage.text += u' ';
        if (hit) {
            LexiconHit placed = *hit;
            placed.start = passage.text.size();
            placed.length = collapsed.size();
            passage.lexiconHits.append(placed);
        }
        passage.text += collapsed;
        m_space = blankBefore;
    }

    void pause(int ms, const Voicing &voicing)
    {
        if (ms <= 0)
            return;
        // a pause ends the passage before it, unless a voice begins with it
        SpeechPassage *passage = nullptr;
        if (m_inParagraph && !m_plan.paragraphs.last().passages.isEmpty() && !m_voiceStarted)
            passage = &m_plan.paragraphs.last().passages.last();
        else
            passage = &passageFor(voicing);
        passage->pauseAfterMs = std::min(passage->pauseAfterMs + ms, SsmlLimits::kMaxBreakMs);
    }

    void closeParagraph()
    {
        if (m_inParagraph && m_plan.paragraphs.last().passages.isEmpty())
            m_plan.paragraphs.removeLast();
        m_inParagraph = false;
        m_voiceStarted = false;
        m_voiceEnded = false;
        m_space = false;
    }

    SpeechPlan m_plan;
    QList<Voicing> m_stack;
    bool m_rooted = false;
    bool m_inParagraph = false;
    bool m_voiceStarted = false;
    bool m_voiceEnded = false;
    bool m_space = false;
};

} // namespace

SpeechPlan ReadSsml(QByteArrayView ssml, QString *error)
{
    return SsmlReader().read(ssml, error);
}
