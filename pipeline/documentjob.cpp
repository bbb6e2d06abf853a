#include "pipeline/documentjob.h"

#include "api/processes.h"
#include "api/speech.h"
#include "api/workingfolder.h"
#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "filesystem/filesystem.h"
#include "pipeline/commandline.h"
#include "pipeline/encoder.h"
#include "pipeline/tags.h"
#include "pipeline/writer1.h"

#include "audio/cover.h"
#include "audio/oggopus.h"
#include "readalong/cues.h"
#include "readalong/sentences.h"

#include <QFile>

#include <algorithm>
#include <cmath>

#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// A file that a program wrote: a regular file with something in it.
bool HoldsSomething(const QString &path)
{
    const auto status = Fs::LinkStat(path);
    return status && status->kind == Fs::Kind::Regular && status->size > 0;
}

QString WithCause(const QString &what, const QString &errorOutput)
{
    const QString line = LastErrorLine(errorOutput);
    return line.isEmpty() ? what : what + u": "_s + line;
}

JobOutcome Failed(JobStep step, const QString &description)
{
    return JobOutcome::Failure(step, ErrorNumber::PathFileAccessError, description);
}

// ffmpeg's command line that makes an M4B audiobook (AAC in MP4) of the tagged MP3, with
// the tags and chapters of its ID3 frames (no text of theirs passes through a format that
// needs escapes); the index at the front, so players start at once.
QString AudiobookCommandLine(const QString &ffmpeg, const QString &mp3, const QString &language,
                             const QString &target)
{
    QString line = QuotedForCommandLine(ffmpeg) + u" -nostdin -hide_banner -loglevel error -y -i "_s
                   + QuotedForCommandLine(mp3)
                   + u" -map 0:a -map 0:v? -map_metadata 0 -map_chapters 0 -c:a aac -b:a 48k -c:v copy"_s
                     u" -disposition:v attached_pic"_s;
    if (!language.isEmpty())
        line += u" -metadata:s:a:0 language="_s + language;
    return line + u" -f ipod -brand \"M4B \" -movflags +faststart "_s + QuotedForCommandLine(target);
}

// The chapters that ffprobe finds in a file, written to listing on the way; -1 when it
// cannot tell.
int ChaptersOf(IProcessRunner &processes, const QString &ffprobe, const QString &file, const QString &listing)
{
    Started probe = StartChild(processes, QuotedForCommandLine(ffprobe)
                                              + u" -v error -show_entries chapter=id -of csv=p=0 -o "_s
                                              + QuotedForCommandLine(listing) + u' ' + QuotedForCommandLine(file));
    if (!probe.child)
        return -1;
    int code = kStillActive;
    for (int waited = 0; (code = probe.child->ExitCode()) == kStillActive && waited < 60000; waited += 10)
        ::usleep(10000);
    if (code != 0) {
        probe.child->Stop();
        return -1;
    }
    const auto listed = Fs::ReadFile(listing, 1 << 24);
    Fs::Remove(listing);
    return listed ? static_cast<int>(listed->count('\n')) : -1;
}

} // namespace

void NameTheVoice(ISpeechEngine &speech, JobSetup &setup)
{
    Quietly([&] {
        const QStringList voices = speech.VoiceDescriptions();
        setup.voiceDescription = voices.value(setup.choice.voice, voices.value(0));
        setup.voiceLanguage = speech.VoiceLanguage(setup.choice.voice);
    });
}

DocumentJob::DocumentJob(JobSetup setup, const CoreServices &services, IFailureHandler &reports)
    : m_setup(std::move(setup))
    , m_services(services)
    , m_reports(reports)
    , m_workspace(m_setup.workspace)
{
}

DocumentJob::~DocumentJob()
{
    if (!m_finished)
        Cancel();
}

template<typename F>
JobOutcome DocumentJob::Step(JobStep step, F &&work)
{
    try {
        work();
        return JobOutcome::Done();
    } catch (const StepStopped &stopped) {
        JobOutcome outcome = stopped.outcome();
        outcome.step = step;
        return outcome;
    } catch (const Stop &) {
        throw;
    } catch (...) {
        return JobOutcome::Of(step, std::current_exception());
    }
}

