#include "filesystem/filesystem.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <ctime>
#include <unistd.h>

namespace FileSystem {

namespace {

// A path with a NUL in it names no file: the C calls would see only what comes before it,
// so it gives the empty path that every call refuses.
QByteArray Native(const QString &path)
{
    if (path.contains(QChar(0)))
        return QByteArray();
    return NativeName(path);
}

// The length of the valid UTF-8 sequence at p (at most n bytes there), 0 when none begins there.
int Utf8SequenceAt(const unsigned char *p, qsizetype n, char32_t *code)
{
    const unsigned char lead = p[0];
    int length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return 0;
    *code = c;
    return length;
}

bool IsKeptByte(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

Status StatusOf(const struct stat &st)
{
    Status status;
    if (S_ISREG(st.st_mode))
        status.kind = Kind::Regular;
    else if (S_ISDIR(st.st_mode))
        status.kind = Kind::Directory;
    else if (S_ISLNK(st.st_mode))
        status.kind = Kind::Link;
    status.mode = st.st_mode & 07777;
    status.owner = st.st_uid;
    status.size = st.st_size;
    status.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    return status;
}

template<typename Call>
Result<Status> StatWith(const QString &path, Call call)
{
    if (path.isEmpty())
        return Result<Status>::Failure(ENOENT);
    struct stat st;
    if (call(Native(path).constData(), &st) != 0)
        return Result<Status>::Failure(errno);
    return StatusOf(st);
}

int ErrorOf(int result)
{
    return result == 0 ? 0 : errno;
}

QString FolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

constexpr int kMaxTreeDepth = 256;

int RemoveTreeAt(int parent, const char *name, int depth)
{
    if (depth > kMaxTreeDepth)
        return ELOOP;
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int failure = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *child = entry->d_name;
        if (child[0] == '.' && (child[1] == '\0' || (child[1] == '.' && child[2] == '\0')))
            continue;
        struct stat st;
        if (::fstatat(fd, child, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const int error = S_ISDIR(st.st_mode) ? RemoveTreeAt(fd, child, depth + 1)
                                              : ErrorOf(::unlinkat(fd, child, 0));
        if (error != 0 && failure == 0)
            failure = error;
    }
    ::closedir(dir);
    const int error = ErrorOf(::unlinkat(parent, name, AT_REMOVEDIR));
    return failure != 0 ? failure : error;
}

} // namespace

QByteArray NativeName(QStringView path)
{
    // A name without kept bytes is plain UTF-8.
    if (std::none_of(path.begin(), path.end(), IsKeptByte))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (c.isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!IsKeptByte(c))
            continue;
        bytes += path.mid(start, i - start).toUtf8();
        bytes += static_cast<char>(c.unicode() - 0xDC00);
        start = i + 1;
    }
    bytes += path.mid(start).toUtf8();
    return bytes;
}

QString NameFromNative(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    QString name;
    name.reserve(n);
    qsizetype start = 0; // the first byte not yet decoded
    qsizetype i = 0;
    while (i < n) {
        char32_t code = 0;
        const int length = Utf8SequenceAt(p + i, n - i, &code);
        if (length > 0) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.sliced(start, i - start));
        name += QChar(static_cast<char16_t>(0xDC00 + p[i]));
        start = ++i;
    }
    name += QString::fromUtf8(bytes.sliced(start));
    return name;
}

Result<Status> Stat(const QString &path)
{
    return StatWith(path, [](const char *p, struct stat *st) { return ::stat(p, st); });
}

Result<Status> LinkStat(const QString &path)
{
    return StatWith(path, [](const char *p, struct stat *st) { return ::lstat(p, st); });
}

QString CanonicalPath(const QString &path)
{
    if (path.isEmpty())
        return QString();
    char *resolved = ::realpath(Native(path).constData(), nullptr);
    if (!resolved)
        return QString();
    const QString canonical = NameFromNative(resolved);
    std::free(resolved);
    return canonical;
}

bool IsFull(const QString &path)
{
    struct statvfs fs;
    return ::statvfs(Native(path).constData(), &fs) == 0 && fs.f_bavail == 0;
}

bool MayWrite(const QString &path)
{
    return !path.isEmpty() && ::access(Native(path).constData(), W_OK) == 0;
}

unsigned UserId()
{
    return ::getuid();
}

unsigned WithUmask(unsigned mode)
{
    // The umask can only be read by setting it; it is put back at once.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mode & ~mask;
}

int Remove(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    return ErrorOf(::unlink(Native(path).constData()));
}

int MakeFolder(const QString &path, unsigned mode)
{
    if (path.isEmpty())
        return ENOENT;
    return ErrorOf(::mkdir(Native(path).constData(), mode));
}

int Rename(const QString &from, const QString &to)
{
    return ErrorOf(::rename(Native(from).constData(), Native(to).constData()));
}

int SetFolderMode(const QString &path, unsigned mode)
{
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ErrorOf(::fchmod(fd, mode));
    ::close(fd);
    return error;
}

int RemoveTree(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    return RemoveTreeAt(AT_FDCWD, Native(path).constData(), 0);
}

Result<std::vector<Entry>> ListFolder(const QString &path)
{
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (path.isEmpty() || fd < 0)
        return Result<std::vector<Entry>>::Failure(path.isEmpty() ? ENOENT : errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return Result<std::vector<Entry>>::Failure(error);
    }
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            folder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({NameFromNative(name), folder});
    }
    ::closedir(dir);
    return entries;
}

