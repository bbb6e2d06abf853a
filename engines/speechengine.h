#pragma once

#include "api/speech.h"
#include "engines/speechbackend.h"

#include <QList>

// The platform speech service: the voices of every installed engine in one enumeration,
// in the order the engines are given, as the desktop's speech service lists them. One
// synthesis at a time across all engines: a call made while one speaks (from a nested
// handler) is turned away, and the voice list is then answered from the last one read.
class SpeechEngine final : public ISpeechEngine
{
public:
    explicit SpeechEngine(QList<ISpeechBackend *> engines);

    std::unique_ptr<ISpeechVoice> CreateVoice() override;
    std::unique_ptr<IAudioFileStream> CreateFileStream() override;
    QStringList VoiceDescriptions() override;
    QString VoiceLanguage(int index) override;

    /// True when the voices of English-speaking users' engines come first for this locale
    /// ("en_GB", "C"): the user's language is English or none is set.
    static bool EnglishFirst(const QString &localeName);

private:
    friend class CombinedVoice;
    struct Voice
    {
        ISpeechBackend *engine;
        int index;
        QString description;
    };
    const QList<Voice> &Voices();
    /// Speaks with the voice at index (-1: the first), or throws; lineStarts as the backends fill it.
    void Speak(int index, const SpeechSettings &settings, const QString &text, class WavFileStream *output,
               QList<qint64> *lineStarts = nullptr);

    QList<ISpeechBackend *> m_engines;
    QList<Voice> m_voices;
    bool m_synthesizing = false;
};
