#include "platform/shell.h"

#include "common/runtimeerror.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString DesktopOrHomeFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QDir(desktop).exists())
        return desktop;
    const QString home = QDir::homePath();
    if (home.isEmpty() || !QDir(home).exists())
        throw RuntimeError(u"The desktop folder cannot be found"_s, ErrorNumber::PathNotFound);
    return home;
}
