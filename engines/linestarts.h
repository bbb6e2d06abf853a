#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <vector>

// Where each line of a text that an engine speaks begins to be heard. The engine says
// where in the text it begins to speak (Reached) and hands over every sample it makes, in
// order (Heard). A line begins at the first sound from there: a word that begins with a
// stop begins with a closure of silence, an utterance with a pause. A line with no sound
// before the next line is reached, or within two seconds, begins where it was reached.
class LineStartTracker
{
public:
    /// text: the bytes spoken (lines end at LF); level: the gain from the engine's samples to
    /// what is heard at volume 100 (see LevelStage), which sets what counts as sound.
    LineStartTracker(const QByteArray &text, double level, int sampleRate);

    /// The engine begins to speak the text at this byte offset at this sample.
    void Reached(qint64 offset, qint64 sample);
    /// The next samples of the speech.
    void Heard(const qint16 *samples, qint64 count);
    /// One start per line, in samples scaled by scale; lines never reached begin at the end.
    QList<qint64> Starts(double scale = 1.0);

private:
    void Resolve(qint64 sample);

    std::vector<qint64> m_lineOffsets; // where each line begins in the text
    QList<qint64> m_starts;            // the lines resolved so far, in order
    qsizetype m_pendingTo = 0;         // lines up to here wait for their first sound
    qint64 m_pendingSample = 0;
    qint64 m_position = 0; // samples heard
    int m_threshold;
    qint64 m_lookahead;
};
