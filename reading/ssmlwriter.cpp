#include "reading/sentencebreaks.h"
#include "reading/speechplan.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

bool IsXmlCharacter(char32_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

// Appends text as UTF-8 with &, < and > escaped (and " in an attribute) and the characters
// XML 1.0 cannot hold left out, so that no text opens or closes markup.
void Append(QByteArray &out, QStringView text, bool attribute = false)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            clean += c;
            clean += text[++i];
            continue;
        }
        if (!IsXmlCharacter(c.unicode()))
            continue;
        switch (c.unicode()) {
        case u'&': clean += u"&amp;"_s; break;
        case u'<': clean += u"&lt;"_s; break;
        case u'>': clean += u"&gt;"_s; break;
        case u'"':
            if (attribute) {
                clean += u"&quot;"_s;
                break;
            }
            clean += c;
            break;
        case u'\n':
        case u'\r':
        case u'\t':
            clean += attribute ? u' ' : c;
            break;
        default: clean += c;
        }
    }
    out += clean.toUtf8();
}

QByteArray Attribute(const char *name, QStringView value)
{
    QByteArray out = QByteArray(" ") + name + "=\"";
    Append(out, value, true);
    return out + '"';
}

// The passage's text from from to to, its lexicon hits as <sub> and <phoneme>.
void AppendWords(QByteArray &out, const SpeechPassage &passage, qsizetype from, qsizetype to)
{
    qsizetype at = from;
    for (const LexiconHit &hit : passage.lexiconHits) {
        if (hit.start < at || hit.start >= to || hit.start + hit.length > to)
            continue;
        Append(out, QStringView(passage.text).mid(at, hit.start - at));
        const QStringView spoken = QStringView(passage.text).mid(hit.start, hit.length);
        if (!hit.alias.isEmpty()) {
            out += "<sub" + Attribute("alias", spoken) + '>';
            Append(out, hit.written);
            out += "</sub>";
        } else {
            out += "<phoneme alphabet=\"ipa\"" + Attribute("ph", hit.ipa) + '>';
            Append(out, spoken);
            out += "</phoneme>";
        }
        at = hit.start + hit.length;
    }
    Append(out, QStringView(passage.text).mid(at, to - at));
}

QString VolumeText(int percent)
{
    if (percent <= 0)
        return u"silent"_s;
    const double decibels = 20.0 * std::log10(percent / 100.0);
    return (decibels >= 0 ? u"+"_s : QString()) + QString::number(decibels, 'f', 2) + u"dB"_s;
}

void AppendPassage(QByteArray &out, const SpeechPassage &passage, const QString &planLanguage)
{
    const QString language = passage.language.isEmpty() ? planLanguage : passage.language;
    out += "<voice";
    if (!passage.voiceName.isEmpty())
        out += Attribute("name", passage.voiceName);
    if (!language.isEmpty())
        out += Attribute("languages", language);
    out += '>';
    const bool prosody = passage.ratePercent != 100 || passage.volumePercent != 100;
    if (prosody) {
        out += "<prosody";
        if (passage.ratePercent != 100)
            out += Attribute("rate", QString::number(std::max(passage.ratePercent, 0)) + u'%');
        if (passage.volumePercent != 100)
            out += Attribute("volume", VolumeText(passage.volumePercent));
        out += '>';
    }
    // Sentences, never cut inside a lexicon hit.
    QList<SentenceRange> sentences = SpokenSentences(passage.text, language);
    for (qsizetype k = 0; k + 1 < sentences.size();) {
        const qsizetype end = sentences[k].start + sentences[k].length;
        bool cuts = false;
        for (const LexiconHit &hit : passage.lexiconHits)
            cuts = cuts || (hit.start < sentences[k + 1].start && hit.start + hit.length > end);
        if (cuts) {
            sentences[k].length = sentences[k + 1].start + sentences[k + 1].length - sentences[k].start;
            sentences.removeAt(k + 1);
        } else {
            ++k;
        }
    }
    qsizetype at = 0;
    for (const SentenceRange &sentence : std::as_const(sentences)) {
        AppendWords(out, passage, at, sentence.start);
        out += "<s";
        if (!language.isEmpty())
            out += Attribute("xml:lang", language);
        out += '>';
        AppendWords(out, passage, sentence.start, sentence.start + sentence.length);
        out += "</s>";
        at = sentence.start + sentence.length;
    }
    AppendWords(out, passage, at, passage.text.size());
    if (passage.pauseAfterMs > 0)
        out += "<break time=\"" + QByteArray::number(std::min(passage.pauseAfterMs, SsmlLimits::kMaxBreakMs)) + "ms\"/>";
    if (prosody)
        out += "</prosody>";
    out += "</voice>\n";
}

} // namespace

QByteArray SpeechPlanSsml(const SpeechPlan &plan)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<speak version=\"1.1\" xmlns=\"http://www.w3.org/2001/10/synthesis\"";
    if (!plan.language.isEmpty())
        out += Attribute("xml:lang", plan.language);
    out += ">\n";
    for (const SpeechParagraph &paragraph : plan.paragraphs) {
        out += "<p>\n";
        for (const SpeechPassage &passage : paragraph.passages)
            AppendPassage(out, passage, plan.language);
        out += "</p>\n";
    }
    out += "</speak>\n";
    return out;
}
