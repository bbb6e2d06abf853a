#include "common/workingfolder.h"

#include "common/runtimeerror.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString TempVariable()
{
    return qEnvironmentVariable("TEMP");
}

} // namespace

QString PrivateWorkingFolder()
{
    return QDir::tempPath() + u"/vocatext-"_s + QString::number(::getuid());
}

QString WorkingFolder()
{
    const QString temp = TempVariable();
    if (!temp.isEmpty())
        return temp;

    const QString folder = PrivateWorkingFolder();
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw FileSystemError(errno, folder);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        throw FileSystemError(errno, folder);
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        throw RuntimeError(u"Working folder is not private: "_s + folder, ErrorNumber::PermissionDenied);
    // Our own folder opened up to others (by hand, say) is closed again.
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(native.constData(), 0700) != 0)
        throw RuntimeError(u"Working folder is not private: "_s + folder, ErrorNumber::PermissionDenied);
    return folder;
}

QString WorkingPath(const QString &name)
{
    return WorkingFolder() + u'/' + name;
}

QString WorkingFolderForDisplay()
{
    const QString temp = TempVariable();
    return temp.isEmpty() ? PrivateWorkingFolder() : temp;
}