QString DocumentJob::Workspace()
{
    if (m_workspace.isEmpty()) {
        if (m_setup.ownWorkspace) {
            m_workspace = m_services.WorkingFolder().MakeJobFolder();
            m_ownWorkspace = true;
        } else {
            return m_services.WorkingFolder().Path(); // read afresh, as every working path is
        }
    }
    return m_workspace;
}

QString DocumentJob::TextPath()
{
    return Workspace() + u"/output.txt"_s;
}

QString DocumentJob::PiecePath(int piece, const QString &extension)
{
    return SegmentPath(TextPath(), piece, extension);
}

JobOutcome DocumentJob::PrepareWorkspace()
{
    return Step(JobStep::Text, [&] { Workspace(); });
}

void DocumentJob::ClearStale(const CoreServices &services)
{
    IEventLoop &events = services.Events();
    KillFile(events, WorkingPath(services.WorkingFolder(), u"output.wav"_s));
    // A document text left by an earlier run that was cut short is never taken for this one's.
    KillFile(events, WorkingPath(services.WorkingFolder(), u"output.txt"_s));
}

JobOutcome DocumentJob::ReadText()
{
    return Step(JobStep::Text, [&] {
        ExtractDocumentText(m_services.Reader(), TextPath(), m_setup.document, &m_facts);
        std::stable_sort(m_facts.headings.begin(), m_facts.headings.end(),
                         [](const DocumentHeading &a, const DocumentHeading &b) { return a.line < b.line; });
        if (m_facts.headings.size() > kMaxDocumentHeadings)
            m_facts.headings.resize(kMaxDocumentHeadings);
    });
}

bool DocumentJob::HasText()
{
    bool there = false;
    Quietly([&] { there = FileExists(TextPath()); });
    return there;
}

JobOutcome DocumentJob::PlanOutput(const QString &outputPath, bool removeLeft)
{
    m_output = outputPath;
    if (const QString problem = OutputPathProblem(outputPath); !problem.isEmpty())
        return Failed(JobStep::Output, problem);
    const auto input = Fs::Stat(m_setup.document);
    const auto output = Fs::Stat(outputPath);
    if (input && output && input->SameFileAs(*output)) // notes.txt written as its own text
        return Failed(JobStep::Output, u"The output would be written over the document itself: "_s + outputPath
                                           + u". Convert it into another folder."_s);
    // A text of the user's own stands where the document's text would go: never replaced.
    if (m_setup.form == OutputForm::Txt && output && !Fs::IsProgramOutput(outputPath))
        return Failed(JobStep::Output, outputPath + u" is a file of yours, not one that Vocatext wrote, so it is left "_s
                                           u"as it is. Convert into another folder."_s);
    if (removeLeft)
        RemoveLeftPartials(outputPath);
    return JobOutcome::Done();
}

JobOutcome DocumentJob::Cut()
{
    return Step(JobStep::Segments, [&] {
        // Read along, the document's own words are kept: the cues show them, not the cleaned ones.
        if (m_setup.readAlong) {
            const auto text = Fs::ReadFile(TextPath(), qint64(1) << 31);
            if (!text)
                throw FileSystemError(text.Error(), TextPath());
            if (const int error = Fs::WriteReplacing(Workspace() + u"/document.txt"_s, *text, 0600))
                throw FileSystemError(error, Workspace() + u"/document.txt"_s);
        }
        QList<LinePlace> places;
        const QList<qint64> watched = ChapterClock::WatchedLines(m_facts.headings);
        const int pieces = m_setup.pieces ? CutIntoPieces(m_reports, m_services.Events(), TextPath(), *m_setup.pieces,
                                                          watched, &places)
                                          : CutTextFileFSO(m_reports, m_services.Events(), TextPath(), m_setup.limits,
                                                           watched, &places);
        TakeText({pieces, m_facts.title, m_facts.author, m_facts.language, m_facts.headings, places});
    });
}