Result<QByteArray> ReadFile(const QString &path, qint64 limit)
{
    File file(::open(Native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (path.isEmpty() || !file.IsOpen())
        return Result<QByteArray>::Failure(path.isEmpty() ? ENOENT : errno);
    struct stat st;
    if (::fstat(file.Descriptor(), &st) != 0)
        return Result<QByteArray>::Failure(errno);
    if (!S_ISREG(st.st_mode))
        return Result<QByteArray>::Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (st.st_size > limit)
        return Result<QByteArray>::Failure(EFBIG);
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.Descriptor(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Result<QByteArray>::Failure(errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + n > limit)
            return Result<QByteArray>::Failure(EFBIG);
        bytes.append(buffer, n);
    }
    return bytes;
}

File::~File()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int File::Write(QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= n;
    }
    return 0;
}

int File::Close()
{
    if (m_fd < 0)
        return 0;
    return ErrorOf(::close(std::exchange(m_fd, -1)));
}

Result<File> CreateFresh(const QString &path, unsigned mode)
{
    if (path.isEmpty())
        return Result<File>::Failure(ENOENT);
    const QByteArray native = Native(path);
    struct stat st;
    if (::lstat(native.constData(), &st) == 0 && !S_ISDIR(st.st_mode))
        ::unlink(native.constData());
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return Result<File>::Failure(errno);
    return File(fd);
}

Result<File> OpenForReading(const QString &path)
{
    File file(::open(Native(path).constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (!file.IsOpen())
        return Result<File>::Failure(errno);
    struct stat st;
    if (::fstat(file.Descriptor(), &st) != 0)
        return Result<File>::Failure(errno);
    if (!S_ISREG(st.st_mode))
        return Result<File>::Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return file;
}

qint64 File::Read(char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, static_cast<size_t>(size));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

Result<File> OpenInFolder(int folderDescriptor, const QString &name)
{
    if (name.isEmpty() || name.contains(u'/'))
        return Result<File>::Failure(ENOENT);
    const int fd = ::openat(folderDescriptor, Native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Result<File>::Failure(errno);
    File file(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return Result<File>::Failure(errno);
    if (S_ISDIR(st.st_mode))
        return Result<File>::Failure(EISDIR);
    return file;
}

Result<Status> StatusOf(const File &file)
{
    struct stat st;
    if (!file.IsOpen())
        return Result<Status>::Failure(EBADF);
    if (::fstat(file.Descriptor(), &st) != 0)
        return Result<Status>::Failure(errno);
    return StatusOf(st);
}

Result<QByteArray> ReadOpen(const File &file, qint64 limit)
{
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::pread(file.Descriptor(), buffer, sizeof buffer, bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Result<QByteArray>::Failure(errno);
        }
        if (n == 0)
            return bytes;
        if (bytes.size() + n > limit)
            return Result<QByteArray>::Failure(EFBIG);
        bytes.append(buffer, n);
    }
}

Result<std::pair<QString, File>> CreateUnique(const QString &folder, const QString &prefix, unsigned mode,
                                              const QString &suffix)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 8; ++i)
            name += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
        name += suffix;
        const QString path = (folder.endsWith(u'/') ? folder : folder + u'/') + name;
        const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return std::pair<QString, File>(path, File(fd));
        }
        error = errno;
    }
    return Result<std::pair<QString, File>>::Failure(error);
}

