#include "pipeline/speak.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/statements.h"
#include "api/speech.h"
#include "filesystem/filesystem.h"
#include "pipeline/outputfiles.h"
#include "pipeline/shell32.h"
#include "api/resources.h"
#include "api/workingfolder.h"

#include <QElapsedTimer>
#include <QFile>

#include <array>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// What the cleaning does with each code-page byte.
enum class Kind : unsigned char { Blank, Kept, Letter, Joiner };

// The letters of Windows-1252, except the florin sign (0x83) and the spacing circumflex
// (0x88), which the engines spell out by their code.
constexpr bool IsLetter(int v)
{
    return (v >= 'a' && v <= 'z') || (v >= 'A' && v <= 'Z') || v == 0x8A || v == 0x8C || v == 0x8E || v == 0x9A
           || v == 0x9C || v == 0x9E || v == 0x9F || v == 0xAA || v == 0xB5 || v == 0xBA
           || (v >= 0xC0 && v != 0xD7 && v != 0xF7);
}

// Digits, the space, the five marks and the signs that the engines read as words
// (percent, dollars, euros, pounds, and).
constexpr bool IsKeptSign(int v)
{
    return (v >= '0' && v <= '9') || v == ' ' || v == '!' || v == ',' || v == '.' || v == ';' || v == '?'
           || v == '%' || v == '$' || v == 0x80 || v == 0xA3 || v == '&';
}

// The apostrophes (' and 0x92) and the hyphen: kept only between two letters.
constexpr bool IsJoiner(int v)
{
    return v == '\'' || v == 0x92 || v == '-';
}

constexpr Kind KindOf(int v)
{
    return IsLetter(v) ? Kind::Letter : IsKeptSign(v) ? Kind::Kept : IsJoiner(v) ? Kind::Joiner : Kind::Blank;
}

// The lower-case letter of the code page for its upper-case ones; every other byte itself.
constexpr int LowerOf(int v)
{
    if ((v >= 'A' && v <= 'Z') || (v >= 0xC0 && v <= 0xDE && v != 0xD7))
        return v + 32;
    if (v == 0x8A || v == 0x8C || v == 0x8E)
        return v + 16;
    return v == 0x9F ? 0xFF : v;
}

// A joiner as a segment holds it: every apostrophe is written as "'".
constexpr char JoinerOf(int v)
{
    return v == '-' ? '-' : '\'';
}

constexpr std::array<Kind, 256> MakeKindTable()
{
    std::array<Kind, 256> table{};
    for (int v = 0; v < 256; ++v)
        table[static_cast<size_t>(v)] = KindOf(v);
    return table;
}
constexpr std::array<Kind, 256> kKinds = MakeKindTable();

// Lower-cases the letters, keeps the kept signs and turns every other byte into a space;
// joiners are decided by their neighbours.
constexpr std::array<char, 256> MakeSegmentTable()
{
    std::array<char, 256> table{};
    for (int v = 0; v < 256; ++v) {
        const Kind kind = KindOf(v);
        table[static_cast<size_t>(v)] = kind == Kind::Letter ? static_cast<char>(LowerOf(v))
                                        : kind == Kind::Kept ? static_cast<char>(v)
                                                             : ' ';
    }
    return table;
}
constexpr std::array<char, 256> kSegmentTable = MakeSegmentTable();

Kind KindOfByte(char byte)
{
    return kKinds[static_cast<unsigned char>(byte)];
}

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

QByteArray CleanLineForSegment(QByteArray line)
{
    line.replace("&#xa0;", "");
    char *p = line.data();
    const qsizetype n = line.size();
    // A cleaned letter is still a letter, so the left neighbour may be read after its cleaning.
    for (qsizetype i = 0; i < n; ++i) {
        const auto v = static_cast<unsigned char>(p[i]);
        if (kKinds[v] == Kind::Joiner)
            p[i] = i > 0 && i + 1 < n && KindOfByte(p[i - 1]) == Kind::Letter && KindOfByte(p[i + 1]) == Kind::Letter
                       ? JoinerOf(v)
                       : ' ';
        else
            p[i] = kSegmentTable[v];
    }
    return line;
}

QString CleanTextForSpeech(const QString &line)
{
    // The kind of each character by its code-page byte; one outside the code page is blank.
    auto kindAt = [&line](qsizetype i) {
        if (i < 0 || i >= line.size())
            return Kind::Blank;
        const QChar c = line[i];
        const int code = CodePage::Asc(c.unicode());
        return code == '?' && c != u'?' ? Kind::Blank : kKinds[static_cast<size_t>(code)];
    };
    QString out = line;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const Kind kind = kindAt(i);
        if (kind == Kind::Joiner)
            out[i] = kindAt(i - 1) == Kind::Letter && kindAt(i + 1) == Kind::Letter
                         ? QLatin1Char(JoinerOf(CodePage::Asc(line[i].unicode())))
                         : QChar(u' ');
        else if (kind == Kind::Blank)
            out[i] = u' ';
    }
    return out;
}

