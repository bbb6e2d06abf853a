#pragma once

#include "api/documentreader.h"
#include "pipeline/chapters.h"
#include "pipeline/cut.h"
#include "pipeline/outcome.h"
#include "pipeline/outputfiles.h"
#include "pipeline/piececache.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/tags.h"
#include "pipeline/voicepicker.h"

#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

class EncoderProgram;
class IFailureHandler;
class IProcessRunner;
class ISpeechEngine;
class ISettingsStore;
class ReadAlongText;
struct ReadAlongBook;
class Lexicon;
struct CoreServices;
struct LexiconHit;

// One document's conversion: made from plain values, it owns the plan (its working files,
// its pieces, the join, the tags and chapters, the partial file beside the output that
// takes the output's place, and the clean-up on failure and on cancel) and offers its
// steps. Each front end steps through it: the window statement by statement, the
// converter by handing its pieces to workers; neither knows more of a document's
// conversion than the steps' order.

/// What a document becomes.
enum class OutputForm {
    Mp3, // the spoken document
    M4b, // the spoken document as an audiobook, AAC in MP4, made by ffmpeg
    Txt, // the text that would be spoken: the cleaned lines of its pieces, UTF-8
    Opus, // the spoken document as Ogg Opus, the smallest files for speech
    Epub, // an EPUB 3 of the document's text whose overlays highlight each sentence as it is heard
    Ssml, // the speech plan: what the engines are given, as SSML 1.1, instead of speech
};

struct JobSetup
{
    QString document;
    SpeechChoice choice;
    SegmentLimits limits{1300, 500};
    /// Cut into pieces at paragraph ends that edits do not move (the converter's), not
    /// into the window's segments.
    std::optional<PieceLimits> pieces;
    /// What decides the sound of a piece besides its words (the voice and its engine,
    /// rate, volume, the encoder, the version of the speech stages): the finished pieces
    /// are kept in a cache under a key of these; none: no piece is kept.
    QStringList soundParts;
    /// Each sentence is heard from its own place in the speech, for subtitles read along:
    /// the engine is given every sentence on a line of its own, and the document's own
    /// words are kept beside the pieces.
    bool readAlong = false;
    /// The subtitles written beside the output once it is in place (readAlong): name.srt, name.lrc.
    bool srt = false;
    bool lrc = false;
    /// Each passage is read by the voice for its language (the document's marks, its
    /// script, its letters); off: the chosen voice reads everything.
    bool languageSwitch = true;
    /// The user's own voices for languages (normalized tag -> position of the voice).
    QHash<QString, int> voicesFor;
    /// Numbers, dates, amounts, abbreviations and the like are read as a careful reader reads
    /// them, in the language of each passage; the lexicons' words as they say.
    bool spokenForm = true;
    /// The user's pronunciation lexicons (the settings folder's, --lexicon), in order of
    /// precedence after those beside the document (lexicon.pls, lexicon.txt).
    QStringList lexicons;
    /// The document's language when another process's job read it (the worker that speaks a piece).
    QString language;
    /// A picture to take as the cover when the document names none and none stands beside it.
    QString coverFile;
    /// Before the output takes its place: every piece with words gave speech that is heard
    /// and lasts as its words do, and the joined MP3 lasts as its pieces together.
    bool checkSpeech = false;
    OutputForm form = OutputForm::Mp3;
    bool tags = true;
    bool chapters = true;
    int track = 0; // from 1, of trackCount; 0: none
    int trackCount = 0;
    /// The voice as the tags name it, and its language ("en-gb").
    QString voiceDescription;
    QString voiceLanguage;
    /// Where the working files are: this folder (one a job of another process made), or
    /// with ownWorkspace a folder of the job's own inside the working folder, made and
    /// removed by it, or else the working folder itself, whose segment texts stay after
    /// the document as the window leaves them.
    QString workspace;
    bool ownWorkspace = false;
};

/// What the text step learnt, to hand to the job of another process.
struct TextFacts
{
    int pieces = 0;
    QString title;
    QString author;
    /// The language the document says it is in; "" when it says none.
    QString language;
    /// The headings, in the order of their lines, and where the cut put each.
    QList<DocumentHeading> headings;
    QList<LinePlace> places;
};

/// The user's own pronunciation lexicons: lexicon.pls and lexicon.txt in the folder of the
/// settings (JobSetup::lexicons, before any that a front end adds).
QStringList UserLexicons(const ISettingsStore &settings);

/// Names the chosen voice as the tags do: its description and its language (both empty
/// when the engine cannot say).
void NameTheVoice(ISpeechEngine &speech, JobSetup &setup);

