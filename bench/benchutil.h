#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "ui/messageboxes.h"

// Helpers shared by the benchmarks.

/// About paragraphCount paragraphs of English text, from the licence texts that ship with
/// Debian, holding at least the given number of characters.
QStringList EnglishParagraphs(qint64 characters, int paragraphCount);
/// Writes an .odt package whose body holds the paragraphs, one text:p each; with
/// headingEvery, every so many a heading (text:h) instead.
void WriteOdt(const QString &path, const QStringList &paragraphs, int headingEvery = 0);
/// Peak resident memory of this process in MiB.
double PeakMemoryMiB();

// Measures how long the event loop went without running: a 10 ms timer's longest gap.
class EventLoopGapMeter : public QObject
{
public:
    EventLoopGapMeter();
    void Start();
    /// The longest gap in milliseconds since Start.
    qint64 LongestGapMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Message boxes that print what they would show; questions are answered No.
class PrintingBoxes final : public IMessageBoxes
{
public:
    void SetApplicationTitle(const QString &) override {}
    void Information(const QString &text) override;
    bool Question(const QString &) override { return false; }
    void ErrorReport(const QString &text) override;
};
