#pragma once

#include "engines/speechbackend.h"

#include <QList>
#include <QString>

class IEventLoop;

// espeak-ng, called in-process: every language, robotic. There is one per process:
// espeak-ng keeps its state in globals. Speech is 22 050 Hz 16-bit mono, its own format;
// every line end of a text ends a clause, as espeak-ng's -l option makes it.
class EspeakEngine final : public ISpeechBackend
{
public:
    /// Starts espeak-ng; locale ("en_GB") decides which voice is listed first.
    EspeakEngine(IEventLoop &events, const QString &locale);
    ~EspeakEngine() override;
    EspeakEngine(const EspeakEngine &) = delete;
    EspeakEngine &operator=(const EspeakEngine &) = delete;

    QStringList Voices() override;
    QString Language(int voice) override;
    QString Version() override;
    void Speak(int voice, const SpeechSettings &settings, const QString &text, ISampleSink *output,
               QList<qint64> *lineStarts = nullptr) override;

    /// Voices of espeak-ng's list with the one for the user's language moved to the front.
    /// languagesOf gives a voice's (priority, language tag) pairs.
    static QList<int> OrderForLocale(const QList<QList<std::pair<int, QString>>> &languagesOf,
                                     const QString &locale);

private:
    struct Voice
    {
        QString identifier;
        QString description;
        QString language; // the first the voice lists
    };
    const QList<Voice> &Listed();

    IEventLoop &m_events;
    QString m_locale;
    QString m_startError;
    QList<Voice> m_voices;
    bool m_playbackMode = false;
};
