#include "common/runtimeerror.h"

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

RuntimeError::RuntimeError(QString description, int number)
    : m_description(std::move(description))
    , m_number(number)
    , m_what(m_description.toUtf8())
{
}

RuntimeError FileSystemError(int errnoValue, const QString &path)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        return RuntimeError(u"Path not found: "_s + path, ErrorNumber::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
        return RuntimeError(u"Permission denied: "_s + path, ErrorNumber::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
        return RuntimeError(u"Disk full: "_s + path, ErrorNumber::DiskFull);
    default:
        // The cause is named: a name too long for its folder, a loop of links, ...
        return FileAccessError(path, QString::fromLocal8Bit(std::strerror(errnoValue)));
    }
}

RuntimeError FileAccessError(const QString &path, const QString &cause)
{
    return RuntimeError(u"Path/File access error: "_s + path + (cause.isEmpty() ? QString() : u" ("_s + cause + u')'),
                        ErrorNumber::PathFileAccessError);
}
