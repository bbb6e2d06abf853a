#pragma once

#include <QString>
#include <QtGlobal>

// Tells work that makes no progress (a stopped process, a machine that swaps, a stuck
// engine): a file it writes that has not grown for a while, or, without one, time alone.
class ProgressWatch
{
public:
    explicit ProgressWatch(qint64 startedMs = 0)
        : m_progressAt(startedMs)
    {
    }
    /// True when, at nowMs, the work has shown no progress for more than limitMs: file (when
    /// given) has kept its size so long, or without a file the work began so long ago.
    bool Stalled(qint64 nowMs, const QString &file, qint64 limitMs);

private:
    qint64 m_progressAt;
    qint64 m_grown = -1;
};

/// What is said when work stopped for making no progress stalls a second time, and so fails
/// (the first time it is tried again: then ""). what names the work ("piece 3", "the join").
QString SecondStall(int &stalls, const QString &what, int limitSeconds);
