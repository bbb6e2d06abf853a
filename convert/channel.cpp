#include "convert/channel.h"

#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;

namespace Channel {

QByteArray Line(const QStringList &words)
{
    QByteArray line;
    for (const QString &word : words) {
        if (!line.isEmpty())
            line += ' ';
        // Paths are passed as the bytes the file system knows them by.
        line += FileSystem::NativeName(word).toPercentEncoding();
    }
    return line + '\n';
}

QStringList Words(const QByteArray &line)
{
    QStringList words;
    for (const QByteArray &word : line.split(' '))
        words.append(FileSystem::NameFromNative(QByteArray::fromPercentEncoding(word)));
    return words;
}

QStringList PiecesAnswer(const TextFacts &facts)
{
    QStringList answer{u"pieces"_s, QString::number(facts.pieces), facts.title, facts.author, facts.language};
    for (qsizetype k = 0; k < facts.headings.size() && k < facts.places.size(); ++k)
        answer << QString::number(facts.headings[k].line) << QString::number(facts.places[k].segment)
               << QString::number(facts.places[k].line) << facts.headings[k].title;
    return answer;
}

TextFacts PiecesOf(const QStringList &words)
{
    TextFacts facts{std::max(1, words.value(1).toInt()), words.value(2), words.value(3), words.value(4), {}, {}};
    for (qsizetype k = 5; k + 3 < words.size(); k += 4) {
        facts.headings.append({words[k + 3], 1, words[k].toLongLong()});
        facts.places.append({words[k + 1].toInt(), words[k + 2].toInt()});
    }
    return facts;
}

QStringList SpokenAnswer(int piece, const SpokenFacts &facts)
{
    // The scripts no voice speaks are names of one word each ("Tibetan", "Ol_Chiki").
    QStringList answer{u"spoken"_s, QString::number(piece), QString::number(facts.seconds, 'f', 3),
                       u"-"_s + facts.unspoken.join(u',')};
    for (const qint64 start : facts.lineStarts)
        answer << QString::number(start);
    return answer;
}

SpokenFacts SpokenOf(const QStringList &words)
{
    SpokenFacts facts{{}, words.value(2).toDouble(), words.value(3).mid(1).split(u',', Qt::SkipEmptyParts)};
    for (qsizetype k = 4; k < words.size(); ++k)
        facts.lineStarts.append(words[k].toLongLong());
    return facts;
}

QStringList FailedAnswer(const JobOutcome &outcome)
{
    return {u"failed"_s, QString::number(static_cast<int>(outcome.step)), QString::number(outcome.number),
            outcome.VoiceCannotLoad() ? u"The voice cannot be loaded ("_s + outcome.description + u')'
                                      : outcome.description};
}

QString FailureOf(const QStringList &words)
{
    return words.value(3) + u" (while "_s + StepWords(static_cast<JobStep>(words.value(1).toInt())) + u')';
}

} // namespace Channel
