#include "pipeline/cut.h"

#include "common/codepage.h"
#include "common/helpers.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "common/statements.h"
#include "filesystem/filesystem.h"
#include "pipeline/clean.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The input text file, read line by line: a line ends at LF, and a CR before the LF
// belongs to the line end.
class LineReader
{
public:
    explicit LineReader(const QString &path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw RuntimeError(u"File not found: "_s + path + u" ("_s + m_file.errorString() + u')',
                               ErrorNumber::FileNotFound);
        // A text that the code page does not hold is UTF-8 behind its byte-order mark.
        m_utf8 = m_file.peek(3) == QByteArrayView(CodePage::kUtf8Mark);
        if (m_utf8)
            m_file.read(3);
    }

    bool AtEnd() { return m_file.atEnd(); }
    bool Utf8() const { return m_utf8; }

    QByteArray ReadLine()
    {
        QByteArray line = m_file.readLine();
        if (line.isEmpty() && m_file.error() != QFileDevice::NoError)
            throw RuntimeError(u"Input past end of file: "_s + m_file.fileName() + u" ("_s + m_file.errorString()
                                   + u')',
                               ErrorNumber::InputPastEndOfFile);
        if (line.endsWith('\n')) {
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
        }
        return line;
    }

    void Close() { m_file.close(); }

private:
    QFile m_file;
    bool m_utf8 = false;
};

// A line as a segment holds it, cleaned: its bytes in the text's encoding and its length
// in characters.
struct CleanedLine
{
    QByteArray bytes;
    qsizetype characters = 0;
    bool utf8 = false;

    static CleanedLine Of(const QByteArray &raw, bool utf8)
    {
        if (!utf8) {
            QByteArray bytes = CleanLineForSegment(raw);
            const qsizetype size = bytes.size();
            return {std::move(bytes), size, false};
        }
        const QString line = CleanLineOfAnyScript(QString::fromUtf8(raw));
        return {line.toUtf8(), line.size(), true};
    }

    /// Takes the head of at most limit characters, cut after its last blank before the
    /// limit (or at the limit); this keeps the rest.
    CleanedLine TakeHead(qsizetype limit)
    {
        if (!utf8) {
            const qsizetype blank = bytes.lastIndexOf(' ', limit - 1);
            const qsizetype cut = blank > 0 ? blank + 1 : limit;
            CleanedLine head{bytes.left(cut), cut, false};
            bytes = bytes.mid(cut);
            characters = bytes.size();
            return head;
        }
        const QString line = QString::fromUtf8(bytes);
        const qsizetype blank = line.lastIndexOf(u' ', limit - 1);
        qsizetype cut = blank > 0 ? blank + 1 : limit;
        if (cut < line.size() && line[cut].isLowSurrogate())
            --cut; // a pair is never parted
        CleanedLine head{line.left(cut).toUtf8(), cut, true};
        bytes = line.mid(cut).toUtf8();
        characters = line.size() - cut;
        return head;
    }
};

// One segment file, created afresh (never through a link, readable by the user alone)
// and written in large blocks. A write failure is reported once; what follows for the
// same file is dropped.
class SegmentWriter
{
public:
    void Create(const QString &path, bool utf8)
    {
        Close();
        m_failed = false;
        m_path = path;
        auto created = FileSystem::CreateFresh(path, 0600);
        if (!created)
            Fail(created.Error());
        m_file = std::move(*created);
        if (utf8)
            m_buffer = CodePage::kUtf8Mark;
    }

    void Write(const QByteArray &bytes)
    {
        if (m_failed || !m_file.IsOpen())
            return;
        m_buffer.append(bytes);
        if (m_buffer.size() >= 64 * 1024)
            Flush();
    }

    void Close()
    {
        if (!m_file.IsOpen())
            return;
        if (!m_failed)
            Flush();
        const int error = m_file.Close();
        if (!m_failed && error != 0)
            Fail(error);
    }

private:
    void Flush()
    {
        const QByteArray bytes = std::exchange(m_buffer, {});
        if (const int error = m_file.Write(bytes))
            Fail(error);
    }

    [[noreturn]] void Fail(int error)
    {
        m_failed = true;
        m_buffer.clear();
        throw FileSystemError(error, m_path);
    }

    QString m_path;
    FileSystem::File m_file;
    QByteArray m_buffer;
    bool m_failed = false;
};

} // namespace

QString SegmentPath(const QString &inputPath, int number, const QString &extension)
{
    const QString folder = GetFolderPath(inputPath);
    const QString stem = StripExtension(inputPath.mid(folder.size()));
    return folder + stem + QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0')) + extension;
}

SegmentLimits SegmentLimitsForRate(int rate)
{
    if (rate < 0)
        return {1300 + 125 * rate, 500 + 45 * rate};
    return {1300, 500};
}

