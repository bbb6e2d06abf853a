#include "common/helpers.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>


using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

bool FileExists(const QString &path)
{
    return static_cast<bool>(Fs::Stat(path));
}

bool FolderExists(const QString &path)
{
    const auto status = Fs::Stat(path);
    return status && status->kind == Fs::Kind::Directory;
}

void KillFile(IEventLoop &events, const QString &path)
{
    events.Yield();
    // Linux removes a read-only file too, and a link goes itself: no mode is ever
    // changed here, so nothing reached through a link can be opened up.
    const auto status = Fs::LinkStat(path);
    if (status && status->kind != Fs::Kind::Directory)
        Fs::Remove(path);
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

QString AbsolutePath(const QString &path)
{
    return QDir::cleanPath(path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path);
}

QString BelowFolder(const QString &folder, const QString &path)
{
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    if (!path.startsWith(prefix) || path.size() == prefix.size())
        return QString();
    return u"./"_s + path.mid(prefix.size());
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
    // Written beside its name and renamed over it, readable by the user alone; a link that
    // stands at the name is replaced, never written through.
    if (const int error = Fs::WriteReplacing(path, CodePage::Encode(text) + "\r\n", 0600))
        throw FileSystemError(error, path);
}

void WriteBinaryFile(IEventLoop &events, const QByteArray &bytes, const QString &path, unsigned mode)
{
    events.Yield();
    if (FileExists(path))
        return;
    // A failed write (a full disk, say) never leaves a truncated file that a later call
    // would trust; the file has its mode before it has its name.
    if (const int error = Fs::WriteReplacing(path, bytes, mode))
        throw FileSystemError(error, path);
}

bool FileHoldsBytes(const QString &path, const QByteArray &bytes)
{
    const auto status = Fs::LinkStat(path);
    if (!status || status->kind != Fs::Kind::Regular || status->owner != Fs::UserId() || status->size != bytes.size())
        return false;
    const auto held = Fs::ReadFile(path, bytes.size());
    return held && *held == bytes;
}

QString ReadTextFile(const QString &path)
{
    if (!FileExists(path))
        return QString();
    const auto bytes = Fs::ReadFile(path, qint64(1) << 30);
    if (!bytes)
        throw FileSystemError(bytes.Error(), path);
    if (bytes->isEmpty())
        return u"empty file"_s;
    return CodePage::Decode(*bytes);
}

QString QuotedForCommandLine(const QString &word)
{
    QString escaped = word;
    return u'"' + escaped.replace(u"\""_s, u"\"\"\""_s) + u'"';
}

QString LastErrorLine(const QString &errorOutput)
{
    static const QRegularExpression escapes(u"\x1b\\[[0-9;?]*[A-Za-z]"_s);
    static const QRegularExpression erasedLine(u"\x1b\\[0?K"_s);
    QString text = errorOutput;
    // What follows an erase to the end of the line is drawn anew: LAME's last words come
    // after its progress histogram on the same line.
    text.replace(erasedLine, u"\n"_s);
    text.remove(escapes);
    const QStringList lines = text.split(QRegularExpression(u"[\r\n]"_s), Qt::SkipEmptyParts);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString line = lines[i].trimmed();
        if (!line.isEmpty())
            return line;
    }
    return QString();
}

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
