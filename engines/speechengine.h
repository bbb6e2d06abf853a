#pragma once

#include "api/speech.h"
#include "engines/speechbackend.h"

#include <QList>

class VoiceLevels;

// The platform speech service: the voices of every installed engine in one enumeration,
// in the order the engines are given, as the desktop's speech service lists them. One
// synthesis at a time across all engines: a call made while one speaks (from a nested
// handler) is turned away, and the voice list is then answered from the last one read.
// Every voice at every rate speaks at one loudness: its level, measured once on a
// reference text and kept in levels, brings it to kTargetLoudness at volume 100, and a
// lower volume takes 20·log10(volume / 100) dB off; a true-peak limiter after it keeps
// every sample below full scale. One level for a voice and rate, whatever the text.
class SpeechEngine final : public ISpeechEngine
{
public:
    /// Without levels every voice speaks at its engine's own loudness, limited all the same.
    explicit SpeechEngine(QList<ISpeechBackend *> engines, VoiceLevels *levels = nullptr);

    std::unique_ptr<ISpeechVoice> CreateVoice() override;
    std::unique_ptr<IAudioFileStream> CreateFileStream() override;
    QStringList VoiceDescriptions() override;
    QString VoiceLanguage(int index) override;
    QStringList VoiceLanguages() override;
    QString VoiceIdentity(int index, int rate) override;

    /// True when the voices of English-speaking users' engines come first for this locale
    /// ("en_GB", "C"): the user's language is English or none is set.
    static bool EnglishFirst(const QString &localeName);
    /// The text every voice's level is measured on.
    static QString LevelReference();

private:
    friend class CombinedVoice;
    struct Voice
    {
        ISpeechBackend *engine;
        int index;
        QString description;
    };
    const QList<Voice> &Voices();
    /// The voice's level at this rate in dB, measured when not yet known; 0 without levels.
    double LevelOf(const Voice &voice, int rate);
    /// Speaks with the voice at index (-1: the first), or throws; lineStarts as the backends fill it.
    void Speak(int index, const SpeechSettings &settings, const QString &text, class WavFileStream *output,
               QList<qint64> *lineStarts = nullptr);
    /// Speaks the passages one after another into output, each with its voice (-1: chosen).
    void SpeakPassages(int chosen, const SpeechSettings &settings, const QList<Passage> &passages,
                       class WavFileStream &output, QList<qint64> *lineStarts);
    void SpeakInto(int index, const SpeechSettings &settings, const QString &text, ISampleSink &output,
                   QList<qint64> *lineStarts);
    void Level(const Voice &voice, const SpeechSettings &levelled, const QString &text, ISampleSink &output,
               QList<qint64> *lineStarts);

    QList<ISpeechBackend *> m_engines;
    VoiceLevels *m_levels;
    QList<Voice> m_voices;
    bool m_synthesizing = false;
};
