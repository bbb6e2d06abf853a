#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// The program's one door to the POSIX file-system calls. Queries answer a Result that is
// empty when the path cannot be examined and then carries the C errno value; actions
// answer 0 or the errno value. Nothing here ever follows a symbolic link that it creates,
// removes or replaces: a link is replaced or removed itself, never its target.
namespace FileSystem {

/// The bytes the file system knows a path by: UTF-8, and every byte that NameFromNative
/// kept as U+DC80..U+DCFF given back as it was, so a name that is not UTF-8 reaches the
/// same file.
QByteArray NativeName(QStringView path);
/// A name from the bytes the file system gave: UTF-8 decoded, and every byte outside a
/// valid UTF-8 sequence kept as U+DC00 + the byte, never replaced.
QString NameFromNative(QByteArrayView bytes);

/// A value, or the errno value of the failure that stopped it.
template<typename T>
class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    {
    }
    static Result Failure(int error) { return Result(error, 0); }

    explicit operator bool() const { return m_value.has_value(); }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }
    /// The errno value of a failure; 0 for a value.
    int Error() const { return m_error; }

private:
    Result(int error, int)
        : m_error(error)
    {
    }
    std::optional<T> m_value;
    int m_error = 0;
};

enum class Kind { Regular, Directory, Link, Other };

struct Status
{
    Kind kind = Kind::Other;
    unsigned mode = 0; // the permission bits
    unsigned owner = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0; // last modification, nanoseconds since the epoch
    quint64 device = 0;
    quint64 inode = 0;

    bool SameFileAs(const Status &other) const { return device == other.device && inode == other.inode; }
};

/// The status of what the path names, links followed.
Result<Status> Stat(const QString &path);
/// The status of the path itself: a link is described as a link.
Result<Status> LinkStat(const QString &path);
/// The path with every link in it resolved, "." and ".." removed; "" when it cannot be resolved.
QString CanonicalPath(const QString &path);
/// True when the file system that holds path has no room left for the user.
bool IsFull(const QString &path);
/// True when the user may write the path.
bool MayWrite(const QString &path);
/// The real user id of the program.
unsigned UserId();
/// The mode that the process's umask leaves of mode.
unsigned WithUmask(unsigned mode);

/// Removes the entry itself (a link, never its target); folders are left alone (EISDIR).
int Remove(const QString &path);
/// Creates a folder with the mode.
int MakeFolder(const QString &path, unsigned mode);
/// Renames within one file system; whatever stood at to (a link too) is replaced.
int Rename(const QString &from, const QString &to);
/// Sets the permission bits of a folder that is not a link.
int SetFolderMode(const QString &path, unsigned mode);
/// Removes a folder with everything in it, never following a link inside it.
int RemoveTree(const QString &path);

struct Entry
{
    QString name;
    bool folder = false; // a folder, or a link to one
};
/// The entries of a folder other than "." and "..", in the file system's order.
Result<std::vector<Entry>> ListFolder(const QString &path);

/// The bytes of a regular file, at most limit of them (a larger file is EFBIG).
Result<QByteArray> ReadFile(const QString &path, qint64 limit);

// An open file, closed when the object goes.
class File
{
public:
    File() = default;
    explicit File(int fd)
        : m_fd(fd)
    {
    }
    ~File();
    File(File &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    /// Hands the descriptor over; the object no longer closes it.
    int Release() { return std::exchange(m_fd, -1); }
    /// Writes all bytes; 0 or errno.
    int Write(QByteArrayView bytes);
    /// Reads at most size bytes; their number, 0 at the end, -1 on failure (errno tells).
    qint64 Read(char *buffer, qint64 size);
    /// Closes the file; 0 or errno (a full disk can show only here).
    int Close();

private:
    int m_fd = -1;
};

/// Opens a regular file for reading (links followed).
Result<File> OpenForReading(const QString &path);
/// Opens the entry name of the folder open at folderDescriptor for reading, never through
/// a link (ELOOP) and never a folder.
Result<File> OpenInFolder(int folderDescriptor, const QString &name);
/// The status of an open file.
Result<Status> StatusOf(const File &file);
/// The bytes of an open regular file from its first, at most limit of them (more is EFBIG).
Result<QByteArray> ReadOpen(const File &file, qint64 limit);

/// Creates the file afresh for writing: an entry that stands at the path (a file, a link)
/// is removed first, then the file is created exclusively, without following a link.
Result<File> CreateFresh(const QString &path, unsigned mode);
/// Creates a new file of a unique name in folder, exclusively: prefix, eight random
/// letters (so it cannot be guessed), suffix. Returns its path and the file, locked
/// (flock) as long as it is open, so that a temporary file in use is told from one that a
/// killed run left behind.
Result<std::pair<QString, File>> CreateUnique(const QString &folder, const QString &prefix, unsigned mode,
                                              const QString &suffix = QString());
/// The temporary names of files written beside their final path begin so and end in
/// kTemporarySuffix: short, so that every name a folder can hold can be written so.
inline constexpr char16_t kTemporaryPrefix[] = u".vt-";
inline constexpr char16_t kTemporarySuffix[] = u".part";
/// Removes the temporary files (kTemporaryPrefix, eight letters, kTemporarySuffix) of
/// folder that a run which ended left behind: regular files of the user's that nobody
/// holds locked and that nobody has written for olderThanSeconds. Returns their number.
int RemoveLeftTemporaries(const QString &folder, int olderThanSeconds = 60);
/// Locks the file at path as a temporary file in use (see CreateUnique) while the returned
/// file is open; an unopened file when it cannot be opened.
File HoldTemporary(const QString &path);

/// Marks a file as one the program wrote (an extended attribute, the link itself when path
/// is one); 0 or errno (ENOTSUP where the file system keeps no such attributes).
int MarkAsProgramOutput(const QString &path);
/// True when the file at path (not followed when it is a link) carries that mark and has not
/// been written over since it was marked.
bool IsProgramOutput(const QString &path);

// A file written under a temporary name beside its final path and renamed over it when
// complete, so the path holds either its old content or all of the new. Dropped without
// Commit(), the temporary file is removed.
class ReplacingFile
{
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    /// Creates the temporary file for path; 0 or errno.
    int Open(const QString &path, unsigned mode);
    /// 0 or errno.
    int Write(QByteArrayView bytes);
    /// Empties the temporary file to write it again from its start; 0 or errno.
    int Restart();
    /// Renames the complete file over the path; 0 or errno (the temporary file is removed).
    int Commit();
    const QString &Path() const { return m_path; }
    /// The temporary file's path while it is open; "" before and after.
    const QString &TemporaryPath() const { return m_temporary; }

private:
    QString m_path;
    QString m_temporary;
    unsigned m_mode = 0;
    File m_file;
};

/// Writes the bytes to path through a new file beside it that is renamed over path once
/// it is complete, so path holds either its old bytes or all the new ones.
int WriteReplacing(const QString &path, QByteArrayView bytes, unsigned mode);

// An exclusive lock on a folder, held as long as the object lives and dropped by the
// system when the process ends in any way.
class FolderLock
{
public:
    FolderLock() = default;
    /// Tries to lock the folder without waiting; IsHeld() tells whether it worked.
    explicit FolderLock(const QString &folder);
    bool IsHeld() const { return m_file.IsOpen(); }
    /// The locked folder's status, to see whether the path still names it.
    Result<Status> LockedStatus() const;
    /// The locked folder's descriptor (-1 when none is held), for opening what lies inside it.
    int Descriptor() const { return m_file.Descriptor(); }

private:
    File m_file;
};

} // namespace FileSystem
