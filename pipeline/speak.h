#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class IAudioFileStream;
class IEventLoop;
class IFailureHandler;
class ISpeechVoice;
struct CoreServices;

// The Speak module: segmentation, speech rendering and encoding of one document. Every
// procedure runs its numbered statements with the failure handler its caller gives: the
// window reports a failure in a box and goes on, the headless converter stops there.

/// How a document is spoken; taken once per document.
struct SpeechChoice
{
    /// A position of the speech engine's voice enumeration; -1: the engine's default voice.
    int voice = -1;
    /// 0 (silence) to 100.
    int volume = 100;
    /// -10 (slowest) to 10 (fastest); 0 is normal.
    int rate = -3;
};

/// The path of segment file number (at least three digits) for an input file: the input
/// path without its file name's extension, the number, and extension.
QString SegmentPath(const QString &inputPath, int number, const QString &extension);

/// The line limit and the size limit (in units of 1024 characters) for a speech rate.
struct SegmentLimits
{
    int lines;
    int kilochars;
};
SegmentLimits SegmentLimitsForRate(int rate);

/// Replaces by a space every character other than the letters of the code page (but its
/// florin sign and spacing circumflex), the digits, the space, ! , . ; ? and the signs
/// % $ € £ &; an apostrophe (' or ’) or a hyphen between two letters stays, every
/// apostrophe as "'". The length is unchanged.
QString CleanTextForSpeech(const QString &line);

/// One line of code-page bytes as a segment holds it: "&#xa0;" removed (case-sensitive),
/// lower-cased (accented capitals too) and cleaned as CleanTextForSpeech does.
QByteArray CleanLineForSegment(QByteArray line);

/// A path inside double quotes on a command line; a double quote within the path is
/// written as three, so the path reaches the program whole.
QString QuotedForCommandLine(const QString &path);

/// Where a line of the cut's input begins in the segments: the segment's number (from 1)
/// and the line there (from 0).
struct LinePlace
{
    int segment = 1;
    int line = 0;
    bool operator==(const LinePlace &) const = default;
};

/// Cuts the code-page text file into segment files 001, 002, ... beside it, cleaning
/// every line and ending each with one LF, closing a segment at the line or character
/// limit; a line longer than the character limit is cut at its last blank before the
/// limit and goes on in the next segment. Deletes the input. Returns the number of
/// segment files written (at least 1; the last may be empty). The window stays alive:
/// the cut yields to the event loop every 20 ms of work. places, when given, receives
/// where each of the watched input lines (from 0, ascending) begins, one place each; a
/// line that the input does not hold is placed at the input's end.
int CutTextFileFSO(IFailureHandler &reports, IEventLoop &events, const QString &inputPath, SegmentLimits limits,
                   const QList<qint64> &watched = {}, QList<LinePlace> *places = nullptr);

/// What the speak call of SaveToWAV answered: nothing, or the failure that stopped it,
/// which no statement reported; the caller decides what the user hears of it.
struct SpeechOutcome
{
    bool failed = false;
    QString description;
    int number = 0;
    /// Where each line of the text file begins to be heard in the WAV file, in samples.
    QList<qint64> lineStarts;

    /// The chosen voice is listed but cannot be loaded.
    bool ClassNotRegistered() const;
};

/// True when a WAV file of speech stands at the path as a listing of normal files shows it.
bool SpokenWavListed(const QString &wavPath);

/// What the encoder answered: its exit code (or kStartFailureBase + the error number when
/// it could not be started) and the end of its error output (or why it did not start).
struct EncoderOutcome
{
    qint32 result = 0;
    QString errorOutput;
};

// Speech rendering and encoding, with the rendering voice that lives from one call of
// SaveToWAV to the next.
class Speak
{
public:
    explicit Speak(const CoreServices &services);
    ~Speak();

    /// With a WAV path: speaks the text file into a 22 050 Hz 16-bit mono WAV file. With an
    /// empty WAV path: speaks the text itself through the default audio output. Speech that
    /// failed is never kept: the WAV file is removed, and the failure is answered.
    SpeechOutcome SaveToWAV(IFailureHandler &reports, const SpeechChoice &choice, QString text, QString wavPath);

    /// Encodes the WAV file to MP3 with the working folder's encoder and returns when it has
    /// ended; onPoll runs on every 100 ms poll of the wait.
    EncoderOutcome WAVToMP3(IFailureHandler &reports, const QString &wavPath, const QString &mp3Path,
                            const std::function<void()> &onPoll);

    /// True while a voice is held in the rendering slot (after a failed speak call).
    bool HoldsRenderingVoice() const { return m_renderingVoice != nullptr; }

private:
    const CoreServices &m_services;
    std::unique_ptr<ISpeechVoice> m_renderingVoice;
};
