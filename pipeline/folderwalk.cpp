#include "pipeline/folderwalk.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/statements.h"
#include "common/documentlist.h"

#include "filesystem/filesystem.h"

#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <optional>

using namespace Qt::StringLiterals;

namespace Fs = FileSystem;

namespace {

constexpr int kMaxPathLength = 260;

struct FolderId
{
    quint64 device;
    quint64 inode;
    bool operator==(const FolderId &other) const { return device == other.device && inode == other.inode; }
};
size_t qHash(const FolderId &id, size_t seed = 0)
{
    return ::qHash(id.device * 1000003u ^ id.inode, seed);
}

bool IsRoot(const QString &folder)
{
    return !folder.isEmpty() && folder.count(u'/') == folder.size();
}

std::optional<FolderId> FolderIdOf(const QString &folder)
{
    const auto status = Fs::Stat(folder);
    if (!status)
        return std::nullopt;
    return FolderId{status->device, status->inode};
}

bool IsLink(const QString &path)
{
    const auto status = Fs::LinkStat(path);
    return status && status->kind == Fs::Kind::Link;
}

// The desktop's trash: the user's $XDG_DATA_HOME/Trash (~/.local/share/Trash by default)
// and every folder named ".Trash" or ".Trash-<uid>".
bool IsTrashFolder(const QString &path, const QString &name)
{
    static const QRegularExpression pattern(u"^\\.Trash(-[0-9]+)?$"_s);
    if (pattern.match(name).hasMatch())
        return true;
    if (name != u"Trash"_s)
        return false;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !dataHome.startsWith(u'/'))
        dataHome = QDir::homePath() + u"/.local/share"_s;
    const auto trash = Fs::Stat(dataHome + u"/Trash"_s);
    const auto here = Fs::Stat(path);
    return trash && here && trash->SameFileAs(*here);
}

void Walk(IFailureHandler &reports, const CoreServices &services, QStringList &folders, bool recurse,
          QSet<FolderId> &visited)
{
    Statements run(reports,
                   SiteTag(u"AddFolder"_s, u"GetSubDirectories2016"_s, QString::fromUtf16(kFolderWalkProjectTag)));
    IEventLoop &events = services.Events();
    QStringList next;
    run(104, [&] { next.clear(); });

    QStringList unlistable;
    for (const QString &v : std::as_const(folders)) {
        if (!run.If(108, [&] { return FolderExists(v); }))
            continue;
        if (!run.If(110, [&] { return v.size() < kMaxPathLength; }))
            continue; // its sub-folders are not listed, but it stays in the list
        run(112, [&] {
            if (const auto id = FolderIdOf(v))
                visited.insert(*id);
        });
        run(114, [&] { events.Yield(); });
        // Hidden system folders (the trash among them) are not walked into; a folder whose
        // attributes cannot be read is not either.
        if (run.If(116, [&] { return !IsRoot(v) && !IsWalkedFolderAttributes(FileAttributes(v), false); }))
            continue;

        // From here on failures are not reported: a folder that cannot be listed is left out.
        const auto listing = Fs::ListFolder(v);
        if (!listing) {
            const int error = listing.Error();
            if (error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR)
                unlistable.append(v);
            continue;
        }
        QStringList names;
        for (const Fs::Entry &entry : *listing) {
            if (entry.folder)
                names.append(entry.name);
        }
        SortForListing(names);
        for (const QString &name : std::as_const(names)) {
            events.Yield();
            if (name.size() >= kMaxPathLength || HasUnsafeChars(name) || name.contains(u'?') || name == u"."_s
                || name == u".."_s)
                continue;
            const QString sub = v + name + u'/';
            // A symbolic link back into the walk would repeat it without end: follow each folder once.
            const auto subId = FolderIdOf(sub);
            if (IsLink(v + name) && subId && visited.contains(*subId))
                continue;
            if (subId)
                visited.insert(*subId);
            next.append(sub);
        }
    }
    for (const QString &v : std::as_const(unlistable))
        folders.removeOne(v);

    if (run.If(150, [&] { return recurse && !next.isEmpty(); }))
        Walk(reports, services, next, true, visited);
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
    const auto linkStatus = Fs::LinkStat(path);
    if (!linkStatus)
        throw FileSystemError(linkStatus.Error(), path);
    int attributes = 0;
    Fs::Status status = *linkStatus;
    if (linkStatus->kind == Fs::Kind::Link) {
        attributes |= FileAttribute::Link;
        if (const auto target = Fs::Stat(path))
            status = *target; // a dangling link is described as the link itself
    }
    const bool folder = status.kind == Fs::Kind::Directory;
    attributes |= folder ? FileAttribute::Directory : FileAttribute::Archive;
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const QString name = GetFileName(trimmed);
    if (name.startsWith(u'.') && name != u"."_s && name != u".."_s)
        attributes |= FileAttribute::Hidden;
    // The trash is a hidden system folder, as a recycle bin is: a scan never walks into deleted files.
    if (folder && IsTrashFolder(trimmed, name))
        attributes |= FileAttribute::Hidden | FileAttribute::System;
    if (!Fs::MayWrite(path))
        attributes |= FileAttribute::ReadOnly;
    return attributes;
}

