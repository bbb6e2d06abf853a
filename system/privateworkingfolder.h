#pragma once

#include "filesystem/filesystem.h"
#include "api/workingfolder.h"

#include <QString>

class IDiagnostics;

// Folders that Vocatext makes for itself carry a mark, a file that Vocatext wrote inside
// with content of its own. A folder is only ever removed whole when it carries the mark:
// a folder of the user's that merely has a name Vocatext would choose is never touched.

/// Makes the folder (it must not exist yet) with mode 0700 and writes the mark into it;
/// 0 or the errno value (a folder half made is removed again).
int MakeMarkedFolder(const QString &path);
/// True when the path is a folder of the user's own, not a link, that carries the mark.
bool IsMarkedFolder(const QString &path);
/// Removes the folder with everything in it when it carries the mark; true when it did.
bool RemoveMarkedFolder(const QString &path);

/// The opened program, when it is a regular file of the user's that nobody else may write
/// and holds exactly bytes; otherwise throws RuntimeError naming path.
FileSystem::File VerifiedProgram(FileSystem::Result<FileSystem::File> opened, const QString &path,
                                 const QByteArray &bytes);

// The working folder is always private to the user. TEMP (made absolute) is used as it is
// when it is the user's own folder that nobody else may write; otherwise the private
// folder "vocatext-<uid>" inside it (or inside the system's temporary folder when TEMP is
// unset), created with mode 0700. A folder is private only when no folder above it can be
// changed by anyone but the user and root (each owned by one of them and writable by
// nobody else unless sticky, as written and as its links lead), so nobody can put
// another folder in its place. A folder that is not private or cannot be made (a TEMP
// that is missing or that the user may not write) is refused once, with its cause on the
// diagnostics, and then replaced by "vocatext" under $XDG_RUNTIME_DIR (or
// ~/.cache/vocatext); when that cannot be used either, every working path is an error.
//
// Each instance locks its folder for its lifetime; an instance that finds it locked
// works in a folder of its own beside it ("<folder>-2", "-3", ...), made fresh under a
// name that is free and marked, and removed when the instance ends. Marked folders left
// by instances that died are removed when the next instance takes the folder; a folder
// of such a name without the mark is the user's and is left alone.
class PrivateWorkingFolder final : public IWorkingFolder
{
public:
    explicit PrivateWorkingFolder(IDiagnostics *diagnostics = nullptr);
    ~PrivateWorkingFolder() override;
    PrivateWorkingFolder(const PrivateWorkingFolder &) = delete;
    PrivateWorkingFolder &operator=(const PrivateWorkingFolder &) = delete;

    QString Path() override;
    QString ForDisplay() override;
    FileSystem::File OpenProgram(const QString &name, const QByteArray &bytes) override;
    QString MakeJobFolder() override;
    void RemoveJobFolder(const QString &folder) override;
    /// Removes the job folders that a converter which died left in the folder (only those
    /// that carry the program's mark).
    void RemoveLeftJobFolders();

    /// Removes a folder of this instance's own now, for an end that runs no destructors.
    void Release();

    /// The private folder inside a folder that others may write: folder + "/vocatext-<uid>".
    static QString PrivateFolderIn(const QString &folder);

    /// Why a folder above path can be changed by someone other than the user and root; ""
    /// when none can.
    static QString WhyFoldersAboveAreOpen(const QString &path);

private:
    QString Chosen();
    QString Fallback(QString *why);
    QString Locked(const QString &folder);

    IDiagnostics *m_diagnostics;
    QString m_refused;       // a folder refused once: its fallback is used from then on
    QString m_refusal;       // why, in the words of the error
    bool m_noneReported = false; // the diagnostics know that no folder can be used
    QString m_lockedBase;    // the folder whose lock decided m_instance
    QString m_instance;      // the folder this instance works in
    bool m_ownFolder = false; // m_instance is a folder of this instance's own, beside the base
    FileSystem::FolderLock m_lock;
    QString m_lastPath;
    int m_jobs = 0; // job folders made
};

