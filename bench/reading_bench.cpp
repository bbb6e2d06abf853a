// The reading stage alone: the spoken form of English prose with numbers, abbreviations
// and addresses, a lexicon's load and lookups, and the SSML of the plan both ways.
//
//   vocatext-reading-bench [characters]      (default 200000)
//
// Prints the median time of each step over five runs and, where espeak-ng is installed,
// the stage's share of a conversion: espeak-ng's time for the same text (timed on a tenth
// of it, written to /dev/null), which a conversion spends at least.
#include "reading/lexicon.h"
#include "reading/speechplan.h"
#include "reading/spokenform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Sentences of 6 to 25 words, one word in eight a number, an amount, a date, a time, an
// abbreviation or an address, the same every run.
QString Prose(qint64 characters)
{
    static const QStringList words = {u"the"_s, u"listener"_s, u"follows"_s, u"every"_s, u"word"_s, u"while"_s,
                                      u"narrator"_s, u"reads"_s, u"a"_s, u"long"_s, u"chapter"_s, u"about"_s,
                                      u"rivers"_s, u"and"_s, u"mountains"_s, u"of"_s, u"distant"_s, u"countries"_s};
    static const QStringList marked = {u"$12.50"_s, u"3/4/2024"_s, u"12:30"_s, u"1,250"_s, u"19th"_s,
                                       u"5 km"_s, u"Dr. Smith"_s, u"p. 14"_s, u"in 1999"_s, u"50%"_s,
                                       u"Henry VIII"_s, u"1990–1995"_s, u"-5 °C"_s, u"www.example.com"_s,
                                       u"e.g."_s, u"St. Paul"_s, u"2.5"_s, u"Chapter IV"_s};
    QString text;
    quint32 state = 12345;
    const auto next = [&state](quint32 range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    while (text.size() < characters) {
        const quint32 count = 6 + next(20);
        QString sentence;
        for (quint32 w = 0; w < count; ++w) {
            if (!sentence.isEmpty())
                sentence += u' ';
            sentence += next(8) == 0 ? marked[next(quint32(marked.size()))] : words[next(quint32(words.size()))];
        }
        sentence[0] = sentence[0].toUpper();
        text += sentence + u". "_s;
    }
    return text.left(characters);
}

double MedianMs(int runs, const std::function<void()> &step)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// espeak-ng's time to speak text into nothing; negative when it is not installed.
double EspeakMs(const QString &text)
{
    const QString program = QStandardPaths::findExecutable(u"espeak-ng"_s);
    if (program.isEmpty())
        return -1;
    QProcess espeak;
    QElapsedTimer timer;
    timer.start();
    espeak.start(program, {u"-q"_s, u"-v"_s, u"en-us"_s, u"--stdin"_s, u"-w"_s, u"/dev/null"_s});
    espeak.write(text.toUtf8());
    espeak.closeWriteChannel();
    if (!espeak.waitForFinished(-1) || espeak.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 characters = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 200'000;
    const QString prose = Prose(characters);

    SpokenText spoken;
    const double spokenMs = MedianMs(5, [&] { spoken = SpokenForm(prose, u"en-US"_s); });
    std::printf("Spoken form, %lld characters of English prose with numbers: %.1f ms (%lld spans, %lld characters "
                "said)\n",
                static_cast<long long>(prose.size()), spokenMs, static_cast<long long>(spoken.spans.size()),
                static_cast<long long>(spoken.text.size()));
    for (const QString &language : {u"en-GB"_s, u"fr"_s, u"de"_s, u"es"_s, u"it"_s})
        std::printf("  the same text as %-5s %9.1f ms\n", qPrintable(language),
                    MedianMs(5, [&] { SpokenForm(prose, language); }));

    QByteArray plain;
    for (int k = 0; k < 10'000; ++k)
        plain += "word" + QByteArray::number(k) + " = said " + QByteArray::number(k) + "\n";
    plain += "narrator = /\xCB\x88n\xC3\xA6re\xC9\xAAt\xC9\x99/\nrivers = rivvers\n";
    LexiconResult lexicon;
    const double loadMs = MedianMs(5, [&] { lexicon = ReadPlainLexicon(plain); });
    const double withLexiconMs = MedianMs(5, [&] { spoken = SpokenForm(prose, u"en-US"_s, &lexicon.lexicon); });
    std::printf("Lexicon of %lld entries: loaded in %.1f ms; spoken form with it %.1f ms (%lld hits)\n",
                static_cast<long long>(lexicon.lexicon.size()), loadMs, withLexiconMs,
                static_cast<long long>(spoken.lexiconHits.size()));

    SpeechPlan plan;
    plan.language = u"en-US"_s;
    for (qsizetype at = 0; at < spoken.text.size(); at += 2000) {
        SpeechPassage passage;
        passage.text = spoken.text.mid(at, 2000);
        for (const LexiconHit &hit : std::as_const(spoken.lexiconHits)) {
            if (hit.start >= at && hit.start + hit.length <= at + passage.text.size())
                passage.lexiconHits.append({hit.start - at, hit.length, hit.written, hit.alias, hit.ipa});
        }
        plan.paragraphs.append({{passage}});
    }
    QByteArray ssml;
    const double writeMs = MedianMs(5, [&] { ssml = SpeechPlanSsml(plan); });
    QString error;
    const double readMs = MedianMs(5, [&] { ReadSsml(ssml, &error); });
    std::printf("SSML of the plan: written in %.1f ms (%lld bytes), read in %.1f ms%s\n", writeMs,
                static_cast<long long>(ssml.size()), readMs, error.isEmpty() ? "" : " (refused)");

    const double espeakMs = EspeakMs(prose.left(prose.size() / 10));
    if (espeakMs > 0) {
        const double conversionMs = espeakMs * 10;
        std::printf("espeak-ng alone needs about %.0f s for the text: the spoken form is %.2f %% of that\n",
                    conversionMs / 1000, 100.0 * spokenMs / (conversionMs + spokenMs));
    }
    return 0;
}
