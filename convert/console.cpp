#include "convert/console.h"

#include "filesystem/filesystem.h"

#include <cstdio>

using namespace Qt::StringLiterals;

Console::Console(bool live, bool quiet)
    : m_live(live && !quiet)
    , m_quiet(quiet)
{
    m_clock.start();
}

QString Console::Duration(double seconds)
{
    const qint64 s = static_cast<qint64>(seconds + 0.5);
    if (s >= 3600)
        return u"%1:%2:%3"_s.arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

void Console::Print(const QString &line, bool error)
{
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    std::fprintf(error ? stderr : stdout, "%s\n", FileSystem::NativeName(line).constData());
    std::fflush(error ? stderr : stdout);
    if (m_live && !m_line.isEmpty()) {
        std::fprintf(stdout, "%s", m_line.toLocal8Bit().constData());
        std::fflush(stdout);
    }
}

void Console::Progress(const QString &line)
{
    if (!m_quiet && !m_live)
        Print(line);
}

bool Console::RefreshDue(bool force) const
{
    return m_live && (force || m_clock.elapsed() - m_lastRefresh >= 250);
}

void Console::Refresh(int done, int total, double fraction, const QStringList &current, bool force)
{
    if (!RefreshDue(force))
        return;
    m_lastRefresh = m_clock.elapsed();
    const double elapsed = Elapsed();
    QString line = u"[%1/%2] %3%  %4 elapsed"_s.arg(done).arg(total).arg(qRound(fraction * 100)).arg(Duration(elapsed));
    if (fraction > 0.02)
        line += u", "_s + Duration(elapsed * (1 - fraction) / fraction) + u" left"_s;
    if (!current.isEmpty())
        line += u"  "_s + current.join(u", "_s);
    if (line.size() > 150)
        line = line.left(147) + u"..."_s;
    m_line = line;
    std::fprintf(stdout, "\r\x1b[K%s", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void Console::EndLive()
{
    if (m_live)
        std::fputs("\r\x1b[K", stdout);
    m_line.clear();
}
