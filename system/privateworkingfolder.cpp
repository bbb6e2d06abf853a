#include "system/privateworkingfolder.h"

#include "common/runtimeerror.h"
#include "common/diagnostics.h"

#include <QDir>

#include <cerrno>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

constexpr int kMaxInstances = 64;

constexpr char16_t kMarkName[] = u".vocatext-folder";
constexpr char kMarkText[] = "This folder was made by Vocatext for its working files.\n"
                             "Vocatext removes it, with everything inside, once no Vocatext uses it.\n";

enum class Privacy { Private, NotPrivate, Failed };

// Creates the folder with mode 0700 when it is missing and checks that it is the user's
// own folder, not a link; a folder of the user's that others may enter is closed again.
Privacy MakePrivate(const QString &folder, int *error)
{
    *error = Fs::MakeFolder(folder, 0700);
    if (*error == EEXIST)
        *error = 0;
    const auto status = Fs::LinkStat(folder);
    if (!status) {
        if (*error == 0)
            *error = status.Error();
        return Privacy::Failed;
    }
    if (status->kind != Fs::Kind::Directory || status->owner != Fs::UserId())
        return Privacy::NotPrivate;
    if ((status->mode & 077) != 0 && Fs::SetFolderMode(folder, 0700) != 0)
        return Privacy::NotPrivate;
    return Privacy::Private;
}

// True when the folder is (made) private, false when it is not the user's own; throws
// when it can be neither made nor examined.
bool IsMadePrivate(const QString &folder)
{
    int error = 0;
    const Privacy privacy = MakePrivate(folder, &error);
    if (privacy == Privacy::Failed)
        throw FileSystemError(error, folder);
    return privacy == Privacy::Private;
}

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

RuntimeError NotPrivate(const QString &folder)
{
    return RuntimeError(u"Working folder is not private: "_s + folder, ErrorNumber::PermissionDenied);
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

QString PrivateWorkingFolder::Path()
{
    m_lastPath = Locked(Chosen());
    return m_lastPath;
}

QString PrivateWorkingFolder::ForDisplay()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    return m_lastPath.isEmpty() ? PrivateFolderIn(QDir::tempPath()) : m_lastPath;
}

QString PrivateWorkingFolder::Chosen()
{
    const QString temp = qEnvironmentVariable("TEMP");
    QString base = QDir::tempPath();
    if (!temp.isEmpty()) {
        // Made absolute, so that no working path can be taken for an option or be relative.
        const QString absolute = QDir::cleanPath(QDir(temp).absolutePath());
        const auto status = Fs::Stat(absolute);
        if (!status || status->kind != Fs::Kind::Directory)
            return absolute; // every use fails, and the working-folder check names it
        if (status->owner == Fs::UserId() && (status->mode & 022) == 0)
            return absolute;
        base = absolute;
    }
    const QString folder = PrivateFolderIn(base);
    if (folder == m_refused)
        return Fallback();
    if (IsMadePrivate(folder))
        return folder;
    // Refused once, loudly; from then on the fallback serves, so a run still works.
    m_refused = folder;
    QString instead;
    try {
        instead = u"; Vocatext works in "_s + Fallback() + u" instead"_s;
    } catch (const RuntimeError &e) {
        instead = u"; no other folder can be used either: "_s + e.description();
    }
    if (m_diagnostics)
        m_diagnostics->Write(u"Working folder is not private: "_s + folder + u" ("_s + WhyNotPrivate(folder) + u')'
                             + instead);
    throw NotPrivate(folder);
}

QString PrivateWorkingFolder::Fallback()
{
    QString folder;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const auto status = Fs::Stat(runtime);
    if (!runtime.isEmpty() && status && status->kind == Fs::Kind::Directory && status->owner == Fs::UserId()
        && (status->mode & 077) == 0) {
        folder = QDir::cleanPath(runtime) + u"/vocatext"_s;
    } else {
        const QString cache = QDir::homePath() + u"/.cache"_s;
        Fs::MakeFolder(cache, 0700);
        folder = cache + u"/vocatext"_s;
    }
    if (IsMadePrivate(folder))
        return folder;
    throw NotPrivate(folder);
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

JobWorkingFolder::JobWorkingFolder(QString folder)
    : m_folder(std::move(folder))
{
}

QString JobWorkingFolder::Path()
{
    if (!IsOwnFolder(Fs::LinkStat(m_folder)))
        throw NotPrivate(m_folder);
    return m_folder;
}
