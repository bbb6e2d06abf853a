#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

// What the converter says on its terminal: one live line while it works (on a terminal),
// otherwise a line per finished document; every failure on standard error; a summary.
class Console
{
public:
    /// live: a terminal that shows the live line; quiet: failures alone.
    Console(bool live, bool quiet);

    bool Live() const { return m_live; }
    bool Quiet() const { return m_quiet; }
    /// A line of its own (standard error for a failure), paths as their bytes are.
    void Print(const QString &line, bool error = false);
    /// A line of progress (nothing with --quiet or on a terminal, which shows the live line).
    void Progress(const QString &line);
    /// True when the live line is to be drawn again: on a terminal, 250 ms after the last time.
    bool RefreshDue(bool force = false) const;
    /// The live line: documents done of total, the share of the work done, the documents in progress.
    void Refresh(int done, int total, double fraction, const QStringList &current, bool force = false);
    /// Takes the live line away before the summary.
    void EndLive();
    /// Seconds since the converter began.
    double Elapsed() const { return m_clock.elapsed() / 1000.0; }

    /// "m:ss" or "h:mm:ss".
    static QString Duration(double seconds);

private:
    bool m_live;
    bool m_quiet;
    QElapsedTimer m_clock;
    qint64 m_lastRefresh = -1000;
    QString m_line; // the live line shown now
};
