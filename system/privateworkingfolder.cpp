#include "system/privateworkingfolder.h"

#include "common/runtimeerror.h"
#include "common/diagnostics.h"
#include "common/helpers.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

constexpr int kMaxInstances = 64;

constexpr char16_t kMarkName[] = u".vocatext-folder";
constexpr char kMarkText[] = "This folder was made by Vocatext for its working files.\n"
                             "Vocatext removes it, with everything inside, once no Vocatext uses it.\n";

// Why a folder can be changed by someone other than the user and root: "" when it cannot.
QString ChangeableBy(const Fs::Status &status)
{
    if (status.owner != Fs::UserId() && status.owner != 0)
        return u"it belongs to user "_s + QString::number(status.owner);
    if ((status.mode & 022) != 0 && (status.mode & 01000) == 0)
        return u"others may write it, and it is not sticky"_s;
    return QString();
}

// What refuses a folder: the error's words, and why in a few words more; empty when none.
struct Refusal
{
    QString description;
    QString why;
};

QString WhyNotPrivate(const QString &folder)
{
    const auto status = Fs::LinkStat(folder);
    if (!status)
        return u"it cannot be examined"_s;
    if (status->kind == Fs::Kind::Link)
        return u"it is a symbolic link"_s;
    if (status->kind != Fs::Kind::Directory)
        return u"it is not a folder"_s;
    if (status->owner != Fs::UserId())
        return u"it belongs to user "_s + QString::number(status->owner);
    return u"its permissions cannot be closed"_s;
}

// Makes the folder private when nothing above it can be changed by others: created with
// mode 0700 when it is missing, and only the user's own folder, not a link, is taken (a
// folder of the user's that others may enter is closed again). Nothing is made under a
// folder that others may change.
Refusal MadePrivate(const QString &folder)
{
    if (const QString why = PrivateWorkingFolder::WhyFoldersAboveAreOpen(folder); !why.isEmpty())
        return {u"Working folder is not private: "_s + folder, why};
    int error = Fs::MakeFolder(folder, 0700);
    if (error == EEXIST)
        error = 0;
    const auto status = Fs::LinkStat(folder);
    if (!status) {
        const RuntimeError failure = FileSystemError(error ? error : status.Error(), folder);
        return {failure.description(), u"it cannot be made"_s};
    }
    if (status->kind != Fs::Kind::Directory || status->owner != Fs::UserId()
        || ((status->mode & 077) != 0 && Fs::SetFolderMode(folder, 0700) != 0))
        return {u"Working folder is not private: "_s + folder, WhyNotPrivate(folder)};
    return {};
}

// An existing folder (or one that cannot be examined for want of rights) that the user may
// not write and does not own: another user's, whose files the user cannot delete.
bool IsOtherUsersFolder(const QString &path)
{
    const auto status = Fs::Stat(path);
    if (!status)
        return status.Error() == EACCES;
    return status->owner != Fs::UserId() && !Fs::MayWrite(path);
}

// The user's home folder: HOME, or the password database's when HOME is unset.
QString HomeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return Fs::NameFromNative(entry->pw_dir);
    return QString();
}

bool IsOwnFolder(const Fs::Result<Fs::Status> &status)
{
    return status && status->kind == Fs::Kind::Directory && status->owner == Fs::UserId();
}

} // namespace

namespace {

// Writes the mark into a folder just made; 0 or errno (the folder is then removed again).
int WriteMark(const QString &path)
{
    auto mark = Fs::CreateFresh(path + u'/' + QString::fromUtf16(kMarkName), 0600);
    int error = mark ? mark->Write(QByteArrayView(kMarkText)) : mark.Error();
    if (mark && error == 0)
        error = mark->Close();
    if (error != 0)
        Fs::RemoveTree(path);
    return error;
}

} // namespace

int MakeMarkedFolder(const QString &path)
{
    if (const int error = Fs::MakeFolder(path, 0700))
        return error;
    return WriteMark(path);
}

