// The text side of the pipeline: extraction and segmentation of a generated document.
//
//   vocatext-textside-bench [characters]      (default 300000, in about 4 000 paragraphs)
//
// Prints the time and throughput of each stage, the longest event-loop gap during the cut,
// the peak memory, and, when LibreOffice is installed, its own text export of the same
// document for comparison.
#include "bench/benchutil.h"
#include "system/privateworkingfolder.h"
#include "documents/odtreader.h"
#include "system/qteventloop.h"
#include "common/services.h"
#include "pipeline/cut.h"
#include "pipeline/writer1.h"
#include "api/documentreader.h"
#include "ui/boxreports.h"
#include "ui/messageboxes.h"
#include "api/workingfolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 characters = argc > 1 && argv[1][0] != '-' ? QString::fromLocal8Bit(argv[1]).toLongLong() : 300000;

    if (argc > 3 && qstrcmp(argv[1], "--make") == 0) {
        // The document is made by a child process, so the figures below are the pipeline's own.
        WriteOdt(QString::fromLocal8Bit(argv[3]),
                 EnglishParagraphs(QString::fromLocal8Bit(argv[2]).toLongLong(), QString::fromLocal8Bit(argv[2]).toInt() / 75));
        return 0;
    }
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    const QString document = dir.filePath(u"bench.odt"_s);
    QProcess::execute(QCoreApplication::applicationFilePath(),
                      {u"--make"_s, QString::number(characters), document});

    OdtReader reader;
    PrivateWorkingFolder working;
    QElapsedTimer timer;
    timer.start();
    ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), document);
    const double extractSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 textBytes = QFileInfo(dir.filePath(u"output.txt"_s)).size();

    PrintingBoxes boxes;
    QtEventLoop events;
    Services services;
    services.boxes = &boxes;
    BoxReports reports(boxes);
    services.reports = &reports;
    services.events = &events;
    services.workingFolder = &working;
    EventLoopGapMeter meter;
    meter.Start();
    QCoreApplication::processEvents();
    timer.restart();
    const int segments = CutTextFileFSO(reports, events, dir.filePath(u"output.txt"_s), SegmentLimitsForRate(0));
    const double cutSeconds = timer.nsecsElapsed() / 1e9;
    QCoreApplication::processEvents();

    std::printf("document: %d paragraphs, %lld characters of text\n", static_cast<int>(characters / 75),
                static_cast<long long>(textBytes));
    std::printf("extract:  %.4f s  %.1f MB/s\n", extractSeconds, textBytes / extractSeconds / 1e6);
    std::printf("cut:      %.4f s  %.1f MB/s  (%d segments at rate 0)\n", cutSeconds, textBytes / cutSeconds / 1e6,
                segments);
    std::printf("longest event-loop gap during the cut: %lld ms\n", static_cast<long long>(meter.LongestGapMs()));
    std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());

    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (!soffice.isEmpty()) {
        QProcess office;
        timer.restart();
        office.start(soffice, {u"--headless"_s, u"-env:UserInstallation=file://"_s + dir.filePath(u"lo"_s),
                               u"--convert-to"_s, u"txt:Text"_s, u"--outdir"_s, dir.filePath(u"lo-out"_s), document});
        office.waitForFinished(600000);
        const double officeSeconds = timer.nsecsElapsed() / 1e9;
        std::printf("office suite text export (first start of a fresh profile): %.2f s, %.0fx the extraction\n",
                    officeSeconds, officeSeconds / extractSeconds);
    }
    return 0;
}
