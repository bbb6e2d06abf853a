// The readers of Word documents and e-books against the OpenDocument reader, on the same
// generated text: an .odt, and the .docx and .epub that LibreOffice writes from it.
//
//   vocatext-readers-bench [characters]      (default 300000; needs LibreOffice to make
//                                             the .docx and .epub, which is not timed)
//
// Each document's text extraction (into the document text file, as the window's run does
// it) runs in a process of its own, so that its memory is its own: the time, the peak
// memory, and the growth of memory over the process before it read.
#include "bench/benchutil.h"
#include "common/runtimeerror.h"
#include "documents/dispatchingreader.h"
#include "pipeline/writer1.h"
#include "system/privateworkingfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

double ResidentMiB()
{
    QFile status(u"/proc/self/status"_s);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// The child: reads one document and prints "seconds peak growth characters".
int ReadOne(const QString &document)
{
    PrivateWorkingFolder working;
    DispatchingReader reader(nullptr, nullptr, nullptr, QString());
    const double before = ResidentMiB();
    QElapsedTimer timer;
    timer.start();
    try {
        ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), document);
    } catch (const RuntimeError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double peak = PeakMemoryMiB();
    std::printf("%.4f %.1f %.1f %lld\n", seconds, peak, peak - before,
                static_cast<long long>(QFileInfo(working.Path() + u"/output.txt"_s).size()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--read") == 0)
        return ReadOne(QString::fromLocal8Bit(argv[2]));
    if (argc > 3 && qstrcmp(argv[1], "--make") == 0) {
        const qint64 characters = QString::fromLocal8Bit(argv[2]).toLongLong();
        WriteOdt(QString::fromLocal8Bit(argv[3]), EnglishParagraphs(characters, static_cast<int>(characters / 75)));
        return 0;
    }
    const qint64 characters = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 300000;

    QTemporaryDir dir;
    qputenv("TEMP", QFile::encodeName(dir.path()));
    const QString odt = dir.filePath(u"bench.odt"_s);
    QProcess::execute(QCoreApplication::applicationFilePath(), {u"--make"_s, QString::number(characters), odt});
    QStringList documents{odt};
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty()) {
        std::printf("LibreOffice is not installed: only the .odt is read\n");
    } else {
        for (const QString &format : {u"docx:MS Word 2007 XML"_s, u"epub"_s}) {
            QProcess office;
            office.setStandardOutputFile(QProcess::nullDevice());
            office.setStandardErrorFile(QProcess::nullDevice());
            office.start(soffice, {u"--headless"_s, u"-env:UserInstallation=file://"_s + dir.filePath(u"lo"_s),
                                   u"--convert-to"_s, format, u"--outdir"_s, dir.path(), odt});
            office.waitForFinished(600000);
            documents.append(dir.filePath(u"bench."_s + format.section(u':', 0, 0)));
        }
    }
    std::printf("%-6s %10s %12s %9s %10s %11s\n", "type", "file", "text chars", "seconds", "peak MiB", "growth MiB");
    double odtGrowth = 0;
    for (const QString &document : std::as_const(documents)) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--read"_s, document});
        child.waitForFinished(600000);
        const QStringList figures = QString::fromLocal8Bit(child.readAllStandardOutput()).split(u' ');
        if (child.exitCode() != 0 || figures.size() < 4) {
            std::printf("%-6s failed: %s\n", QFileInfo(document).suffix().toUtf8().constData(),
                        child.readAllStandardError().constData());
            continue;
        }
        const double growth = figures[2].toDouble();
        if (document == odt)
            odtGrowth = growth;
        std::printf("%-6s %10lld %12lld %9.4f %10.1f %11.1f  %.1fx the .odt's growth\n",
                    QFileInfo(document).suffix().toUtf8().constData(), static_cast<long long>(QFileInfo(document).size()),
                    figures[3].trimmed().toLongLong(), figures[0].toDouble(), figures[1].toDouble(), growth,
                    odtGrowth > 0 ? growth / odtGrowth : 0.0);
    }
    return 0;
}
