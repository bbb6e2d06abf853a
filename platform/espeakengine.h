#pragma once

#include "platform/speechengine.h"

#include <QList>
#include <QString>

class IEventLoop;

// The speech engine on espeak-ng, called in-process. There is one per process: espeak-ng
// keeps its state in globals. Speech is 22 050 Hz 16-bit mono; while a file is being
// spoken the engine yields to the event loop about every 30 ms so the window repaints,
// and turns away nested calls (espeak-ng is not re-entrant).
class EspeakEngine final : public ISpeechEngine
{
public:
    /// Starts espeak-ng; locale ("en_GB") decides which voice is listed first.
    EspeakEngine(IEventLoop &events, const QString &locale);
    ~EspeakEngine() override;
    EspeakEngine(const EspeakEngine &) = delete;
    EspeakEngine &operator=(const EspeakEngine &) = delete;

    std::unique_ptr<ISpeechVoice> CreateVoice() override;
    std::unique_ptr<IAudioFileStream> CreateFileStream() override;
    QStringList VoiceDescriptions() override;

    /// Words per minute for a rate of -10 to 10: round(175 × 3^(rate/10)), at least 80.
    static int WordsPerMinute(int rate);

    struct Voice
    {
        QString identifier;
        QString description;
    };
    /// Voices of espeak-ng's list with the one for the user's language moved to the front.
    /// languagesOf gives a voice's (priority, language tag) pairs.
    static QList<int> OrderForLocale(const QList<QList<std::pair<int, QString>>> &languagesOf,
                                     const QString &locale);

private:
    friend class EspeakVoice;
    struct Settings
    {
        int index = -1;
        int volume = 100;
        int rate = 0;
    };
    /// Speaks text into the stream (null: the default audio output).
    void Synthesize(const Settings &settings, const QString &text, class WavFileStream *output);
    const QList<Voice> &Voices();

    IEventLoop &m_events;
    QString m_locale;
    QString m_startError;
    QList<Voice> m_voices;
    bool m_synthesizing = false;
    bool m_playbackMode = false;
};