bool IsMarkedFolder(const QString &path)
{
    if (!IsOwnFolder(Fs::LinkStat(path)))
        return false;
    const QString mark = path + u'/' + QString::fromUtf16(kMarkName);
    const auto status = Fs::LinkStat(mark);
    if (!status || status->kind != Fs::Kind::Regular || status->owner != Fs::UserId())
        return false;
    const auto bytes = Fs::ReadFile(mark, sizeof kMarkText);
    return bytes && *bytes == QByteArrayView(kMarkText);
}

bool RemoveMarkedFolder(const QString &path)
{
    return IsMarkedFolder(path) && Fs::RemoveTree(path) == 0;
}

PrivateWorkingFolder::PrivateWorkingFolder(IDiagnostics *diagnostics)
    : m_diagnostics(diagnostics)
{
}

PrivateWorkingFolder::~PrivateWorkingFolder()
{
    Release();
}

QString PrivateWorkingFolder::PrivateFolderIn(const QString &folder)
{
    return (folder == u"/"_s ? QString() : folder) + u"/vocatext-"_s + QString::number(Fs::UserId());
}

QString PrivateWorkingFolder::WhyFoldersAboveAreOpen(const QString &path)
{
    // Each folder from the root down to the path's own folder, followed where it is a link
    // (the link itself lies in the folder checked before it).
    auto along = [](const QString &clean) -> QString {
        for (qsizetype slash = 0; slash >= 0 && slash < clean.size(); slash = clean.indexOf(u'/', slash + 1)) {
            const QString folder = slash == 0 ? u"/"_s : clean.left(slash);
            const auto status = Fs::Stat(folder);
            if (!status)
                return u"the folder "_s + folder + u" above it cannot be examined"_s;
            if (const QString why = ChangeableBy(*status); !why.isEmpty())
                return u"the folder "_s + folder + u" above it can be changed by others ("_s + why + u')';
        }
        return QString();
    };
    const QString clean = QDir::cleanPath(path);
    if (const QString why = along(clean); !why.isEmpty())
        return why;
    // And the folders its links lead through: those of the path itself when it is there
    // (a TEMP that is a link), else those of its folder.
    QString canonical = Fs::CanonicalPath(clean);
    if (canonical.isEmpty()) {
        const QString parent = clean.left(std::max<qsizetype>(1, clean.lastIndexOf(u'/')));
        canonical = Fs::CanonicalPath(parent);
        if (canonical.isEmpty())
            return u"the folder "_s + parent + u" above it cannot be examined"_s;
        canonical = (canonical == u"/"_s ? QString() : canonical) + u"/x"_s;
    }
    return canonical == clean ? QString() : along(canonical);
}

QString PrivateWorkingFolder::Path()
{
    m_lastPath = Locked(Chosen());
    return m_lastPath;
}

QString PrivateWorkingFolder::ForDisplay()
{
    // The user is asked to delete files in the folder named: never one of another user's.
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty() && !IsOtherUsersFolder(temp))
        return temp;
    return m_lastPath.isEmpty() ? QDir::tempPath() : m_lastPath;
}

Fs::File PrivateWorkingFolder::OpenProgram(const QString &name, const QByteArray &bytes)
{
    const QString folder = Path();
    // From the descriptor of the folder that was checked and locked, not from its name.
    const int descriptor = m_lock.Descriptor();
    return VerifiedProgram(descriptor >= 0 ? Fs::OpenInFolder(descriptor, name) : Fs::Result<Fs::File>::Failure(EBADF),
                           folder + u'/' + name, bytes);
}

