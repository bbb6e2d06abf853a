#include "pipeline/piececache.h"

#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <vector>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// The format of the entries: a cache of another format lives in a folder of its own.
constexpr char16_t kEntriesFolder[] = u"pieces-1";
constexpr char kMagic[] = "vocatext piece 1\n";
constexpr qint64 kLargestEntry = qint64(256) << 20;

bool IsEntryName(const QString &name)
{
    return name.size() == 64 && std::all_of(name.begin(), name.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
           });
}

// A folder of the user's alone: made when missing, its mode set to 0700; never a link.
QString PrivateFolderProblem(const QString &folder)
{
    auto status = Fs::LinkStat(folder);
    if (!status && status.Error() == ENOENT) {
        // ~/.cache itself may not be there yet on a fresh account: it is made as private.
        const QString parent = folder.left(folder.lastIndexOf(u'/'));
        if (!parent.isEmpty() && !Fs::LinkStat(parent) && Fs::LinkStat(parent).Error() == ENOENT)
            PrivateFolderProblem(parent);
        if (const int error = Fs::MakeFolder(folder, 0700); error != 0 && error != EEXIST)
            return FileSystemError(error, folder).description();
        status = Fs::LinkStat(folder);
    }
    if (!status)
        return FileSystemError(status.Error(), folder).description();
    if (status->kind != Fs::Kind::Directory)
        return folder + u" is not a folder"_s;
    if (status->owner != Fs::UserId())
        return folder + u" belongs to another user"_s;
    if ((status->mode & 077) != 0 && Fs::SetFolderMode(folder, 0700) != 0)
        return folder + u" may be changed by others"_s;
    return QString();
}

QByteArray Digest(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

PieceCache::PieceCache(QString root, qint64 limitBytes)
    : m_folder(root + u'/' + QString::fromUtf16(kEntriesFolder))
    , m_limit(limitBytes)
{
    QString problem = PrivateFolderProblem(root);
    if (problem.isEmpty())
        problem = PrivateFolderProblem(m_folder);
    m_serves = problem.isEmpty();
    m_problem = problem;
}

void PieceCache::Refuse(const QString &why)
{
    m_serves = false;
    if (m_problem.isEmpty())
        m_problem = why;
}

QString PieceCache::DefaultRoot()
{
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    if (xdg.startsWith(u'/'))
        return xdg + u"/vocatext"_s;
    return QDir::homePath() + u"/.cache/vocatext"_s;
}

QByteArray PieceCache::Key(const QStringList &parts, const QByteArray &words)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &part : parts) {
        hash.addData(part.toUtf8());
        hash.addData(QByteArrayView("\0", 1));
    }
    hash.addData(words);
    return hash.result().toHex();
}

QString PieceCache::EntryPath(const QByteArray &key) const
{
    return m_folder + u'/' + QString::fromLatin1(key.left(2)) + u'/' + QString::fromLatin1(key);
}

std::optional<CachedPiece> PieceCache::Find(const QByteArray &key)
{
    if (!m_serves || !IsEntryName(QString::fromLatin1(key)))
        return std::nullopt;
    const QString path = EntryPath(key);
    const auto status = Fs::LinkStat(path);
    if (!status)
        return std::nullopt;
    // Magic, the digest of all that follows it, then the key, seconds, line starts and the audio.
    const auto bytes = status->kind == Fs::Kind::Regular && status->owner == Fs::UserId()
                           ? Fs::ReadFile(path, kLargestEntry)
                           : Fs::Result<QByteArray>::Failure(EPERM);
    std::optional<CachedPiece> piece;
    if (bytes && bytes->startsWith(kMagic)) {
        const qsizetype body = bytes->indexOf('\n', sizeof kMagic - 1) + 1;
        const QByteArrayView rest = QByteArrayView(*bytes).sliced(body);
        // The key, the seconds and the line starts, a line each, then the audio.
        qsizetype ends[3] = {-1, -1, -1};
        for (qsizetype i = 0, from = 0; i < 3 && from >= 0; ++i)
            from = (ends[i] = rest.indexOf('\n', from)) >= 0 ? ends[i] + 1 : -1;
        if (body > 0 && ends[2] >= 0 && bytes->mid(sizeof kMagic - 1, body - sizeof kMagic) == Digest(rest)
            && rest.first(ends[0]) == key) {
            CachedPiece found;
            found.spoken.seconds = rest.sliced(ends[0] + 1, ends[1] - ends[0] - 1).toByteArray().toDouble();
            for (const QByteArray &start : rest.sliced(ends[1] + 1, ends[2] - ends[1] - 1).toByteArray().split(','))
                if (!start.isEmpty())
                    found.spoken.lineStarts.append(start.toLongLong());
            found.audio = rest.sliced(ends[2] + 1).toByteArray();
            piece = std::move(found);
        }
    }
    if (!piece) {
        if (status->kind == Fs::Kind::Regular || status->kind == Fs::Kind::Link)
            Fs::Remove(path); // damaged, cut or planted: never used
        return std::nullopt;
    }
    QFile(path).setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return piece;
}

bool PieceCache::Keep(const QByteArray &key, const QString &audioPath, const SpokenFacts &spoken)
{
    if (!m_serves || !IsEntryName(QString::fromLatin1(key)))
        return false;
    const auto audio = Fs::ReadFile(audioPath, kLargestEntry);
    if (!audio)
        return false;
    QByteArray starts;
    for (const qint64 start : spoken.lineStarts)
        starts += QByteArray::number(start) + ',';
    const QByteArray rest = key + '\n' + QByteArray::number(spoken.seconds, 'g', 17) + '\n' + starts + '\n' + *audio;
    const QString path = EntryPath(key);
    if (const QString problem = PrivateFolderProblem(m_folder + u'/' + QString::fromLatin1(key.left(2)));
        !problem.isEmpty()) {
        Refuse(problem);
        return false;
    }
    // Written aside and renamed when whole: a reader finds the whole entry or none.
    if (const int error = Fs::WriteReplacing(path, QByteArray(kMagic) + Digest(rest) + '\n' + rest, 0600)) {
        Refuse(error == ENOSPC ? u"the disk of "_s + m_folder + u" is full"_s : FileSystemError(error, path).description());
        return false;
    }
    return true;
}

void PieceCache::Trim()
{
    if (!m_serves)
        return;
    struct Entry
    {
        qint64 used;
        qint64 size;
        QString path;
    };
    std::vector<Entry> entries;
    qint64 total = 0;
    const auto folders = Fs::ListFolder(m_folder);
    if (!folders)
        return;
    for (const Fs::Entry &folder : *folders) {
        if (!folder.folder || folder.name.size() != 2)
            continue;
        const QString sub = m_folder + u'/' + folder.name;
        Fs::RemoveLeftTemporaries(sub); // entries that a killed converter began to write
        const auto names = Fs::ListFolder(sub);
        if (!names)
            continue;
        for (const Fs::Entry &name : *names) {
            const QString path = sub + u'/' + name.name;
            const auto status = Fs::LinkStat(path);
            if (!IsEntryName(name.name) || !status || status->kind != Fs::Kind::Regular || status->owner != Fs::UserId())
                continue;
            entries.push_back({status->modifiedNs, status->size, path});
            total += status->size;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.used < b.used; });
    for (const Entry &entry : entries) {
        if (total <= m_limit)
            break;
        if (Fs::Remove(entry.path) == 0)
            total -= entry.size;
    }
}