class DocumentJob
{
public:
    /// reports decides what follows a failed statement of the steps' procedures: the
    /// window's box (and the step goes on), or FailFast (the step ends with that failure).
    DocumentJob(JobSetup setup, const CoreServices &services, IFailureHandler &reports);
    /// A job dropped before it finished is cancelled.
    ~DocumentJob();
    DocumentJob(const DocumentJob &) = delete;
    DocumentJob &operator=(const DocumentJob &) = delete;

    const JobSetup &Setup() const { return m_setup; }
    /// The folder of the working files; made on first use when the job has its own.
    /// Throws RuntimeError when it cannot be used.
    QString Workspace();
    /// Makes the job's own folder now.
    JobOutcome PrepareWorkspace();

    // The text.
    /// Forgets what an earlier document left in the working folder (its text, a stray WAV).
    static void ClearStale(const CoreServices &services);
    /// Reads the document's text into the text file of the workspace.
    JobOutcome ReadText();
    /// True when the text file is there to be cut.
    bool HasText();
    /// Checks the place of the output and takes it as the job's; removes what a killed
    /// conversion left beside it unless removeLeft is false (its folder was swept already).
    JobOutcome PlanOutput(const QString &outputPath, bool removeLeft = true);
    const QString &Output() const { return m_output; }
    /// Cuts the text into pieces (and deletes the text file).
    JobOutcome Cut();
    int Pieces() const { return m_text.pieces; }
    const TextFacts &Text() const { return m_text; }
    void TakeText(const TextFacts &facts);

    // Speech.
    /// Speaks piece number piece (from 1) into its WAV file with speak's rendering voice.
    JobOutcome SpeakPiece(Speak &speak, int piece);
    /// True when the piece's WAV file stands as a listing of normal files shows it.
    bool HasSpeech(int piece);
    SpokenFacts Spoken(int piece) const;
    void TakeSpoken(int piece, const SpokenFacts &facts);
    double SpokenSeconds() const { return m_seconds; }
    /// Takes the piece from the cache, when it is kept there: it is then neither spoken nor
    /// encoded. False when it is not.
    bool FromCache(PieceCache &cache, int piece);
    /// Keeps the encoded piece in the cache.
    void KeepInCache(PieceCache &cache, int piece);

    // Encoding: a document of one piece is encoded straight to the partial file beside
    // its output; pieces of a longer one to MP3 pieces of the workspace.
    /// Makes the piece's target and starts its encoder (started tells how); a target that
    /// cannot be made is the step's failure.
    JobOutcome StartEncoder(IProcessRunner &processes, const EncoderProgram &encoder, int piece, Started &started);
    /// The encoder of the piece has ended: its MP3 is checked and its WAV file goes.
    JobOutcome Encoded(int piece, const ChildEnd &end);
    bool AllEncoded() const;
    /// For Ogg Opus: the piece's speech is kept as it is, to be encoded with the others at the end.
    JobOutcome KeepSpeech(int piece);

    // The join of the pieces' MP3s, byte for byte, into the partial file.
    /// Writes the join's command file.
    JobOutcome WriteJoin();
    Started StartJoin(IProcessRunner &processes);
    JobOutcome Joined(const ChildEnd &end);
    /// The command file and the pieces' MP3s go.
    void DropJoinFiles();

    // The finish.
    /// Writes the tags and chapters into the partial MP3. A failure leaves it without them.
    JobOutcome Tag();
    /// ffmpeg makes the audiobook of the tagged MP3.
    JobOutcome StartPacking(IProcessRunner &processes, const QString &ffmpeg, Started &started);
    /// The audiobook was made: it must hold as many chapters as the MP3 (ffprobe counts).
    JobOutcome Packed(const ChildEnd &end, IProcessRunner &processes, const QString &ffprobe);
    /// Writes the text of the pieces as the output (OutputForm::Txt).
    JobOutcome WriteText();
    /// Writes the speech plan as the output (OutputForm::Ssml): a paragraph for each line,
    /// each passage with its voice and language, said as the engines are given it, with the
    /// lexicon's words as <sub> and <phoneme>.
    JobOutcome WriteSsml();
    /// Encodes the pieces' speech, tags, chapters and cover into the partial Ogg Opus file
    /// (OutputForm::Opus).
    JobOutcome WriteOpus();
    /// Writes the partial EPUB 3 (OutputForm::Epub): the document's text by chapters, each
    /// with its stretch of the joined MP3 and an overlay that plays every sentence's clip.
    JobOutcome WriteEpub();
    /// What is said of the document beside its failures (a cover left out, ...), in words.
    QStringList Notes() const;
    /// The scripts of letters in the document that no installed voice speaks.
    const QStringList &Unspoken() const { return m_unspoken; }
    /// The complete output takes its place, and the subtitles asked for are written beside it.
    JobOutcome PutInPlace();
    bool IsFinished() const { return m_finished; }

