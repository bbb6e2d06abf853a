#include "pipeline/cut.h"

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
    }

    bool AtEnd() { return m_file.atEnd(); }

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
};

// One segment file, created afresh (never through a link, readable by the user alone)
// and written in large blocks. A write failure is reported once; what follows for the
// same file is dropped.
class SegmentWriter
{
public:
    void Create(const QString &path)
    {
        Close();
        m_failed = false;
        m_path = path;
        auto created = FileSystem::CreateFresh(path, 0600);
        if (!created)
            Fail(created.Error());
        m_file = std::move(*created);
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
    run(128, [&] { segment.Create(SegmentPath(inputPath, i, u".txt"_s)); });

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
        QByteArray line;
        bool read = false;
        run(138, [&] {
            line = CleanLineForSegment(input->ReadLine());
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
            QByteArray piece = line;
            more = line.size() > characterLimit;
            if (more) {
                const qsizetype blank = line.lastIndexOf(' ', characterLimit - 1);
                const qsizetype cut = blank > 0 ? blank + 1 : characterLimit;
                piece = line.left(cut);
                line = line.mid(cut);
            }
            // Every line ends with a LF, so that each ends a clause of the speech; the LF is
            // not counted.
            run(140, [&] { segment.Write(piece + '\n'); });
            run(142, [&] { c += piece.size(); });
            run(144, [&] { ++j; });
            if (more || !(j < limits.lines && c < characterLimit)) {
                run(148, [&] { ++i; });
                run(150, [&] { segment.Close(); });
                run(154, [&] { segment.Create(SegmentPath(inputPath, i, u".txt"_s)); });
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
    run(102, [&] { writer.Create(SegmentPath(inputPath, piece, u".txt"_s)); });
    auto next = [&] {
        run(104, [&] { writer.Close(); });
        ++piece;
        lines = 0;
        characters = 0;
        run(106, [&] { writer.Create(SegmentPath(inputPath, piece, u".txt"_s)); });
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
        QByteArray line;
        bool read = false;
        run(110, [&] {
            line = CleanLineForSegment(input->ReadLine());
            read = true;
        });
        if (!read)
            break; // a stream that cannot be read is not asked again
        // A line that the last one filled begins the next piece.
        if (lines >= limits.maxLines || (characters > 0 && characters + line.size() > limits.maxCharacters))
            next();
        for (; places && nextWatched < watched.size() && watched[nextWatched] <= inputLine; ++nextWatched)
            places->append({piece, lines});
        ++inputLine;
        // A line longer than a piece goes on in the next at its last blank before the limit.
        while (line.size() > limits.maxCharacters) {
            const qsizetype blank = line.lastIndexOf(' ', limits.maxCharacters - 1);
            const qsizetype cut = blank > 0 ? blank + 1 : limits.maxCharacters;
            run(112, [&] { writer.Write(line.left(cut) + '\n'); });
            line = line.mid(cut);
            next();
        }
        run(112, [&] { writer.Write(line + '\n'); });
        characters += line.size();
        ++lines;
        if (characters >= limits.minCharacters && EndsAPiece(line, limits.spacing)) {
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