void DocumentJob::TakeText(const TextFacts &facts)
{
    m_text = facts;
    m_facts.title = facts.title;
    m_facts.author = facts.author;
    m_facts.language = facts.language;
    m_facts.headings = facts.headings;
    m_clock = ChapterClock(facts.headings, facts.places);
    m_encoded.assign(static_cast<size_t>(std::max(0, facts.pieces)), 0);
    m_spoken.assign(static_cast<size_t>(std::max(0, facts.pieces)), SpokenFacts());
    m_keys.assign(static_cast<size_t>(std::max(0, facts.pieces)), QByteArray());
}

JobOutcome DocumentJob::SpeakPiece(class Speak &speak, int piece)
{
    return Step(JobStep::Speech, [&] {
        const QString wav = PiecePath(piece, u".wav"_s);
        KillFile(m_services.Events(), wav);
        // Read along, every sentence is a line of its own, so that the engine says where it begins.
        const QList<Passage> sentences{{-1, m_setup.readAlong ? SpeechText(piece) : QString(), false}};
        const SpeechOutcome spoken = speak.SaveToWAV(m_reports, m_setup.choice, PiecePath(piece, u".txt"_s), wav,
                                                     m_setup.readAlong ? &sentences : nullptr);
        if (spoken.failed)
            throw RuntimeError(spoken.description, spoken.number);
        const auto status = Fs::Stat(wav);
        const double seconds = status ? static_cast<double>(std::max<qint64>(0, status->size - 44)) / 2 / 22050 : 0;
        if (m_setup.checkSpeech)
            CheckSpeech(piece, wav, seconds);
        TakeSpoken(piece, {spoken.lineStarts, seconds});
    });
}

void DocumentJob::CheckSpeech(int piece, const QString &wav, double seconds)
{
    const auto bytes = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 26);
    int words = 0;
    if (bytes) {
        const QString text = CodePage::DecodeWorkingText(*bytes);
        for (const QStringView word : QStringView(text).split(u' ', Qt::SkipEmptyParts))
            words += std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); });
    }
    if (words == 0 || m_setup.choice.volume == 0)
        return; // nothing to say, or silence asked for
    // Speech is heard: some sample stands above the breath of an "h" (0.5 % of full scale).
    QFile file(wav);
    int loudest = 0;
    if (file.open(QIODevice::ReadOnly) && file.seek(44)) {
        for (QByteArray block; !(block = file.read(1 << 16)).isEmpty();) {
            const auto *samples = reinterpret_cast<const qint16 *>(block.constData());
            for (qsizetype i = 0; i < block.size() / 2; ++i)
                loudest = std::max(loudest, std::abs(int(samples[i])));
        }
    }
    if (loudest < std::max(1, 164 * m_setup.choice.volume / 100))
        throw RuntimeError(u"Piece "_s + QString::number(piece) + u" has "_s + QString::number(words)
                               + u" words, but its speech is silent"_s,
                           ErrorNumber::UnexpectedError);
    // A voice says its words at its rate; a quarter of that time is speech cut short.
    const double least = words * 60.0 / WordsPerMinute(m_setup.choice.rate) / 4;
    if (seconds < least)
        throw RuntimeError(u"Piece "_s + QString::number(piece) + u" has "_s + QString::number(words)
                               + u" words, but its speech lasts only "_s + QString::number(seconds, 'f', 1)
                               + u" s: it was cut short"_s,
                           ErrorNumber::UnexpectedError);
}

bool DocumentJob::HasSpeech(int piece)
{
    bool there = false;
    Quietly([&] { there = SpokenWavListed(PiecePath(piece, u".wav"_s)); });
    return there;
}

SpokenFacts DocumentJob::Spoken(int piece) const
{
    return piece >= 1 && piece <= static_cast<int>(m_spoken.size()) ? m_spoken[static_cast<size_t>(piece - 1)]
                                                                     : SpokenFacts();
}