QString PrivateWorkingFolder::Chosen()
{
    const QString temp = qEnvironmentVariable("TEMP");
    QString base = QDir::tempPath();
    QString folder;
    Refusal refusal;
    if (!temp.isEmpty()) {
        // Made absolute, so that no working path can be taken for an option or be relative.
        const QString absolute = AbsolutePath(temp);
        const auto status = Fs::Stat(absolute);
        if (!status || status->kind != Fs::Kind::Directory) {
            // A TEMP that names no folder: nothing is made there.
            folder = absolute;
            refusal = {FileSystemError(status ? ENOTDIR : status.Error(), absolute).description(),
                       u"TEMP names no folder"_s};
        } else if (status->owner == Fs::UserId() && (status->mode & 022) == 0) {
            folder = absolute;
            if (const QString why = WhyFoldersAboveAreOpen(folder); !why.isEmpty())
                refusal = {u"Working folder is not private: "_s + folder, why};
        } else {
            base = absolute;
        }
    }
    if (folder.isEmpty()) {
        folder = PrivateFolderIn(base);
        if (folder != m_refused)
            refusal = MadePrivate(folder);
    }
    if (folder == m_refused)
        return Fallback(nullptr);
    if (refusal.description.isEmpty())
        return folder;

    // Refused once, loudly; from then on the fallback serves, so a run still works.
    m_refused = folder;
    m_refusal = refusal.description + u" ("_s + refusal.why + u')';
    QString instead;
    QString fallbackWhy;
    try {
        instead = u"; Vocatext works in "_s + Fallback(&fallbackWhy) + u" instead"_s;
    } catch (const RuntimeError &) {
        instead = u"; no other folder can be used either: "_s + fallbackWhy;
        m_noneReported = true;
    }
    if (m_diagnostics)
        m_diagnostics->Write(m_refusal + instead);
    throw RuntimeError(refusal.description, ErrorNumber::PermissionDenied);
}

QString PrivateWorkingFolder::Fallback(QString *why)
{
    // "vocatext" in the user's runtime folder, else in ~/.cache: the first that is private.
    QStringList candidates;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const auto status = Fs::Stat(runtime);
    if (!runtime.isEmpty() && status && status->kind == Fs::Kind::Directory && status->owner == Fs::UserId()
        && (status->mode & 077) == 0)
        candidates.append(QDir::cleanPath(runtime) + u"/vocatext"_s);
    const QString cache = HomeFolder() + u"/.cache"_s;
    candidates.append(cache + u"/vocatext"_s);
    QString cause;
    for (const QString &folder : std::as_const(candidates)) {
        if (folder.startsWith(cache) && PrivateWorkingFolder::WhyFoldersAboveAreOpen(cache).isEmpty())
            Fs::MakeFolder(cache, 0700);
        const Refusal refusal = MadePrivate(folder);
        if (refusal.description.isEmpty())
            return folder;
        cause = refusal.description + u" ("_s + refusal.why + u')';
    }
    if (why)
        *why = cause;
    // No folder at all: every working path fails, with both causes.
    const QString none = u"No private working folder can be used: "_s + m_refusal + u"; "_s + cause;
    if (m_diagnostics && !m_noneReported && why == nullptr)
        m_diagnostics->Write(none);
    m_noneReported = m_noneReported || why == nullptr;
    throw RuntimeError(none, ErrorNumber::PermissionDenied);
}