namespace {

// A name that CreateUnique gives with the temporary prefix and suffix.
bool IsTemporaryName(const char *name)
{
    static const QByteArray prefix = QString::fromUtf16(kTemporaryPrefix).toUtf8();
    static const QByteArray suffix = QString::fromUtf16(kTemporarySuffix).toUtf8();
    const QByteArrayView view(name);
    if (view.size() != prefix.size() + 8 + suffix.size() || !view.startsWith(prefix) || !view.endsWith(suffix))
        return false;
    for (const char c : view.sliced(prefix.size(), 8)) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

} // namespace

int RemoveLeftTemporaries(const QString &folder, int olderThanSeconds)
{
    File dirFile(::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFile.IsOpen())
        return 0;
    DIR *dir = ::fdopendir(::dup(dirFile.Descriptor()));
    if (!dir)
        return 0;
    const int fd = dirFile.Descriptor();
    const qint64 now = static_cast<qint64>(::time(nullptr));
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        File file(::openat(fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held;
        if (!file.IsOpen() || ::fstat(file.Descriptor(), &held) != 0 || !S_ISREG(held.st_mode)
            || held.st_uid != ::getuid() || now - held.st_mtim.tv_sec < olderThanSeconds
            || ::flock(file.Descriptor(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was examined under that name: nothing put there since goes.
        struct stat named;
        if (::fstatat(fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev
            && named.st_ino == held.st_ino && ::unlinkat(fd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

File HoldTemporary(const QString &path)
{
    File file(::open(Native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.IsOpen())
        ::flock(file.Descriptor(), LOCK_EX | LOCK_NB);
    return file;
}

namespace {
constexpr char kOutputMark[] = "user.vocatext.output";
}

namespace {

// What the mark holds: the file's size and time of change as the program left it, so that a
// file the user has written over since (an editor that keeps the attribute) is the user's.
QByteArray OutputStamp(const QByteArray &native)
{
    struct stat status {};
    if (::lstat(native.constData(), &status) != 0)
        return QByteArray();
    return QByteArray::number(static_cast<qint64>(status.st_size)) + ' '
           + QByteArray::number(static_cast<qint64>(status.st_mtim.tv_sec)) + '.'
           + QByteArray::number(static_cast<qint64>(status.st_mtim.tv_nsec));
}

} // namespace

int MarkAsProgramOutput(const QString &path)
{
    const QByteArray native = Native(path);
    const QByteArray stamp = OutputStamp(native);
    if (stamp.isEmpty())
        return errno;
    return ErrorOf(::lsetxattr(native.constData(), kOutputMark, stamp.constData(), static_cast<size_t>(stamp.size()), 0));
}

bool IsProgramOutput(const QString &path)
{
    const QByteArray native = Native(path);
    char value[64] = {};
    const ssize_t size = ::lgetxattr(native.constData(), kOutputMark, value, sizeof value);
    if (size == 1 && value[0] == '1')
        return true; // marked before marks held a stamp
    return size > 1 && QByteArray(value, size) == OutputStamp(native);
}

ReplacingFile::~ReplacingFile()
{
    if (!m_temporary.isEmpty()) {
        m_file.Close();
        Remove(m_temporary);
    }
}

int ReplacingFile::Open(const QString &path, unsigned mode)
{
    if (path.isEmpty())
        return ENOENT;
    auto created = CreateUnique(FolderOf(path), QString::fromUtf16(kTemporaryPrefix), mode,
                                QString::fromUtf16(kTemporarySuffix));
    if (!created)
        return created.Error();
    m_path = path;
    m_mode = mode;
    m_temporary = created->first;
    m_file = std::move(created->second);
    return 0;
}

int ReplacingFile::Write(QByteArrayView bytes)
{
    return m_file.IsOpen() ? m_file.Write(bytes) : EBADF;
}

int ReplacingFile::Restart()
{
    if (!m_file.IsOpen())
        return EBADF;
    if (::ftruncate(m_file.Descriptor(), 0) != 0 || ::lseek(m_file.Descriptor(), 0, SEEK_SET) != 0)
        return errno;
    return 0;
}

int ReplacingFile::Commit()
{
    if (!m_file.IsOpen())
        return EBADF;
    int error = ErrorOf(::fchmod(m_file.Descriptor(), m_mode)); // the umask does not narrow it
    const int closed = m_file.Close();
    if (error == 0)
        error = closed;
    if (error == 0)
        error = Rename(m_temporary, m_path);
    if (error != 0)
        Remove(m_temporary);
    m_temporary.clear();
    return error;
}

int WriteReplacing(const QString &path, QByteArrayView bytes, unsigned mode)
{
    ReplacingFile file;
    int error = file.Open(path, mode);
    if (error == 0)
        error = file.Write(bytes);
    return error == 0 ? file.Commit() : error;
}

FolderLock::FolderLock(const QString &folder)
{
    File file(::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (file.IsOpen() && ::flock(file.Descriptor(), LOCK_EX | LOCK_NB) == 0)
        m_file = std::move(file);
}

Result<Status> FolderLock::LockedStatus() const
{
    struct stat st;
    if (!m_file.IsOpen())
        return Result<Status>::Failure(EBADF);
    if (::fstat(m_file.Descriptor(), &st) != 0)
        return Result<Status>::Failure(errno);
    return StatusOf(st);
}

} // namespace FileSystem
