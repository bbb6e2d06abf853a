#include "filelist/addfolder.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/mainwindow.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/documentlist.h"
#include "platform/filedialogs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxPathLength = 260;

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &other) const { return device == other.device && inode == other.inode; }
};
size_t qHash(const FolderId &id, size_t seed = 0)
{
    return ::qHash(static_cast<quint64>(id.device) * 1000003u ^ static_cast<quint64>(id.inode), seed);
}

// An open directory listing, closed on every way out.
class Listing
{
public:
    explicit Listing(const QString &folder)
        : m_dir(::opendir(QFile::encodeName(folder).constData()))
        , m_error(m_dir ? 0 : errno)
    {
    }
    ~Listing()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    Listing(const Listing &) = delete;
    Listing &operator=(const Listing &) = delete;

    int Error() const { return m_error; }
    dirent *Next() { return m_dir ? ::readdir(m_dir) : nullptr; }
    int Fd() const { return m_dir ? ::dirfd(m_dir) : -1; }

private:
    DIR *m_dir;
    int m_error;
};

bool IsDirectoryEntry(const Listing &listing, const dirent *entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(listing.Fd(), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool IsRoot(const QString &folder)
{
    return !folder.isEmpty() && folder.count(u'/') == folder.size();
}

bool FolderIdOf(const QString &folder, FolderId *id)
{
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

bool IsLink(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

void Walk(const Services &services, QStringList &folders, bool recurse, QSet<FolderId> &visited)
{
    Statements run(*services.boxes,
                   SiteTag(u"AddFolder"_s, u"GetSubDirectories2016"_s, QString::fromUtf16(kFolderWalkProjectTag)));
    IEventLoop &events = *services.events;
    QStringList next;
    run(104, [&] { next.clear(); });

    QStringList unlistable;
    for (const QString &v : std::as_const(folders)) {
        if (!run.If(108, [&] { return FolderExists(v); }))
            continue;
        if (!run.If(110, [&] { return v.size() < kMaxPathLength; }))
            continue; // its sub-folders are not listed, but it stays in the list
        FolderId id{};
        run(112, [&] {
            if (FolderIdOf(v, &id))
                visited.insert(id);
        });
        run(114, [&] { events.Yield(); });
        const bool listed = run.If(116, [&] { return IsWalkedFolderAttributes(FileAttributes(v), IsRoot(v)); });
        if (!listed)
            continue;

        // From here on failures are not reported: a folder that cannot be listed is left out.
        Listing listing(v);
        if (listing.Error() == EACCES || listing.Error() == EPERM || listing.Error() == ENOENT
            || listing.Error() == ENOTDIR) {
            unlistable.append(v);
            continue;
        }
        while (const dirent *entry = listing.Next()) {
            if (!IsDirectoryEntry(listing, entry))
                continue;
            events.Yield();
            const QString name = QFile::decodeName(entry->d_name);
            if (name.size() >= kMaxPathLength || HasUnsafeChars(name) || name.contains(u'?') || name == u"."_s
                || name == u".."_s)
                continue;
            const QString sub = v + name + u'/';
            // A symbolic link back into the walk would repeat it without end: follow each folder once.
            FolderId subId{};
            if (IsLink(v + name) && FolderIdOf(sub, &subId) && visited.contains(subId))
                continue;
            if (FolderIdOf(sub, &subId))
                visited.insert(subId);
            next.append(sub);
        }
    }
    for (const QString &v : std::as_const(unlistable))
        folders.removeOne(v);

    if (run.If(150, [&] { return recurse && !next.isEmpty(); }))
        Walk(services, next, true, visited);
    for (const QString &w : std::as_const(next)) {
        if (run.If(154, [&] { return FolderExists(w); })) {
            run(156, [&] { events.Yield(); });
            if (run.If(158, [&] { return IsWalkedFolderAttributes(FileAttributes(w), IsRoot(w)); }))
                run(160, [&] { folders.append(w); });
        }
    }
}

} // namespace

int FileAttributes(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat linkStat;
    if (path.isEmpty() || ::lstat(native.constData(), &linkStat) != 0)
        throw FileSystemError(errno, path);
    int attributes = 0;
    struct stat st = linkStat;
    if (S_ISLNK(linkStat.st_mode)) {
        attributes |= FileAttribute::Link;
        if (::stat(native.constData(), &st) != 0)
            st = linkStat; // a dangling link: describe the link itself
    }
    attributes |= S_ISDIR(st.st_mode) ? FileAttribute::Directory : FileAttribute::Archive;
    QString name = path;
    while (name.size() > 1 && name.endsWith(u'/'))
        name.chop(1);
    if (GetFileName(name).startsWith(u'.') && GetFileName(name) != u"."_s && GetFileName(name) != u".."_s)
        attributes |= FileAttribute::Hidden;
    if (::access(native.constData(), W_OK) != 0)
        attributes |= FileAttribute::ReadOnly;
    return attributes;
}

QString BrowseForFolder(IFileDialogs &dialogs, const QString &prompt, const QString &start)
{
    return dialogs.PickFolder(prompt, start);
}

bool CanOpenFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasUnsafeChars(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        }
        const int code = CodePage::Asc(c);
        if (code < 32 || code == 63 || (code >= 127 && code <= 159))
            return true;
    }
    return false;
}

QStringList ListFolderFiles(const QString &folder, const QString &pattern)
{
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    const bool everyFile = pattern == u"*.*"_s;
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    Listing listing(base);
    while (const dirent *entry = listing.Next()) {
        if (IsDirectoryEntry(listing, entry))
            continue;
        // The listing works in the code page: a character it cannot hold comes out as "?",
        // and the file is then not found under its listed name.
        const QString name = CodePage::Decode(CodePage::Encode(QFile::decodeName(entry->d_name)));
        if (!everyFile && !match.match(name).hasMatch())
            continue;
        if (CanOpenFile(base + name))
            names.append(name);
    }
    return names;
}

void GetSubDirectories2016(const Services &services, QStringList &folders, bool recurse)
{
    QSet<FolderId> visited;
    Walk(services, folders, recurse, visited);
}

void AddFolderFiles(Statements &run, const Services &services, IDocumentList &list, const QString &folder,
                    const QString &pattern)
{
    QStringList folders;
    run(112, [&] { folders = QStringList{folder + u'/'}; });
    run(114, [&] { GetSubDirectories2016(services, folders, true); });
    // Listing thousands of folders: the window is served every 20 ms.
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (const QString &entry : std::as_const(folders)) {
        if (sinceYield.elapsed() >= 20) {
            services.events->Yield();
            sinceYield.restart();
        }
        QString v;
        run(118, [&] { v = entry.chopped(1); });
        QStringList names;
        run(120, [&] { names = ListFolderFiles(v, pattern); });
        for (const QString &name : std::as_const(names)) {
            if (!run.If(124, [&] { return !name.startsWith(u'~'); }))
                continue;
            QString path;
            run(126, [&] { path = v + u'/' + name; });
            // Only the exact sum 34 (hidden, archive) is refused: lock files and such.
            if (run.If(128, [&] { return CanOpenFile(path) && IsAcceptedFileAttributes(FileAttributes(path)); }))
                run([&] { list.Append(FixPathSlashes(path)); });
        }
    }
}

void PushButton4_Click(const Services &services, IMainWindow &window)
{
    Statements run(*services.boxes, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    QString extension;
    run(100, [&] { extension = u"odt"_s; });
    run(104, [&] { WriteSetting(*services.settings, u"Extension"_s, extension); });
    QString picked;
    run(106, [&] {
        picked = BrowseForFolder(*services.dialogs, u"Please select folder:"_s,
                                 ReadSetting(*services.settings, u"LastFolder"_s, QString()));
    });
    if (!run.If(108, [&] { return !picked.isEmpty(); }))
        return;
    QString folder;
    run(333, [&] { folder = picked; });
    run(334, [&] { WriteSetting(*services.settings, u"LastFolder"_s, folder); });
    run(110, [&] { window.SetPointer(MousePointer::Hourglass); });
    AddFolderFiles(run, services, window.ListView1(), folder, u"*."_s + extension);
    run(132, [&] { window.SetPointer(MousePointer::Default); });
}