int CutTextFileFSO(IFailureHandler &reports, IEventLoop &events, const QString &inputPath, SegmentLimits limits,
                   const QList<qint64> &watched, QList<LinePlace> *places)
{
    Statements run(reports, SiteTag(u"Speak"_s, u"CutTextFileFSO"_s));
    run.At(100);
    const qint64 characterLimit = qint64(limits.kilochars) * 1024;
    std::unique_ptr<LineReader> input;
    run(120, [&] { input = std::make_unique<LineReader>(inputPath); });

    // Segment numbers go on past 32 767 rather than lose text.
    int i = 1;
    int j = 1;
    qint64 c = 0;
    SegmentWriter segment;
    const bool utf8 = input && input->Utf8();
    run(128, [&] { segment.Create(SegmentPath(inputPath, i, u".txt"_s), utf8); });

    // The window stays responsive: the cut yields to the event loop every 20 ms of work.
    QElapsedTimer sinceYield;
    sinceYield.start();
    qint64 inputLine = 0;
    qsizetype nextWatched = 0;
    if (places)
        places->clear();
    for (;;) {
        bool atEnd = true;
        run(136, [&] { atEnd = !input || input->AtEnd(); });
        if (atEnd)
            break;
        CleanedLine line;
        bool read = false;
        run(138, [&] {
            line = CleanedLine::Of(input->ReadLine(), utf8);
            read = true;
        });
        if (!read)
            break; // a stream that cannot be read is not asked again
        for (; places && nextWatched < watched.size() && watched[nextWatched] <= inputLine; ++nextWatched)
            places->append({i, j - 1});
        ++inputLine;
        // A line longer than the character limit would outgrow what one WAV file holds: it
        // is cut at its last blank before the limit and goes on in the next segment.
        for (bool more = true; more;) {
            more = line.characters > characterLimit;
            const CleanedLine piece = more ? line.TakeHead(characterLimit) : line;
            // Every line ends with a LF, so that each ends a clause of the speech; the LF is
            // not counted.
            run(140, [&] { segment.Write(piece.bytes + '\n'); });
            run(142, [&] { c += piece.characters; });
            run(144, [&] { ++j; });
            if (more || !(j < limits.lines && c < characterLimit)) {
                run(148, [&] { ++i; });
                run(150, [&] { segment.Close(); });
                run(154, [&] { segment.Create(SegmentPath(inputPath, i, u".txt"_s), utf8); });
                run(162, [&] {
                    j = 1;
                    c = 0;
                });
            }
        }
        if (sinceYield.elapsed() >= 20) {
            events.Yield();
            sinceYield.restart();
        }
    }
    while (places && nextWatched++ < watched.size())
        places->append({i, j - 1});
    run(166, [&] { segment.Close(); });
    run(172, [&] {
        if (input)
            input->Close();
    });
    run(176, [&] { KillFile(events, inputPath); });
    return i;
}

namespace {

// A paragraph that ends a piece: chosen by its own words alone (FNV-1a of its cleaned
// bytes), so the same paragraph ends a piece wherever it stands.
bool EndsAPiece(const QByteArray &cleaned, int spacing)
{
    if (cleaned.trimmed().isEmpty())
        return false;
    quint32 hash = 2166136261u;
    for (const char c : cleaned)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash % static_cast<quint32>(std::max(1, spacing)) == 0;
}

} // namespace

int CutIntoPieces(IFailureHandler &reports, IEventLoop &events, const QString &inputPath, PieceLimits limits,
                  const QList<qint64> &watched, QList<LinePlace> *places)
{
    Statements run(reports, SiteTag(u"Speak"_s, u"CutIntoPieces"_s));
    std::unique_ptr<LineReader> input;
    run(100, [&] { input = std::make_unique<LineReader>(inputPath); });
    int piece = 1;
    int lines = 0;
    qint64 characters = 0;
    SegmentWriter writer;
    const bool utf8 = input && input->Utf8();
    run(102, [&] { writer.Create(SegmentPath(inputPath, piece, u".txt"_s), utf8); });
    auto next = [&] {
        run(104, [&] { writer.Close(); });
        ++piece;
        lines = 0;
        characters = 0;
        run(106, [&] { writer.Create(SegmentPath(inputPath, piece, u".txt"_s), utf8); });
    };
    QElapsedTimer sinceYield;
    sinceYield.start();
    qint64 inputLine = 0;
    qsizetype nextWatched = 0;
    if (places)
        places->clear();
    for (;;) {
        bool atEnd = true;
        run(108, [&] { atEnd = !input || input->AtEnd(); });
        if (atEnd)
            break;
        CleanedLine line;
        bool read = false;
        run(110, [&] {
            line = CleanedLine::Of(input->ReadLine(), utf8);
            read = true;
        });
        if (!read)
            break; // a stream that cannot be read is not asked again
        // A line that the last one filled begins the next piece.
        if (lines >= limits.maxLines || (characters > 0 && characters + line.characters > limits.maxCharacters))
            next();
        for (; places && nextWatched < watched.size() && watched[nextWatched] <= inputLine; ++nextWatched)
            places->append({piece, lines});
        ++inputLine;
        // A line longer than a piece goes on in the next at its last blank before the limit.
        while (line.characters > limits.maxCharacters) {
            const CleanedLine head = line.TakeHead(limits.maxCharacters);
            run(112, [&] { writer.Write(head.bytes + '\n'); });
            next();
        }
        run(112, [&] { writer.Write(line.bytes + '\n'); });
        characters += line.characters;
        ++lines;
        if (characters >= limits.minCharacters && EndsAPiece(line.bytes, limits.spacing)) {
            bool more = false;
            run(108, [&] { more = input && !input->AtEnd(); });
            if (more)
                next();
        }
        if (sinceYield.elapsed() >= 20) {
            events.Yield();
            sinceYield.restart();
        }
    }
    while (places && nextWatched++ < watched.size())
        places->append({piece, lines});
    run(114, [&] { writer.Close(); });
    run(116, [&] {
        if (input)
            input->Close();
    });
    run(118, [&] { KillFile(events, inputPath); });
    return piece;
}
