#include "pipeline/documentjob.h"

#include "api/processes.h"
#include "api/speech.h"
#include "api/workingfolder.h"
#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settingsstore.h"
#include "filesystem/filesystem.h"
#include "pipeline/commandline.h"
#include "pipeline/encoder.h"
#include "pipeline/tags.h"
#include "pipeline/jobsteps.h"
#include "pipeline/passages.h"
#include "pipeline/readalongtext.h"

#include "reading/lexicon.h"
#include "pipeline/writer1.h"



#include <algorithm>
#include <numeric>
#include <tuple>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

using namespace JobParts;

void NameTheVoice(ISpeechEngine &speech, JobSetup &setup)
{
    Quietly([&] {
        const QStringList voices = speech.VoiceDescriptions();
        setup.voiceDescription = voices.value(setup.choice.voice, voices.value(0));
        setup.voiceLanguage = speech.VoiceLanguage(setup.choice.voice);
    });
}

QStringList UserLexicons(const ISettingsStore &settings)
{
    const QString folder = settings.Folder();
    return folder.isEmpty() ? QStringList() : QStringList{folder + u"/lexicon.pls"_s, folder + u"/lexicon.txt"_s};
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

QString DocumentJob::LanguagesPath()
{
    return Workspace() + u"/languages.txt"_s;
}

QString DocumentJob::LexiconPath()
{
    return Workspace() + u"/lexicon.txt"_s;
}

QString DocumentJob::OwnTextPath()
{
    return Workspace() + u"/document.txt"_s;
}

void DocumentJob::KeepLexicon()
{
    // The document's own pronunciations first, then its folder's, then the user's own, then
    // the one asked for; in a workspace of another job's, what that job merged of those.
    QList<Lexicon> lexicons;
    for (const QByteArray &own : std::as_const(m_facts.lexicons)) {
        LexiconResult read = own.trimmed().startsWith('<') ? ReadPlsLexicon(own) : ReadPlainLexicon(own);
        if (read.ok())
            lexicons.append(std::move(read.lexicon));
        else
            m_notes.append(u"the document's own lexicon is left out: "_s + read.error);
    }
    const QString folder = GetFolderPath(m_setup.document);
    QStringList files;
    if (!m_setup.workspace.isEmpty())
        files << LexiconPath();
    else if (!m_setup.document.isEmpty())
        files << folder + u"lexicon.pls"_s << folder + u"lexicon.txt"_s;
    if (m_setup.workspace.isEmpty())
        files += m_setup.lexicons;
    for (const QString &file : std::as_const(files)) {
        if (!Fs::Stat(file))
            continue;
        LexiconResult read = LoadLexiconFile(file);
        if (read.ok())
            lexicons.append(std::move(read.lexicon));
        else
            m_notes.append(u"the lexicon "_s + file + u" is left out: "_s + read.error);
    }
    m_lexicon.reset(); // read again when next asked for
    const Lexicon merged = MergeLexicons(lexicons).lexicon;
    if (merged.isEmpty()) {
        Fs::Remove(LexiconPath()); // an earlier document's
        return;
    }
    if (const int error = Fs::WriteReplacing(LexiconPath(), PlainLexiconText(merged), 0600))
        throw FileSystemError(error, LexiconPath());
}

QString DocumentJob::PiecePath(int piece, const QString &extension)
{
    return SegmentPath(TextPath(), piece, extension);
}

JobOutcome DocumentJob::PrepareWorkspace()
{
    return Step(JobStep::Text, [&] {
        Workspace();
        KeepLexicon(); // read by the workers that speak the pieces
    });
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
    if ((m_setup.form == OutputForm::Txt || m_setup.form == OutputForm::Ssml) && output
        && !Fs::IsProgramOutput(outputPath))
        return Failed(JobStep::Output, outputPath + u" is a file of yours, not one that Vocatext wrote, so it is left "_s
                                           u"as it is. Convert into another folder."_s);
    if (removeLeft)
        RemoveLeftPartials(outputPath);
    return JobOutcome::Done();
}

JobOutcome DocumentJob::Cut()
{
    return Step(JobStep::Segments, [&] {
        // The document's own words are kept: the spoken form reads them, and the cues show
        // them, not the cleaned ones.
        if (m_setup.readAlong || m_setup.spokenForm) {
            const auto text = Fs::ReadFile(TextPath(), qint64(1) << 31);
            if (!text)
                throw FileSystemError(text.Error(), TextPath());
            if (const int error = Fs::WriteReplacing(OwnTextPath(), *text, 0600))
                throw FileSystemError(error, OwnTextPath());
        }
        if (m_setup.workspace.isEmpty() || !m_facts.lexicons.isEmpty())
            KeepLexicon(); // where the document is known, and the pronunciations it gives itself
        else if (!m_facts.cover.isEmpty()) // the book's cover, for the job that tags its audio
            if (const int error = Fs::WriteReplacing(Workspace() + u"/cover"_s, m_facts.cover, 0600))
                throw FileSystemError(error, Workspace() + u"/cover"_s);
        // The places of the headings, for the chapters, and of the language marks, kept
        // beside the pieces for whichever process speaks them.
        QList<qint64> watched = ChapterClock::WatchedLines(m_facts.headings);
        const qsizetype headings = watched.size();
        for (const LanguageMark &mark : std::as_const(m_facts.languages))
            watched.append(mark.line);
        std::vector<qsizetype> order(static_cast<size_t>(watched.size()));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return watched[a] < watched[b]; });
        QList<qint64> sorted;
        for (const qsizetype k : order)
            sorted.append(watched[k]);
        QList<LinePlace> found;
        const int pieces = m_setup.pieces ? CutIntoPieces(m_reports, m_services.Events(), TextPath(), *m_setup.pieces,
                                                          sorted, &found)
                                          : CutTextFileFSO(m_reports, m_services.Events(), TextPath(), m_setup.limits,
                                                           sorted, &found);
        QList<LinePlace> places(watched.size());
        for (qsizetype k = 0; k < static_cast<qsizetype>(order.size()) && k < found.size(); ++k)
            places[order[static_cast<size_t>(k)]] = found[k];
        // Kept only when the document says something of its languages.
        if (!m_facts.language.isEmpty() || !m_facts.languages.isEmpty()) {
            const QByteArray languages =
                LanguagesFileText(m_facts.language, m_facts.languages, places.mid(headings));
            if (const int error = Fs::WriteReplacing(LanguagesPath(), languages, 0600))
                throw FileSystemError(error, LanguagesPath());
        } else {
            Fs::Remove(LanguagesPath()); // an earlier document's
        }
        KeepBlocks();
        places.resize(headings);
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

void DocumentJob::TakeSpoken(int piece, const SpokenFacts &facts)
{
    if (piece < 1)
        return;
    QList<qint64> lineStarts = facts.lineStarts;
    if (m_setup.readAlong) {
        // The engine heard sentences as lines: a line of the piece begins with its first sentence.
        QList<int> layout;
        Quietly([&] { ReadAlong().SpeechText(piece, &layout); });
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
    AddUnspoken(m_unspoken, facts.unspoken);
    m_clock.Spoken(piece, lineStarts);
    m_seconds += facts.seconds;
    if (piece > static_cast<int>(m_spoken.size()))
        m_spoken.resize(static_cast<size_t>(piece));
    m_spoken[static_cast<size_t>(piece - 1)] = facts;
}

QString DocumentJob::PieceMp3(int piece)
{
    if (m_text.pieces != 1)
        return PiecePath(piece, u".mp3"_s);
    m_partial.Create(m_output); // one piece is encoded straight into the output's partial file
    return m_partial.Path();
}

JobOutcome DocumentJob::StartEncoder(IProcessRunner &processes, const EncoderProgram &encoder, int piece,
                                     Started &started)
{
    return Step(JobStep::Encoding, [&] {
        const QString target = PieceMp3(piece);
        // Made afresh: nothing that stands at its name is written through.
        if (m_text.pieces != 1)
            if (auto made = Fs::CreateFresh(target, 0600); !made)
                throw FileSystemError(made.Error(), target);
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

QStringList DocumentJob::Notes() const
{
    QStringList notes = m_notes;
    if (!m_unspoken.isEmpty())
        notes.append(UnspokenWords(m_unspoken));
    return notes;
}

JobOutcome DocumentJob::PutInPlace()
{
    return Step(JobStep::Output, [&] {
        // The subtitles first: one that is a file of the user's leaves the older output too.
        if (m_setup.readAlong)
            WriteSubtitles();
        (m_setup.form == OutputForm::M4b || m_setup.form == OutputForm::Epub ? m_audiobook : m_partial)
            .PutInPlace(m_output);
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
    for (const QString &kept : {LanguagesPath(), LexiconPath(), OwnTextPath()})
        Quietly([&] { Fs::Remove(kept); });
    DropJoinFiles();
}

void JobsUnderWay::CancelAll()
{
    for (DocumentJob *job : std::exchange(m_jobs, {}))
        job->Cancel();
}
