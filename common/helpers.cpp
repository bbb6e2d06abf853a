#include "common/helpers.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool Stat(const QString &path, struct stat *st)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), st) == 0;
}

void WriteAll(int fd, const QByteArray &bytes, const QString &path)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw FileSystemError(err, path);
        }
        p += n;
        left -= n;
    }
}

} // namespace

bool FileExists(const QString &path)
{
    struct stat st;
    return Stat(path, &st);
}

bool FolderExists(const QString &path)
{
    struct stat st;
    return Stat(path, &st) && S_ISDIR(st.st_mode);
}

void KillFile(IEventLoop &events, const QString &path)
{
    events.Yield();
    if (path.isEmpty())
        return;
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return;
    if (::unlink(native.constData()) == 0)
        return;
    // The forced delete: make the file writable and try once more.
    ::chmod(native.constData(), st.st_mode | S_IWUSR);
    ::unlink(native.constData());
}

QString GetFileName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString GetFolderPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString StripExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 1 ? name.left(dot) : name;
}

QString GetShortPath(const QString &path)
{
    return FileExists(path) ? path : QString();
}

QString FixPathSlashes(const QString &path)
{
    QString out;
    out.reserve(path.size());
    qsizetype i = 0;
    if (path.startsWith(u'/')) {
        out.append(u'/');
        while (i < path.size() && path[i] == u'/')
            ++i;
    }
    while (i < path.size()) {
        out.append(path[i]);
        if (path[i] == u'/' && i + 1 < path.size() && path[i + 1] == u'/')
            i += 2; // the pair became one
        else
            ++i;
    }
    return out;
}

void WriteTextFile(const QString &text, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw FileSystemError(path.isEmpty() ? ENOENT : errno, path);
    WriteAll(fd, CodePage::Encode(text) + "\r\n", path);
    if (::close(fd) != 0)
        throw FileSystemError(errno, path);
}

void WriteBinaryFile(IEventLoop &events, const QByteArray &bytes, const QString &path)
{
    events.Yield();
    if (FileExists(path))
        return;
    // Written beside its final name and renamed at the end, so a failed write
    // (a full disk, say) never leaves a truncated file that a later call would trust.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    file.write(bytes);
    if (!file.commit())
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
}

QString ReadTextFile(const QString &path)
{
    if (!FileExists(path))
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    if (file.size() == 0)
        return u"empty file"_s;
    return CodePage::Decode(file.readAll());
}