QString DocumentJob::SpeechText(int piece, QList<int> *sentenceLines)
{
    const auto bytes = Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 30);
    if (!bytes)
        throw FileSystemError(bytes.Error(), PiecePath(piece, u".txt"_s));
    const QString text = CodePage::DecodeWorkingText(*bytes);
    QString spoken;
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QStringList own = OwnWords(piece);
    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QString &line = lines[k];
        const QList<TextSpan> spans = SentencesOf(own.value(k));
        for (const TextSpan &span : spans)
            spoken += line.mid(span.start, span.length) + u'\n';
        if (spans.isEmpty())
            spoken += line + u'\n';
        if (sentenceLines)
            sentenceLines->append(std::max<int>(1, static_cast<int>(spans.size())));
    }
    return spoken;
}

QStringList DocumentJob::OwnWords(int piece)
{
    if (m_documentLines.isEmpty()) {
        const auto document = Fs::ReadFile(Workspace() + u"/document.txt"_s, qint64(1) << 31);
        if (!document)
            throw FileSystemError(document.Error(), Workspace() + u"/document.txt"_s);
        m_documentLines = CodePage::DecodeWorkingText(*document).replace(u"&#xa0;"_s, QString()).split(u'\n');
    }
    qsizetype original = 0;
    qsizetype offset = 0;
    QStringList own;
    for (int p = 1; p <= piece; ++p) {
        const auto bytes = Fs::ReadFile(PiecePath(p, u".txt"_s), qint64(1) << 30);
        if (!bytes)
            throw FileSystemError(bytes.Error(), PiecePath(p, u".txt"_s));
        QStringList lines = CodePage::DecodeWorkingText(*bytes).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (const QString &line : std::as_const(lines)) {
            const QString &whole = m_documentLines.value(original);
            if (p == piece)
                own.append(whole.mid(offset, line.size()));
            offset += line.size();
            if (offset >= whole.size()) {
                ++original;
                offset = 0;
            }
        }
    }
    return own;
}

QList<TextSpan> DocumentJob::SentencesOf(const QString &ownWords)
{
    return Sentences(ownWords, SpeechLanguage());
}

QString DocumentJob::SpeechLanguage() const
{
    if (!m_facts.language.isEmpty())
        return m_facts.language;
    return m_setup.language.isEmpty() ? m_setup.voiceLanguage : m_setup.language;
}

void DocumentJob::TakeSpoken(int piece, const SpokenFacts &facts)
{
    if (piece < 1)
        return;
    QList<qint64> lineStarts = facts.lineStarts;
    if (m_setup.readAlong) {
        // The engine heard sentences as lines: a line of the piece begins with its first sentence.
        QList<int> layout;
        Quietly([&] { SpeechText(piece, &layout); });
        lineStarts.clear();
        qsizetype at = 0;
        for (const int count : std::as_const(layout)) {
            lineStarts.append(facts.lineStarts.value(at, facts.lineStarts.isEmpty() ? 0 : facts.lineStarts.last()));
            at += count;
        }
        if (piece > static_cast<int>(m_sentenceStarts.size()))
            m_sentenceStarts.resize(static_cast<size_t>(piece));
        m_sentenceStarts[static_cast<size_t>(piece - 1)] = facts.lineStarts;
    }
    m_clock.Spoken(piece, lineStarts);
    m_seconds += facts.seconds;
    if (piece > static_cast<int>(m_spoken.size()))
        m_spoken.resize(static_cast<size_t>(piece));
    m_spoken[static_cast<size_t>(piece - 1)] = facts;
}

JobOutcome DocumentJob::StartEncoder(IProcessRunner &processes, const EncoderProgram &encoder, int piece,
                                     Started &started)
{
    return Step(JobStep::Encoding, [&] {
        QString target;
        if (m_text.pieces == 1) {
            m_partial.Create(m_output);
            target = m_partial.Path();
        } else {
            // Made afresh: nothing that stands at its name is written through.
            target = PiecePath(piece, u".mp3"_s);
            if (auto made = Fs::CreateFresh(target, 0600); !made)
                throw FileSystemError(made.Error(), target);
        }
        started = StartChild(processes, EncoderCommandLine(encoder.Path(), PiecePath(piece, u".wav"_s), target),
                             &encoder.Program());
    });
}