QString PrivateWorkingFolder::Locked(const QString &folder)
{
    if (folder == m_lockedBase && m_lock.IsHeld()) {
        // Still the very folder that is locked?
        const auto now = Fs::LinkStat(m_instance);
        const auto locked = m_lock.LockedStatus();
        if (now && locked && now->kind == Fs::Kind::Directory && now->SameFileAs(*locked))
            return m_instance;
    }
    Release();
    m_lockedBase = folder;
    m_instance = folder;
    m_lock = Fs::FolderLock(folder);
    if (m_lock.IsHeld()) {
        // The marked folders of instances that died are removed; live ones stay locked.
        for (int n = 2; n <= kMaxInstances; ++n) {
            const QString sibling = folder + u'-' + QString::number(n);
            if (IsMarkedFolder(sibling) && Fs::FolderLock(sibling).IsHeld())
                Fs::RemoveTree(sibling);
        }
        return folder;
    }
    if (!IsOwnFolder(Fs::LinkStat(folder)))
        return folder; // a missing or unusable folder cannot be locked: every use fails on its own

    // Another instance works here: this one takes a folder of its own beside it, made
    // fresh under a free name. A marked one left by an instance that died is removed
    // first; anything else of such a name is the user's and stays as it is.
    int lastError = 0;
    for (int n = 2; n <= kMaxInstances; ++n) {
        const QString own = folder + u'-' + QString::number(n);
        if (IsMarkedFolder(own) && Fs::FolderLock(own).IsHeld())
            Fs::RemoveTree(own);
        if (const int made = Fs::MakeFolder(own, 0700)) {
            if (made != EEXIST)
                lastError = made;
            continue;
        }
        // Locked before it is marked, so another instance never takes it for a dead one's.
        Fs::FolderLock lock(own);
        if (!lock.IsHeld())
            continue;
        if (const int error = WriteMark(own)) {
            lastError = error;
            continue;
        }
        m_lock = std::move(lock);
        m_instance = own;
        m_ownFolder = true;
        return own;
    }
    throw RuntimeError(u"The working folder is in use and no folder of this instance's own can be made beside it: "_s
                           + folder + (lastError ? u" ("_s + FileSystemError(lastError, folder).description() + u')'
                                                 : QString()),
                       ErrorNumber::PermissionDenied);
}

void PrivateWorkingFolder::Release()
{
    if (m_ownFolder && !m_instance.isEmpty())
        RemoveMarkedFolder(m_instance);
    m_ownFolder = false;
    m_lock = Fs::FolderLock();
    m_lockedBase.clear();
    m_instance.clear();
}

namespace {
// The job folders' names in the working folder begin so.
const QString kJobPrefix = u"vt-job-"_s;
} // namespace

QString PrivateWorkingFolder::MakeJobFolder()
{
    const QString base = Path();
    // A fresh folder under a name that is free: one that stands there is never emptied.
    int error = EEXIST;
    QString folder;
    for (int n = 0; error == EEXIST && n < 1000; ++n) {
        folder = base + u'/' + kJobPrefix + QString::number(m_jobs) + (n ? u'-' + QString::number(n) : QString());
        error = MakeMarkedFolder(folder);
    }
    ++m_jobs;
    if (error != 0)
        throw RuntimeError(u"No working folder can be made for it: "_s + FileSystemError(error, folder).description(),
                           error);
    return folder;
}

void PrivateWorkingFolder::RemoveJobFolder(const QString &folder)
{
    RemoveMarkedFolder(folder);
}

void PrivateWorkingFolder::RemoveLeftJobFolders()
{
    // This instance holds the folder: the job folders in it belong to a converter that died.
    const QString base = Path();
    if (const auto entries = Fs::ListFolder(base)) {
        for (const Fs::Entry &entry : *entries) {
            if (entry.folder && entry.name.startsWith(kJobPrefix))
                RemoveMarkedFolder(base + u'/' + entry.name);
        }
    }
}

Fs::File VerifiedProgram(Fs::Result<Fs::File> opened, const QString &path, const QByteArray &bytes)
{
    if (!opened)
        throw FileSystemError(opened.Error(), path);
    const auto status = Fs::StatusOf(*opened);
    const auto held = status && status->kind == Fs::Kind::Regular && status->owner == Fs::UserId()
                              && (status->mode & 022) == 0 && status->size == bytes.size()
                          ? Fs::ReadOpen(*opened, bytes.size())
                          : Fs::Result<QByteArray>::Failure(EPERM);
    if (!held || *held != bytes)
        throw RuntimeError(u"The program is not the one Vocatext wrote, so it is not started: "_s + path,
                           ErrorNumber::PermissionDenied);
    return std::move(*opened);
}