QString QuotedForCommandLine(const QString &path)
{
    QString escaped = path;
    return u'"' + escaped.replace(u"\""_s, u"\"\"\""_s) + u'"';
}

bool SpeechOutcome::ClassNotRegistered() const
{
    return failed && description == u"Class not registered"_s;
}

bool SpokenWavListed(const QString &wavPath)
{
    const auto status = FileSystem::Stat(wavPath);
    return status && status->kind == FileSystem::Kind::Regular && !GetFileName(wavPath).startsWith(u'.');
}

namespace {

// The error of a statement that uses an object that is not there.
template<typename T>
T &Must(const std::unique_ptr<T> &object)
{
    if (!object)
        throw RuntimeError(u"Object variable or With block variable not set"_s, ErrorNumber::ObjectVariableNotSet);
    return *object;
}

} // namespace

Speak::Speak(const CoreServices &services)
    : m_services(services)
{
}

Speak::~Speak() = default;

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

SpeechOutcome Speak::SaveToWAV(IFailureHandler &reports, const SpeechChoice &choice, QString text,
                              QString wavPath)
{
    Statements run(reports, SiteTag(u"Speak"_s, u"SaveToWAV"_s));
    ISpeechEngine &engine = m_services.Speech();
    std::exception_ptr pending; // a failure of the speak call itself
    QList<qint64> lineStarts;

    run(100, [&] {
        m_renderingVoice.reset();
        m_renderingVoice = engine.CreateVoice();
    });
    if (!run.If(102, [&] { return m_renderingVoice == nullptr; })) {
        if (run.If(104, [&] { return choice.voice != -1; }))
            run(106, [&] { Must(m_renderingVoice).SelectVoice(choice.voice); });
        run(108, [&] { Must(m_renderingVoice).SetVolume(choice.volume); });
        run(110, [&] { Must(m_renderingVoice).SetRate(choice.rate); });
        if (!run.If(112, [&] { return wavPath.isEmpty(); })) {
            std::unique_ptr<IAudioFileStream> stream;
            run(114, [&] { stream = engine.CreateFileStream(); });
            if (!run.If(116, [&] { return stream == nullptr; })) {
                run(118, [&] { Must(stream).SetFormat(AudioFormat{}); });
                run(120, [&] { Must(stream).Open(wavPath); });
                run(122, [&] { Must(m_renderingVoice).SetOutput(stream.get()); });
            }
            run(124, [&] { m_services.Events().Yield(); });
            run.At(126);
            try {
                Must(m_renderingVoice).SpeakFile(text);
            } catch (const Stop &) {
                throw;
            } catch (...) {
                pending = std::current_exception();
            }
            if (pending) {
                // Speech that failed (cut short by a full disk, a voice that cannot be
                // loaded) is never taken for whole: its file goes. The voice stays in the
                // slot until the next call replaces it.
                stream.reset();
                KillFile(m_services.Events(), wavPath);
            } else {
                run(128, [&] { Must(stream).Close(); });
                run(130, [&] { stream.reset(); });
                run(132, [&] { Must(m_renderingVoice).SetOutput(nullptr); });
                lineStarts = m_renderingVoice ? m_renderingVoice->LineStarts() : QList<qint64>();
            }
        } else {
            run.At(134);
            try {
                Must(m_renderingVoice).Speak(text);
            } catch (const Stop &) {
                throw;
            } catch (...) {
                pending = std::current_exception();
            }
        }
        if (!pending)
            run(138, [&] { m_renderingVoice.reset(); });
    }
    if (!pending)
        return {false, QString(), 0, lineStarts};
    return {true, DescribeFailure(pending), FailureNumber(pending), {}};
}

EncoderOutcome Speak::WAVToMP3(IFailureHandler &reports, const QString &wavPath, const QString &mp3Path,
                               const std::function<void()> &onPoll)
{
    Statements run(reports, SiteTag(u"Speak"_s, u"WAVToMP3"_s));
    QString encoder;
    QString arguments;
    QString commandLine;
    EncoderOutcome outcome;
    run(100, [&] { encoder = EncoderPart(WorkingPath(m_services.WorkingFolder(), u"lame.exe"_s)); });
    run(102, [&] { arguments = EncoderArguments(wavPath, mp3Path); });
    run(104, [&] { commandLine = encoder + arguments; });
    // A command line whose encoder part failed starts nothing: its first word would be
    // whatever came after it.
    if (encoder.isEmpty())
        return {kStartFailureBase + ENOENT, QString()};
    run(106, [&] {
        // Started from the file that was checked, never from whatever its name holds by then.
        FileSystem::File program;
        try {
            program = m_services.WorkingFolder().OpenProgram(u"lame.exe"_s,
                                                             m_services.Resources().Load(u"CUSTOM"_s, 101));
        } catch (const RuntimeError &e) {
            outcome = {kStartFailureBase + e.number(), e.description()};
            return;
        }
        outcome.result = ShellAndWait(m_services.Processes(), m_services.Events(), commandLine, 0, onPoll,
                                      &outcome.errorOutput, &program);
    });
    return outcome;
}