JobOutcome DocumentJob::Encoded(int piece, const ChildEnd &end)
{
    QString wav;
    QString target;
    Quietly([&] {
        wav = PiecePath(piece, u".wav"_s);
        target = m_text.pieces == 1 ? m_partial.Path() : PiecePath(piece, u".mp3"_s);
    });
    QString failure;
    if (!end.Started())
        failure = u"The MP3 encoder could not be started"_s
                  + (end.errorOutput.isEmpty() ? QString() : u": "_s + end.errorOutput);
    else if (end.exitCode != 0 && Fs::IsFull(GetFolderPath(target)))
        failure = u"The MP3 file cannot be written, the disk is full: "_s + target;
    else if (end.exitCode != 0)
        failure = WithCause(u"The MP3 encoder failed (exit code "_s + QString::number(end.exitCode) + u") on "_s + wav,
                            end.errorOutput);
    else if (!HoldsSomething(target))
        failure = WithCause(u"The MP3 encoder wrote no MP3 file to "_s + target, end.errorOutput);
    KillFile(m_services.Events(), wav);
    if (!failure.isEmpty()) {
        if (m_text.pieces == 1)
            m_partial.Remove();
        else
            Fs::Remove(target);
        return Failed(JobStep::Encoding, failure);
    }
    if (m_text.pieces == 1)
        m_partial.Hold();
    try {
        const qint64 samples = Mp3Samples(target);
        m_clock.Encoded(piece, samples);
        m_encodedSamples += samples;
    } catch (const RuntimeError &) {
        // A piece that cannot be read fails the join; the tags say so for one piece.
    }
    if (piece >= 1 && piece <= static_cast<int>(m_encoded.size()))
        m_encoded[static_cast<size_t>(piece - 1)] = 1;
    return JobOutcome::Done();
}

bool DocumentJob::FromCache(PieceCache &cache, int piece)
{
    if (m_setup.soundParts.isEmpty() || !cache.Serves() || piece < 1 || piece > m_text.pieces)
        return false;
    bool taken = false;
    Quietly([&] {
        // The key is of the words the engine is given: read along, each sentence on a line.
        const auto words = m_setup.readAlong ? Fs::Result<QByteArray>(SpeechText(piece).toUtf8())
                                             : Fs::ReadFile(PiecePath(piece, u".txt"_s), qint64(1) << 26);
        if (!words)
            return;
        QByteArray &key = m_keys[static_cast<size_t>(piece - 1)];
        key = PieceCache::Key(m_setup.soundParts, *words);
        const std::optional<CachedPiece> kept = cache.Find(key);
        if (!kept)
            return;
        QString target;
        if (m_text.pieces == 1) {
            m_partial.Create(m_output);
            target = m_partial.Path();
        } else {
            target = PiecePath(piece, u".mp3"_s);
        }
        if (const int error = Fs::WriteReplacing(target, kept->audio, m_text.pieces == 1 ? Fs::WithUmask(0666) : 0600))
            throw FileSystemError(error, target);
        if (m_text.pieces == 1)
            m_partial.Hold();
        TakeSpoken(piece, kept->spoken);
        const qint64 samples = Mp3SamplesOf(kept->audio);
        m_clock.Encoded(piece, samples);
        m_encodedSamples += samples;
        m_encoded[static_cast<size_t>(piece - 1)] = 1;
        taken = true;
    });
    return taken;
}

void DocumentJob::KeepInCache(PieceCache &cache, int piece)
{
    if (piece < 1 || piece > m_text.pieces || m_keys[static_cast<size_t>(piece - 1)].isEmpty())
        return;
    Quietly([&] {
        cache.Keep(m_keys[static_cast<size_t>(piece - 1)],
                   m_text.pieces == 1 ? m_partial.Path() : PiecePath(piece, u".mp3"_s), Spoken(piece));
    });
}

JobOutcome DocumentJob::KeepSpeech(int piece)
{
    return Step(JobStep::Encoding, [&] {
        const auto status = Fs::Stat(PiecePath(piece, u".wav"_s));
        m_clock.SetDelay(0); // Opus keeps no encoder's delay in what is heard
        m_clock.Encoded(piece, status ? std::max<qint64>(0, status->size - 44) / 2 : 0);
        if (piece >= 1 && piece <= static_cast<int>(m_encoded.size()))
            m_encoded[static_cast<size_t>(piece - 1)] = 1;
    });
}

