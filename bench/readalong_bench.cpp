// The read-along side alone: sentences, subtitle cues and the EPUB with media overlays of a
// generated book, nothing else.
//
//   vocatext-readalong-bench [characters] [chapters]      (default 200000 in 40 chapters)
//
// Prints the median time of each step over five runs, the EPUB's size with tiny audio files
// and with audio files as large as the book's speech would be (32 kbit/s, 15 characters a
// second), then the same for a book of 100 000 sentences, and the peak memory.
#include "readalong/cues.h"
#include "readalong/epubwriter.h"
#include "readalong/sentences.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kCharactersPerSecond = 15;
constexpr qint64 kAudioBytesPerSecond = 4000;

// Sentences of 6 to 25 words from a small vocabulary, the same every run; every fifth
// sentence has a clause.
QString Text(qint64 characters)
{
    static const QStringList words = {u"the"_s, u"listener"_s, u"follows"_s, u"every"_s, u"word"_s, u"while"_s,
                                      u"narrator"_s, u"reads"_s, u"a"_s, u"long"_s, u"chapter"_s, u"about"_s,
                                      u"rivers"_s, u"and"_s, u"mountains"_s, u"of"_s, u"distant"_s, u"countries"_s};
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
                sentence += w == count / 2 && next(5) == 0 ? u", "_s : u" "_s;
            sentence += words[next(static_cast<quint32>(words.size()))];
        }
        sentence[0] = sentence[0].toUpper();
        text += sentence + u". "_s;
    }
    return text;
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

double PeakMemoryMiB()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// A book of the text's sentences in chapters of paragraphs of five sentences, every
// chapter beginning with a heading, timed at kCharactersPerSecond.
ReadAlongBook Book(const QString &text, const QList<TextSpan> &spans, int chapters, const QStringList &audio)
{
    ReadAlongBook book;
    book.title = u"A generated book"_s;
    book.author = u"Vocatext"_s;
    book.language = u"en"_s;
    book.narrator = u"espeak-ng English"_s;
    const qsizetype perChapter = (spans.size() + chapters - 1) / chapters;
    for (qsizetype first = 0; first < spans.size(); first += perChapter) {
        ReadAlongChapter chapter;
        chapter.title = u"Chapter %1"_s.arg(book.chapters.size() + 1);
        chapter.audioPath = audio[book.chapters.size() % audio.size()];
        ReadAlongBlock heading;
        heading.kind = ReadAlongBlock::Kind::Heading;
        heading.sentences = {{chapter.title, 0, 1000}};
        chapter.blocks.append(heading);
        qint64 at = 1000;
        for (qsizetype k = first; k < std::min(first + perChapter, spans.size()); ++k) {
            if ((k - first) % 5 == 0)
                chapter.blocks.append(ReadAlongBlock());
            const QString sentence = text.mid(spans[k].start, spans[k].length);
            const qint64 ms = sentence.size() * 1000 / kCharactersPerSecond;
            chapter.blocks.last().sentences.append({sentence, at, at + ms});
            at += ms + 300;
        }
        chapter.durationMs = at;
        book.chapters.append(chapter);
    }
    return book;
}

void WriteAudio(const QString &path, qint64 bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const QByteArray block(1 << 16, '\x55');
    for (qint64 left = bytes; left > 0; left -= block.size())
        file.write(block.constData(), std::min<qint64>(left, block.size()));
}

void Report(const char *what, const QString &text, int chapters, int runs, const QString &folder)
{
    std::printf("%s: %lld characters in %d chapters\n", what, static_cast<long long>(text.size()), chapters);
    QList<TextSpan> spans;
    const double sentencesMs = MedianMs(runs, [&] { spans = Sentences(text, u"en"_s); });
    std::printf("  sentences (ICU)             %9.1f ms  %lld sentences\n", sentencesMs,
                static_cast<long long>(spans.size()));

    const QString tiny = folder + u"/tiny.mp3"_s;
    WriteAudio(tiny, 4096);
    ReadAlongBook book = Book(text, spans, chapters, {tiny});
    QList<TimedSentence> timed;
    qint64 offset = 0;
    for (const ReadAlongChapter &chapter : book.chapters) {
        for (const ReadAlongBlock &block : chapter.blocks) {
            for (const TimedSentence &sentence : block.sentences)
                timed.append({sentence.text, offset + sentence.startMs, offset + sentence.endMs});
        }
        offset += chapter.durationMs;
    }
    QList<Cue> cues;
    const double cuesMs = MedianMs(runs, [&] { cues = SubtitleCues(timed); });
    QByteArray srt;
    QByteArray lrc;
    const double srtMs = MedianMs(runs, [&] { srt = SrtText(cues); });
    const double lrcMs = MedianMs(runs, [&] { lrc = LrcText(cues, book.title, book.narrator); });
    std::printf("  cues                        %9.1f ms  %lld cues\n", cuesMs, static_cast<long long>(cues.size()));
    std::printf("  SRT text                    %9.1f ms  %lld bytes\n", srtMs, static_cast<long long>(srt.size()));
    std::printf("  LRC text                    %9.1f ms  %lld bytes\n", lrcMs, static_cast<long long>(lrc.size()));

    const QString epub = folder + u"/book.epub"_s;
    const double tinyMs = MedianMs(runs, [&] {
        const ReadAlongResult result = WriteReadAlongEpub(book, epub);
        if (!result.ok)
            std::printf("  refused: %s\n", qPrintable(result.error));
    });
    std::printf("  EPUB, 4 KiB audio files     %9.1f ms  %lld bytes\n", tinyMs,
                static_cast<long long>(QFileInfo(epub).size()));

    QStringList audio;
    for (const ReadAlongChapter &chapter : book.chapters) {
        audio.append(folder + u"/chapter%1.mp3"_s.arg(audio.size() + 1));
        WriteAudio(audio.last(), chapter.durationMs / 1000 * kAudioBytesPerSecond);
    }
    book = Book(text, spans, chapters, audio);
    const double fullMs = MedianMs(runs, [&] { WriteReadAlongEpub(book, epub); });
    std::printf("  EPUB, full-size audio files %9.1f ms  %lld bytes\n", fullMs,
                static_cast<long long>(QFileInfo(epub).size()));
    for (const QString &path : audio)
        QFile::remove(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 characters = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 200'000;
    const int chapters = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 40;
    QTemporaryDir folder;
    Report("Book", Text(characters), chapters, 5, folder.path());
    Report("100 000 sentences", u"Go on. "_s.repeated(100'000), 100, 3, folder.path());
    std::printf("Peak memory: %.0f MiB\n", PeakMemoryMiB());
    return 0;
}
