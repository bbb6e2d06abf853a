#include "convert/stalls.h"

#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;

bool ProgressWatch::Stalled(qint64 nowMs, const QString &file, qint64 limitMs)
{
    if (!file.isEmpty()) {
        const auto status = FileSystem::Stat(file);
        const qint64 size = status ? status->size : -1;
        if (size != m_grown) {
            m_grown = size;
            m_progressAt = nowMs;
        }
    }
    return nowMs - m_progressAt > limitMs;
}

QString SecondStall(int &stalls, const QString &what, int limitSeconds)
{
    if (++stalls < 2)
        return QString();
    return what + u" made no progress for "_s + QString::number(limitSeconds) + u" seconds, twice; it was stopped"_s;
}