JobOutcome DocumentJob::WriteOpus()
{
    return Step(JobStep::Encoding, [&] {
        const AudiobookTags tags = TagsToWrite();
        AudioTags written{tags.title, tags.artist, tags.album, tags.track, tags.trackCount, tags.genre, tags.language,
                          tags.comment};
        QList<AudioChapter> chapters;
        for (const Chapter &chapter : tags.chapters)
            chapters.append({chapter.title, chapter.startMs, chapter.endMs});
        QStringList wavs;
        for (int piece = 1; piece <= m_text.pieces; ++piece)
            wavs.append(PiecePath(piece, u".wav"_s));
        m_partial.Create(m_output);
        std::optional<CoverPicture> cover;
        if (!tags.cover.isEmpty())
            cover = CoverPicture{tags.cover, tags.coverType};
        if (const QString failure = WriteOggOpus(m_partial.Path(), wavs, written, chapters, cover); !failure.isEmpty()) {
            m_partial.Remove();
            throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
        }
        m_partial.Hold();
    });
}

bool DocumentJob::AllEncoded() const
{
    return !m_encoded.empty() && std::all_of(m_encoded.begin(), m_encoded.end(), [](char done) { return done; });
}

JobOutcome DocumentJob::WriteJoin()
{
    return Step(JobStep::Joining, [&] {
        m_partial.Name(m_output);
        WriteCommandFile(JoinCommandText(TextPath(), m_text.pieces, m_partial.Path()), Workspace() + u"/JoinMP3.bat"_s);
    });
}

Started DocumentJob::StartJoin(IProcessRunner &processes)
{
    QString commandFile;
    Quietly([&] { commandFile = Workspace() + u"/JoinMP3.bat"_s; });
    return StartChild(processes, QuotedForCommandLine(commandFile));
}

JobOutcome DocumentJob::Joined(const ChildEnd &end)
{
    QString failure;
    if (!end.Started())
        failure = u"The segments could not be joined: the command interpreter could not be started"_s
                  + (end.errorOutput.isEmpty() ? QString() : u": "_s + end.errorOutput);
    else if (end.exitCode != 0 || !HoldsSomething(m_partial.Path()))
        failure = WithCause(u"The segments could not be joined into "_s + m_output, end.errorOutput);
    if (!failure.isEmpty()) {
        m_partial.Remove();
        return Failed(JobStep::Joining, failure);
    }
    m_partial.Hold(); // the join's file now stands at the partial name
    if (m_setup.checkSpeech) {
        // The join holds every piece whole, byte for byte: it plays as long as they together.
        qint64 joined = -1;
        Quietly([&] { joined = Mp3Samples(m_partial.Path()); });
        if (joined != m_encodedSamples) {
            m_partial.Remove();
            return Failed(JobStep::Joining, u"The joined MP3 would play "_s + QString::number(joined / 22050.0, 'f', 1)
                                                + u" s, its pieces together "_s
                                                + QString::number(m_encodedSamples / 22050.0, 'f', 1) + u" s: "_s + m_output);
        }
    }
    return JobOutcome::Done();
}

void DocumentJob::DropJoinFiles()
{
    IEventLoop &events = m_services.Events();
    Quietly([&] { KillFile(events, Workspace() + u"/JoinMP3.bat"_s); });
    for (int piece = 1; piece <= m_text.pieces; ++piece)
        Quietly([&] { KillFile(events, PiecePath(piece, u".mp3"_s)); });
}

AudiobookTags DocumentJob::TagsToWrite()
{
    const AudiobookTags all = TagsFor(m_setup.document, m_facts, m_setup.track, m_setup.trackCount,
                                      m_setup.voiceDescription, m_setup.voiceLanguage);
    AudiobookTags tags = m_setup.tags ? all : AudiobookTags();
    if (m_setup.chapters)
        tags.chapters = m_clock.Chapters(all.title);
    if (m_setup.tags)
        FindCover(tags);
    return tags;
}

