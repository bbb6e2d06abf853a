// The headless converter's memory as the number of documents grows.
//
//   vocatext-convert-memory-bench [count...]     (default 500 2000 8000)
//
// For each count: that many documents of one sentence in one folder, which
// vocatext-convert -j2 walks and converts. Prints the wall time; the converter's peak
// resident memory (its own, not its workers'); what each document added to the peak
// between one count and the next (the list of documents, held from the walk to the end);
// and what the converter's resident memory grew by per document converted, from the tenth
// part of the documents done to the last (flat: nothing a document leaves behind).
#include "bench/benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;

namespace {

struct Measured
{
    long peakKiB = 0;            // 0: the run failed
    double grownPerDocument = 0; // bytes of resident memory per document converted
};

long ResidentKiB(pid_t pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Runs the converter on count documents, watching its memory as the MP3s appear in out.
Measured Run(const QString &program, const QStringList &arguments, const QString &out, int count)
{
    QList<QByteArray> native{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        native.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &a : native)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return {};
    const int early = std::max(10, count / 10);
    long atEarly = 0;
    long atEnd = 0;
    int doneAtEarly = 0;
    int doneAtEnd = 0;
    int status = 0;
    struct rusage usage {};
    for (;;) {
        if (::wait4(pid, &status, WNOHANG, &usage) == pid)
            break;
        const int done = static_cast<int>(QDir(out).entryList(QDir::Files).size());
        const long resident = ResidentKiB(pid);
        if (atEarly == 0 && done >= early) {
            atEarly = resident;
            doneAtEarly = done;
        }
        if (resident > 0) {
            atEnd = resident;
            doneAtEnd = done;
        }
        ::usleep(100000);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    Measured measured;
    measured.peakKiB = usage.ru_maxrss;
    if (doneAtEnd > doneAtEarly)
        measured.grownPerDocument = double(atEnd - atEarly) * 1024 / (doneAtEnd - doneAtEarly);
    return measured;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> counts;
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        counts.append(argument.toInt());
    if (counts.isEmpty())
        counts = {500, 2000, 8000};
    const QString convert = QCoreApplication::applicationDirPath() + u"/../bin/vocatext-convert"_s;
    const QStringList sentence{u"A document of one sentence."_s};

    std::printf("%10s %9s %14s %20s %22s\n", "documents", "seconds", "peak RSS KiB", "peak bytes/document",
                "bytes/document done");
    long lastPeak = 0;
    int lastCount = 0;
    for (const int count : std::as_const(counts)) {
        QTemporaryDir docs;
        QTemporaryDir out;
        QTemporaryDir work;
        qputenv("TEMP", QFile::encodeName(work.path()));
        for (int i = 0; i < count; ++i)
            WriteOdt(docs.filePath(u"document %1.odt"_s.arg(i, 7, 10, QLatin1Char('0'))), sentence);
        QElapsedTimer timer;
        timer.start();
        const Measured measured = Run(convert,
                                      {u"--quiet"_s, u"-j"_s, u"2"_s, u"--voice"_s,
                                       u"eSpeak NG English (Great Britain)"_s, u"--out"_s, out.path(), docs.path()},
                                      out.path(), count);
        const double seconds = timer.elapsed() / 1000.0;
        if (measured.peakKiB == 0 || QDir(out.path()).entryList(QDir::Files).size() != count) {
            std::fprintf(stderr, "the conversion of %d documents failed\n", count);
            return 1;
        }
        const QByteArray perDocument =
            lastCount > 0 ? QByteArray::number(double(measured.peakKiB - lastPeak) * 1024 / (count - lastCount), 'f', 0)
                          : QByteArray("-");
        std::printf("%10d %9.1f %14ld %20s %22.1f\n", count, seconds, measured.peakKiB, perDocument.constData(),
                    measured.grownPerDocument);
        std::fflush(stdout);
        lastPeak = measured.peakKiB;
        lastCount = count;
    }
    return 0;
}
