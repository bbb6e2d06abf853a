#include "filelist/addfiles.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/statements.h"
#include "filelist/addfolder.h"
#include "common/documentlist.h"
#include "ui/filedialogs.h"
#include "ui/messageboxes.h"

#include <QElapsedTimer>

using namespace Qt::StringLiterals;

void PushButton3_Click(const Services &services, IDocumentList &list)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton3_Click"_s));
    const QString title = u"Add File(s) - Use Ctrl & Shift to select multiple files"_s;
    const QString filter = u"Open Office Writer Documents (*.odt)|*.odt"_s;
    constexpr int options = 2621953; // multiple selection, explorer style, long names, read-only ticked

    QString result;
    bool tooMany = false;
    run(108, [&] {
        try {
            result = services.Dialogs().OpenFiles(QString(), options, title, filter);
        } catch (const RuntimeError &e) {
            if (e.number() != ErrorNumber::BufferTooSmall)
                throw;
            tooMany = true;
        }
    });
    if (tooMany) {
        services.Boxes().Information(
            u"You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s);
        return;
    }
    if (!run.If(110, [&] { return !result.isEmpty(); }))
        return;
    QStringList parts;
    run(112, [&] { parts = result.split(QChar(u'\0')); });
    if (run.If(114, [&] { return parts.size() == 1; })) {
        run(116, [&] { list.Append(parts.first()); });
        return;
    }
    if (run.If(120, [&] { return parts.size() > 1; })) {
        for (qsizetype i = 1; i < parts.size(); ++i) {
            QString path;
            run(128, [&] { path = parts[0] + u'/' + parts[i]; });
            run(130, [&] { path = FixPathSlashes(path); });
            run(132, [&] { list.Append(path); });
        }
    }
}

void DropOnList(const Services &services, IDocumentList &list, const QStringList &paths)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"ListView1_OLEDragDrop"_s));
    // Thousands of dropped files: the window is served every 20 ms of appending.
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (const QString &path : paths) {
        if (FolderExists(path)) {
            AddFolderFiles(run, services, list, path, u"*.*"_s); // each folder with a list of its own
        } else {
            run([&] { list.Append(path); });
        }
        if (sinceYield.elapsed() >= 20) {
            services.Events().Yield();
            sinceYield.restart();
        }
    }
}
