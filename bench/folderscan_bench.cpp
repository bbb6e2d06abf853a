// "Add All ODT Files In Folder" on a generated tree of 2 000 folders and 20 000 files
// (10 % .odt), into the real list widget.
//
//   vocatext-folderscan-bench [folders] [files per folder]
//
// Prints the time to fill the list and the longest gap of the event loop during it.
#include "app/controls.h"
#include "bench/benchutil.h"
#include "system/qteventloop.h"
#include "common/services.h"
#include "common/statements.h"
#include "filelist/addfolder.h"
#include "ui/boxreports.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// A tree of the given number of folders, ten sub-folders a folder, level by level.
void MakeTree(const QString &root, int folders, int filesPerFolder)
{
    QStringList queue = {root};
    int made = 0;
    for (qsizetype next = 0; made < folders; ++next) {
        const QString parent = queue[next];
        for (int i = 0; i < 10 && made < folders; ++i, ++made) {
            const QString folder = parent + u"/folder "_s + QString::number(i);
            QDir().mkdir(folder);
            queue.append(folder);
            for (int f = 0; f < filesPerFolder; ++f) {
                const QString name = f == 0 ? u"chapter.odt"_s : u"notes "_s + QString::number(f) + u".txt"_s;
                QFile file(folder + u'/' + name);
                file.open(QIODevice::WriteOnly);
                file.write("x");
            }
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int folders = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    const int files = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;

    QTemporaryDir dir;
    const QString root = dir.filePath(u"tree"_s);
    QDir().mkdir(root);
    MakeTree(root, folders, files);

    PrintingBoxes boxes;
    QtEventLoop events;
    Services services;
    services.boxes = &boxes;
    BoxReports reports(boxes);
    services.reports = &reports;
    services.events = &events;
    DocumentListView list;
    list.setHeaderLabels({u" ODT File(s)"_s});
    list.resize(520, 163);
    list.show();
    QCoreApplication::processEvents();

    EventLoopGapMeter meter;
    meter.Start();
    QElapsedTimer timer;
    timer.start();
    Statements run(reports, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    AddFolderFiles(run, services, list, root, u"*.odt"_s);
    const double seconds = timer.nsecsElapsed() / 1e9;
    QCoreApplication::processEvents();

    std::printf("tree: %d folders, %d files; list filled with %d documents in %.3f s\n", folders, folders * files,
                list.Count(), seconds);
    std::printf("longest event-loop gap: %lld ms\n", static_cast<long long>(meter.LongestGapMs()));
    std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());
    return 0;
}
