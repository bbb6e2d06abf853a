#pragma once

#include "api/speech.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class IFailureHandler;
class ISpeechVoice;
struct CoreServices;

// Speech rendering (the Speak module's SaveToWAV): the one place where text becomes
// speech. Its numbered statements run with the failure handler its caller gives: the
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

/// What the speech of one piece gave: where each of its lines begins to be heard (in
/// samples of its WAV file) and how long it plays.
struct SpokenFacts
{
    QList<qint64> lineStarts;
    double seconds = 0;
    /// The letters that no installed voice speaks, left out, counted by script ("Tibetan=37").
    QStringList unspoken;
};

/// True when a WAV file of speech stands at the path as a listing of normal files shows it.
bool SpokenWavListed(const QString &wavPath);

// Speech rendering, with the rendering voice that lives from one call of SaveToWAV to the next.
class Speak
{
public:
    explicit Speak(const CoreServices &services);
    ~Speak();

    /// With a WAV path: speaks the text file into a 22 050 Hz 16-bit mono WAV file. With an
    /// empty WAV path: speaks the text itself through the default audio output. Speech that
    /// failed is never kept: the WAV file is removed, and the failure is answered.
    /// passages, when given with a WAV path, are spoken in place of the file's text, each
    /// with its own voice (a text of several languages).
    SpeechOutcome SaveToWAV(IFailureHandler &reports, const SpeechChoice &choice, QString text, QString wavPath,
                            const QList<Passage> *passages = nullptr);

    /// True while a voice is held in the rendering slot (after a failed speak call).
    bool HoldsRenderingVoice() const { return m_renderingVoice != nullptr; }

private:
    const CoreServices &m_services;
    std::unique_ptr<ISpeechVoice> m_renderingVoice;
};
