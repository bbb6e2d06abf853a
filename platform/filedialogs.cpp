#include "platform/filedialogs.h"

#include <QStringList>

QString FileDialogResult(const QStringList &paths)
{
    if (paths.isEmpty())
        return QString();
    if (paths.size() == 1)
        return paths.first();
    auto folderOf = [](const QString &path) { return path.left(path.lastIndexOf(u'/')); };
    const QString folder = folderOf(paths.first());
    const bool oneFolder = std::all_of(paths.begin(), paths.end(),
                                       [&](const QString &path) { return folderOf(path) == folder; });
    // Files from several folders (typed with their folders, or chosen from the dialog's
    // recent or search views) come as paths below the root, so that every one is rebuilt
    // exactly as "/" + "/" + path.
    QString result = oneFolder && !folder.isEmpty() ? folder : QStringLiteral("/");
    for (const QString &path : paths) {
        result += QChar(u'\0');
        result += oneFolder ? path.mid(path.lastIndexOf(u'/') + 1) : path.mid(1);
    }
    return result;
}
