#include "platform/filedialogs.h"

#include <QStringList>

QString FileDialogResult(const QStringList &paths)
{
    if (paths.isEmpty())
        return QString();
    if (paths.size() == 1)
        return paths.first();
    const QString first = paths.first();
    const qsizetype slash = first.lastIndexOf(u'/');
    QString folder = first.left(slash);
    if (folder.isEmpty())
        folder = QStringLiteral("/"); // the root keeps its "/"
    QString result = folder;
    for (const QString &path : paths)
        result += QChar(u'\0') + path.mid(path.lastIndexOf(u'/') + 1);
    return result;
}
