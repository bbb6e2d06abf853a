#pragma once

#include "audio/samplesink.h"

#include "api/speech.h"

#include <QList>
#include <QString>
#include <QStringList>

/// How a voice speaks: loudness 0 (silence) to 100, rate -10 (slowest) to 10 (fastest).
struct SpeechSettings
{
    int volume = 100;
    int rate = 0;
    /// The rate in percent of rate, for a passage read faster or slower than the whole.
    int ratePercent = 100;
    /// The voice's level at this rate in dB (see LevelStage): the volume of speech to the audio
    /// output, and what counts as sound for the line starts of speech into a sink.
    double levelDb = 0;
    /// The text ends where a line of the document ends, so the pause of a line end follows
    /// its last words; false for a passage that the next one goes on with, in the same line.
    bool endsLine = true;
    /// Words to say by these phones (see Passage::phones), for the engines that take them.
    QList<std::pair<QString, QStringList>> phones;
};


// One installed speech engine, whose voices take their places in the program's one voice
// enumeration (SpeechEngine). Backends are never entered twice at once: SpeechEngine
// turns nested calls away.
class ISpeechBackend
{
public:
    virtual ~ISpeechBackend() = default;

    /// The descriptions of the engine's voices in the engine's order; throws RuntimeError
    /// when the engine could not be started.
    virtual QStringList Voices() = 0;
    /// The language of the voice at this position of Voices() as a tag ("en-gb"), or "".
    virtual QString Language(int voice) = 0;
    /// The engine's name and version ("espeak-ng 1.51"): a voice's level is measured again
    /// when it changes.
    virtual QString Version() = 0;
    /// Speaks text with the voice at this position of Voices() into output as 22 050 Hz
    /// 16-bit mono samples at the engine's own normal loudness (the caller levels them and
    /// applies the volume), or through the default audio output when output is null, at the
    /// volume and level of settings.
    /// Yields to the event loop about every 30 ms. A voice that cannot be loaded fails with
    /// "Class not registered"; speech that cannot be written fails with ErrorNumber::DiskFull.
    /// lineStarts, when given with an output, receives where each line of the text (ASCII;
    /// lines end at LF) begins to be heard, in samples of the output.
    virtual void Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *output,
                       QList<qint64> *lineStarts = nullptr) = 0;
};
