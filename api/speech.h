#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <memory>

/// Words per minute for a rate of -10 to 10: round(175 × 3^(rate/10)), at least 80 (the
/// slowest espeak-ng speaks); both engines speak at it.
inline int WordsPerMinute(int rate)
{
    return std::max(80, static_cast<int>(std::lround(175.0 * std::pow(3.0, rate / 10.0))));
}

/// Words per minute for a rate and a percentage of it (a passage read faster or slower than
/// the whole), within 40 to 1500; an engine slows or speeds no further than it can.
inline int WordsPerMinute(int rate, int percent)
{
    return static_cast<int>(std::clamp(std::lround(WordsPerMinute(rate) * percent / 100.0), 40L, 1500L));
}

/// The only audio format of the program's WAV files.
struct AudioFormat
{
    int sampleRate = 22050;
    int bitsPerSample = 16;
    int channels = 1;
};

// A file that receives speech as a WAV file.
class IAudioFileStream
{
public:
    virtual ~IAudioFileStream() = default;
    /// Sets the format; only 22 050 Hz 16-bit mono is supported.
    virtual void SetFormat(const AudioFormat &format) = 0;
    /// Creates or replaces the file at once, without yielding to the event loop.
    virtual void Open(const QString &path) = 0;
    /// Completes the file's header and closes it.
    virtual void Close() = 0;
};

/// One passage of a text to speak with a voice of its own: the text of one language.
struct Passage
{
    /// A position of the voice enumeration; -1: the voice chosen for the whole.
    int voice = -1;
    QString text;
    /// It begins inside a line of the whole text (a phrase of another language), not at a line's start.
    bool continuesLine = false;
    /// Its language (BCP 47); "": the whole text's.
    QString language = QString();
    /// Words of it that a lexicon says by their sounds, in Flite's phones (lower case word,
    /// cmulex phones); an espeak-ng voice is given its phonemes in the text itself.
    QList<std::pair<QString, QStringList>> phones = QList<std::pair<QString, QStringList>>();
    /// Its rate and volume in percent of the chosen ones (a speech plan's <prosody>); the
    /// volume heard is at most the full volume (100).
    int ratePercent = 100;
    int volumePercent = 100;

    /// Read as the whole is: the chosen voice, rate and volume, no phones of its own.
    bool AsChosen() const { return voice < 0 && phones.isEmpty() && ratePercent == 100 && volumePercent == 100; }
};

// One voice of the speech engine: the chosen installed voice, its volume and rate, and
// where its speech goes.
class ISpeechVoice
{
public:
    virtual ~ISpeechVoice() = default;
    /// Chooses the installed voice at this position of the engine's enumeration.
    virtual void SelectVoice(int index) = 0;
    /// 0 (silence) to 100.
    virtual void SetVolume(int volume) = 0;
    /// -10 (slowest) to 10 (fastest); 0 is normal.
    virtual void SetRate(int rate) = 0;
    /// The stream that receives the speech; null for the default audio output.
    virtual void SetOutput(IAudioFileStream *stream) = 0;
    /// Speaks the contents of a code-page text file; returns when speaking is done.
    /// A chosen voice that cannot be loaded fails with "Class not registered"; speech that
    /// cannot be written to the stream (a full disk) fails with ErrorNumber::DiskFull.
    virtual void SpeakFile(const QString &path) = 0;
    /// Speaks the text; returns when speaking is done.
    virtual void Speak(const QString &text) = 0;
    /// Speaks the passages one after another into the stream, each with its voice at the
    /// volume and rate set; LineStarts() then holds where each line of the passages
    /// together begins to be heard.
    virtual void SpeakPassages(const QList<Passage> &passages) = 0;
    /// Where each line of the text last spoken into a stream begins to be heard, in samples
    /// from the stream's first: one per line (a line ends at LF), in order; a line with
    /// nothing to say begins where the next does. Empty after speech to the audio output.
    virtual QList<qint64> LineStarts() const = 0;
};

// The platform speech engine.
class ISpeechEngine
{
public:
    virtual ~ISpeechEngine() = default;
    /// A new voice with the engine's defaults; throws when the engine is unavailable.
    virtual std::unique_ptr<ISpeechVoice> CreateVoice() = 0;
    /// A new file stream for a voice's output.
    virtual std::unique_ptr<IAudioFileStream> CreateFileStream() = 0;
    /// The descriptions of the installed voices, always in the same order.
    virtual QStringList VoiceDescriptions() = 0;
    /// The language of the voice at this position (-1: the default voice) as a tag such as
    /// "en-gb"; "" when the engine does not say.
    virtual QString VoiceLanguage(int index) = 0;
    /// The languages of all the voices, in the order of VoiceDescriptions, from one look at
    /// what is installed.
    virtual QStringList VoiceLanguages() = 0;
    /// All that decides how the voice at this position sounds at this rate, besides the
    /// words: its engine with the engine's version, the voice, and the level it speaks at
    /// (measured when not yet known). The same identity, the same samples for the same words.
    virtual QString VoiceIdentity(int index, int rate) = 0;
};