    /// Stops the conversion: the partial files go, and the working files as after a
    /// failure. Nothing is put in place afterwards.
    void Cancel();
    /// The working files of a finished or failed document go: the WAV and MP3 pieces and
    /// the command file, and a workspace of the job's own with all it holds.
    void Close();

    /// The path of piece number piece's file with the extension (".txt", ".wav", ".mp3").
    QString PiecePath(int piece, const QString &extension);

private:
    QString TextPath();
    /// Where a piece's MP3 goes: one piece straight into the output's partial file (made
    /// here), several beside the pieces.
    QString PieceMp3(int piece);
    /// Where the document's language marks are kept beside its pieces, when it has any.
    QString LanguagesPath();
    /// The lines that begin list items and table cells, kept beside the pieces for the job
    /// that writes the read-along book ("LINE l" or "LINE t", one a line), and read back.
    void KeepBlocks();
    QHash<qint64, DocumentBlock::Kind> Blocks();
    /// Where the lexicons of the document are kept, merged, beside its pieces; its own text.
    QString LexiconPath();
    QString OwnTextPath();
    /// Merges the lexicons of the document into LexiconPath (none: no file).
    void KeepLexicon();
    const Lexicon *TheLexicon();
    /// The name of a voice of the enumeration (-1: the chosen one), from one listing.
    /// The voices for the passages' languages, listed once.
    const VoicePicker &Voices();
    QString VoiceName(int voice);
    bool SpeaksPhonemes(int voice);
    /// The text of the document read along (readAlong), made when first asked for.
    ReadAlongText &ReadAlong();
public:
    /// The language the document's sentences are found in: its own, else the voice's.
    QString SpeechLanguage() const;

private:
    /// What the engine is given of a piece: its passages, each read by the voice for its
    /// language (read along, every sentence on a line of its own); unspoken receives the
    /// scripts no voice speaks. One passage of the chosen voice: the piece's text as it is.
    /// hits: the passages are said without phonemes, and receives each one's lexicon words.
    QList<Passage> SpeechInput(int piece, QStringList *unspoken, QList<QList<LexiconHit>> *hits = nullptr);
    /// What decides a piece's sound besides the sound parts, for its key in the cache.
    QByteArray SpeechKeyText(int piece, QStringList *unspoken);
    /// Speech that is silent or far too short for the piece's words (at the volume and rate
    /// of its passages) fails.
    void CheckSpeech(int piece, const QString &wav, double seconds, const QList<Passage> &passages);
    /// Writes name.srt and/or name.lrc beside the output: one cue per sentence in the
    /// document's own words.
    void WriteSubtitles();
    template<typename F>
    JobOutcome Step(JobStep step, F &&work);
    AudiobookTags TagsToWrite();
    /// Cuts the joined MP3 into an audio file per chapter of book, in the workspace, and
    /// counts its sentences' times from their chapter's start.
    void SplitAudio(ReadAlongBook &book);
    /// The document's language marks on the lines of its text, also when another process read it.
    QList<LanguageMark> DocumentMarks();
    void FindCover(AudiobookTags &tags);

    JobSetup m_setup;
    const CoreServices &m_services;
    IFailureHandler &m_reports;
    QString m_workspace;
    bool m_ownWorkspace = false;
    QString m_output;
    DocumentFacts m_facts;
    TextFacts m_text;
    ChapterClock m_clock;
    std::vector<char> m_encoded;
    std::vector<SpokenFacts> m_spoken;
    std::vector<QList<qint64>> m_sentenceStarts; // by piece with readAlong: where each sentence begins
    std::unique_ptr<ReadAlongText> m_readAlong;
    std::optional<VoicePicker> m_voices; // once asked for
    std::unique_ptr<Lexicon> m_lexicon; // once asked for
    std::vector<QByteArray> m_keys; // by piece, once known
    qint64 m_encodedSamples = 0;
    double m_seconds = 0;
    int m_chapterCount = 0; // what the M4B must hold
    PartialFile m_partial;   // the MP3 beside the output
    PartialFile m_audiobook; // the M4B beside the output
    bool m_finished = false;
    QStringList m_notes;
    QStringList m_unspoken;
};

// The jobs of a front end that are under way: closing the window or stopping the
// converter cancels them all at once, so nothing half written is left in the user's folders.
class JobsUnderWay
{
public:
    void Add(DocumentJob &job)
    {
        if (std::find(m_jobs.begin(), m_jobs.end(), &job) == m_jobs.end())
            m_jobs.push_back(&job);
    }
    void Remove(DocumentJob &job) { std::erase(m_jobs, &job); }
    void CancelAll();

private:
    std::vector<DocumentJob *> m_jobs;
};