void DocumentJob::FindCover(AudiobookTags &tags)
{
    // The book's own cover, else one beside the document as players look for it, else the
    // one given; a picture that cannot be a cover is left out and said so.
    QList<std::pair<QString, QByteArray>> candidates;
    if (!m_facts.cover.isEmpty())
        candidates.append({u"The book's cover"_s, m_facts.cover});
    const QString folder = GetFolderPath(m_setup.document);
    for (const QString &name : {u"cover.jpg"_s, u"cover.png"_s, u"folder.jpg"_s}) {
        if (const auto bytes = Fs::ReadFile(folder + name, kMaxCoverBytes + 1))
            candidates.append({folder + name, *bytes});
    }
    if (!m_setup.coverFile.isEmpty()) {
        const auto bytes = Fs::ReadFile(m_setup.coverFile, kMaxCoverBytes + 1);
        if (bytes)
            candidates.append({m_setup.coverFile, *bytes});
        else
            m_notes.append(u"The cover "_s + m_setup.coverFile + u" cannot be read ("_s
                           + FileSystemError(bytes.Error(), m_setup.coverFile).description() + u"); it is left out"_s);
    }
    for (const auto &[where, bytes] : candidates) {
        const CoverCheck check = CheckCover(bytes);
        if (check.Usable()) {
            tags.cover = bytes;
            tags.coverType = check.mimeType;
            return;
        }
        m_notes.append(where + u" is left out as the cover: "_s + check.refusal);
    }
}

JobOutcome DocumentJob::Tag()
{
    const AudiobookTags tags = TagsToWrite();
    m_chapterCount = 0;
    try {
        WriteMp3Tags(m_partial.Path(), tags);
    } catch (const RuntimeError &e) {
        return JobOutcome::Failure(JobStep::Tags, e.number(), TagFailure(m_output, e.description()));
    }
    m_partial.Hold(); // the tagged file took the partial's name
    m_chapterCount = static_cast<int>(tags.chapters.size());
    return JobOutcome::Done();
}

JobOutcome DocumentJob::StartPacking(IProcessRunner &processes, const QString &ffmpeg, Started &started)
{
    return Step(JobStep::Packing, [&] {
        m_audiobook.Create(m_output);
        started = StartChild(processes, AudiobookCommandLine(ffmpeg, m_partial.Path(),
                                                             Iso639Part2(m_setup.voiceLanguage), m_audiobook.Path()));
    });
}

JobOutcome DocumentJob::Packed(const ChildEnd &end, IProcessRunner &processes, const QString &ffprobe)
{
    if (!end.Started() || end.exitCode != 0 || !HoldsSomething(m_audiobook.Path())) {
        const QString cause = end.Started() ? LastErrorLine(end.errorOutput) : end.errorOutput;
        m_audiobook.Remove();
        return Failed(JobStep::Packing, u"ffmpeg could not make the audiobook "_s + m_output
                                            + (end.exitCode != 0 ? u" (exit code "_s + QString::number(end.exitCode) + u')'
                                                                 : QString())
                                            + (cause.isEmpty() ? QString() : u": "_s + cause));
    }
    m_audiobook.Hold();
    // A player finds every chapter of the MP3 in the audiobook, or the audiobook fails.
    QString listing;
    Quietly([&] { listing = Workspace() + u"/chapters.csv"_s; });
    const int chapters = ChaptersOf(processes, ffprobe, m_audiobook.Path(), listing);
    if (chapters != m_chapterCount) {
        m_audiobook.Remove();
        return Failed(JobStep::Packing, u"ffmpeg made an audiobook with "_s + QString::number(chapters) + u" of its "_s
                                            + QString::number(m_chapterCount) + u" chapters: "_s + m_output);
    }
    m_partial.Remove();
    return JobOutcome::Done();
}

