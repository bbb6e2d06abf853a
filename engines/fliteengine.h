#pragma once

#include "engines/speechbackend.h"

#include <array>

class IEventLoop;
struct cst_voice_struct;

// Flite, called in-process: four natural English voices (slt, awb, rms, kal16). Flite
// speaks at 16 000 Hz; its samples are resampled to 22 050 Hz 16-bit mono (libsoxr, high
// quality) for the program's WAV files. The rate is given as Flite's duration stretch
// (175 / words per minute). Every line end, and every
// sentence end, ends an utterance. A voice is loaded when it first speaks.
class FliteEngine final : public ISpeechBackend
{
public:
    explicit FliteEngine(IEventLoop &events);
    FliteEngine(const FliteEngine &) = delete;
    FliteEngine &operator=(const FliteEngine &) = delete;

    /// The text in the letters of English that Flite reads: an accented letter becomes its
    /// base letter ("café" "cafe", "ß" "ss", "æ" "ae"), "€" and "£" the words euros and
    /// pounds after their amount, "&" the word and; any other character beyond ASCII a space.
    static QString InEnglishLetters(const QString &text);

    QStringList Voices() override;
    QString Language(int voice) override;
    QString Version() override;
    void Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *output,
               QList<qint64> *lineStarts = nullptr) override;

private:
    cst_voice_struct *Loaded(int voice);

    IEventLoop &m_events;
    std::array<cst_voice_struct *, 4> m_loaded{};
};
