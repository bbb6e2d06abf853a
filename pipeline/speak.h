#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class IAudioFileStream;
class IMainWindow;
class ISpeechVoice;
struct Services;

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

/// Replaces every character other than a-z, A-Z, 0-9, the space and ! , . ; ? by a space.
QString CleanTextForSpeech(const QString &line);

/// One line of code-page bytes as a segment holds it: "&#xa0;" removed (case-sensitive),
/// lower-cased and cleaned.
QByteArray CleanLineForSegment(QByteArray line);

/// A path inside double quotes on a command line; a double quote within the path is
/// written as three, so the path reaches the program whole.
QString QuotedForCommandLine(const QString &path);

// The Speak module: segmentation, speech rendering and encoding of one document, with
// the rendering voice that lives from one call of SaveToWAV to the next.
class Speak
{
public:
    Speak(const Services &services, IMainWindow &window);
    ~Speak();

    /// Cuts the code-page text file into segment files 001, 002, ... beside it, cleaning
    /// every line and ending each with one LF, closing a segment at the line or character
    /// limit of the current speech rate; a line longer than the character limit is cut at
    /// its last blank before the limit and goes on in the next segment. Deletes the input.
    /// Returns the number of segment files written (at least 1; the last may be empty).
    int CutTextFileFSO(const QString &inputPath);

    /// With a WAV path: speaks the text file into a 22 050 Hz 16-bit mono WAV file. With an
    /// empty WAV path: speaks the text itself through the default audio output. The voice,
    /// volume and rate are those of the window's controls at the moment of the call. Speech
    /// that could not be written whole (a full disk) is not kept: the WAV file is removed
    /// and the failure is thrown to the caller.
    void SaveToWAV(QString text, QString wavPath);

    /// What the encoder answered: its exit code (or kStartFailureBase + the error number when
    /// it could not be started) and the end of its error output (or why it did not start).
    struct EncoderOutcome
    {
        qint32 result = 0;
        QString errorOutput;
    };
    /// Encodes the WAV file to MP3 with the working folder's encoder and returns when it has ended.
    EncoderOutcome WAVToMP3(const QString &wavPath, const QString &mp3Path);

    /// True while a voice is held in the rendering slot (after a failed speak call).
    bool HoldsRenderingVoice() const { return m_renderingVoice != nullptr; }

private:
    const Services &m_services;
    IMainWindow &m_window;
    std::unique_ptr<IAudioFileStream> m_renderingStream;
    std::unique_ptr<ISpeechVoice> m_renderingVoice;
};
