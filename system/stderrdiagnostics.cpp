#include "system/stderrdiagnostics.h"

#include <cstdio>

void StderrDiagnostics::Write(const QString &line)
{
    QString oneLine = line;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    std::fprintf(stderr, "vocatext: %s\n", oneLine.toLocal8Bit().constData());
    std::fflush(stderr);
}