JobOutcome DocumentJob::WriteText()
{
    return Step(JobStep::Output, [&] {
        QByteArray text;
        for (int piece = 1; piece <= m_text.pieces; ++piece) {
            const QString path = PiecePath(piece, u".txt"_s);
            const auto bytes = Fs::ReadFile(path, qint64(1) << 30);
            if (!bytes)
                throw FileSystemError(bytes.Error(), path);
            text += CodePage::DecodeWorkingText(*bytes).toUtf8();
        }
        if (const int error = Fs::WriteReplacing(m_output, text, Fs::WithUmask(0666)))
            throw RuntimeError(u"The text file cannot be written: "_s + m_output + u" ("_s
                                   + FileSystemError(error, m_output).description() + u')',
                               ErrorNumber::PathFileAccessError);
        Fs::MarkAsProgramOutput(m_output); // so that a later run may replace it
        m_finished = true;
    });
}

JobOutcome DocumentJob::WriteSubtitles(bool srt, bool lrc)
{
    return Step(JobStep::Output, [&] {
        QList<TimedSentence> sentences;
        for (int piece = 1; piece <= m_text.pieces; ++piece) {
            const QList<qint64> starts = piece <= static_cast<int>(m_sentenceStarts.size())
                                             ? m_sentenceStarts[static_cast<size_t>(piece - 1)]
                                             : QList<qint64>();
            qsizetype at = 0;
            for (const QString &words : OwnWords(piece)) {
                const QList<TextSpan> spans = SentencesOf(words);
                for (const TextSpan &span : spans) {
                    const qint64 start = m_clock.TimeMs(piece, starts.value(at, starts.isEmpty() ? 0 : starts.last()));
                    sentences.append({words.mid(span.start, span.length), start, start});
                    ++at;
                }
                at += spans.isEmpty() ? 1 : 0;
            }
        }
        for (qsizetype k = 0; k < sentences.size(); ++k)
            sentences[k].endMs = k + 1 < sentences.size() ? sentences[k + 1].startMs : m_clock.LengthMs();
        const QList<Cue> cues = SubtitleCues(sentences);
        const QString base = m_output.left(m_output.lastIndexOf(u'.'));
        const AudiobookTags tags = TagsFor(m_setup.document, m_facts, 0, 0, QString(), QString());
        for (const auto &[wanted, path, text] :
             {std::tuple{srt, base + u".srt"_s, SrtText(cues)}, std::tuple{lrc, base + u".lrc"_s,
                                                                          LrcText(cues, tags.title, tags.artist)}}) {
            if (!wanted)
                continue;
            // A subtitle file of the user's own that stands there is never replaced.
            if (Fs::Stat(path) && !Fs::IsProgramOutput(path))
                throw RuntimeError(path + u" is a file of yours, not one that Vocatext wrote, so it is left as it is"_s,
                                   ErrorNumber::PathFileAccessError);
            if (const int error = Fs::WriteReplacing(path, text, Fs::WithUmask(0666)))
                throw FileSystemError(error, path);
            Fs::MarkAsProgramOutput(path);
        }
    });
}

JobOutcome DocumentJob::PutInPlace()
{
    return Step(JobStep::Output, [&] {
        (m_setup.form == OutputForm::M4b ? m_audiobook : m_partial).PutInPlace(m_output);
        m_finished = true;
    });
}

void DocumentJob::Cancel()
{
    m_partial.Remove();
    m_audiobook.Remove();
    if (m_setup.workspace.isEmpty())
        Quietly([&] { KillFile(m_services.Events(), TextPath()); });
    Close();
}

void DocumentJob::Close()
{
    if (!m_setup.workspace.isEmpty())
        return; // lent by a job of another process, which clears it
    if (m_ownWorkspace) {
        Quietly([&] { m_services.WorkingFolder().RemoveJobFolder(std::exchange(m_workspace, QString())); });
        m_ownWorkspace = false;
        return;
    }
    IEventLoop &events = m_services.Events();
    for (int piece = 1; piece <= m_text.pieces; ++piece)
        Quietly([&] { KillFile(events, PiecePath(piece, u".wav"_s)); });
    DropJoinFiles();
}

void JobsUnderWay::CancelAll()
{
    for (DocumentJob *job : std::exchange(m_jobs, {}))
        job->Cancel();
}