void SortForListing(QStringList &names)
{
    // As a file manager shows them: natural ("Chapter 2" before "Chapter 10") and
    // case-insensitive in the user's locale; names that it finds equal keep a fixed order.
    // The "C" locale has no collation of its own (Qt would compare code points): English
    // stands in for it.
    const QLocale system = QLocale::system();
    QCollator collator(system.language() == QLocale::C ? QLocale(QLocale::English) : system);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QCollatorSortKey, QString>> keyed;
    keyed.reserve(static_cast<size_t>(names.size()));
    for (const QString &name : std::as_const(names))
        keyed.emplace_back(collator.sortKey(name), name);
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        const int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = keyed[static_cast<size_t>(i)].second;
}

bool CanOpenFile(const QString &path)
{
    const auto status = Fs::Stat(path);
    return status && status->kind == Fs::Kind::Regular;
}

bool HasUnsafeChars(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        }
        // Letters of every script are a name's as they are; control characters, and bytes
        // that are no text at all (kept as lone surrogates), are not.
        const int code = CodePage::Asc(c);
        if (c == u'?' || code != '?') {
            if (code < 32 || code == 63 || (code >= 127 && code <= 159))
                return true;
        } else if (QChar::isSurrogate(c) || QChar::category(c) == QChar::Other_Control
                   || QChar::category(c) == QChar::Other_NotAssigned) {
            return true;
        }
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
    const auto listing = Fs::ListFolder(base);
    if (!listing)
        return names;
    for (const Fs::Entry &entry : *listing) {
        if (entry.folder)
            continue;
        const QString &name = entry.name;
        if (HasUnsafeChars(name) || (!everyFile && !match.match(name).hasMatch()))
            continue;
        if (CanOpenFile(base + name))
            names.append(name);
    }
    SortForListing(names);
    return names;
}

void GetSubDirectories2016(IFailureHandler &reports, const CoreServices &services, QStringList &folders, bool recurse)
{
    QSet<FolderId> visited;
    Walk(reports, services, folders, recurse, visited);
}

void AddFolderFiles(Statements &run, const CoreServices &services, IDocumentList &list, const QString &folder,
                    const QString &pattern)
{
    QStringList folders;
    run(112, [&] { folders = QStringList{folder + u'/'}; });
    run(114, [&] { GetSubDirectories2016(run.Handler(), services, folders, true); });
    // Listing thousands of folders: the window is served every 20 ms.
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (const QString &entry : std::as_const(folders)) {
        if (sinceYield.elapsed() >= 20) {
            services.Events().Yield();
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
