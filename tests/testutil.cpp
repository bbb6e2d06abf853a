#include "tests/testutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <zip.h>

#include <cstdlib>
#include <stdexcept>

using namespace Qt::StringLiterals;

ScopedEnv::ScopedEnv(const char *name, const std::optional<QString> &value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name))
        m_old = qgetenv(name);
    if (value)
        qputenv(name, value->toLocal8Bit());
    else
        qunsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        qputenv(m_name.constData(), *m_old);
    else
        qunsetenv(m_name.constData());
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool ProcessRuns(const QByteArray &pid, int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const QByteArray stat = ReadBytes(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
        if (pid.trimmed().isEmpty() || stat.isEmpty() || stat.contains(") Z "))
            return false;
        if (waited.elapsed() >= waitMs)
            return true;
        QThread::msleep(20);
    }
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString TestDataPath(const QString &name)
{
    return QStringLiteral(VOCATEXT_TEST_DATA_DIR "/") + name;
}

void WriteZip(const QString &path, const QList<std::pair<QString, QByteArray>> &entries)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("cannot create zip");
    // libzip reads the entries' bytes when the package is closed.
    for (const auto &[name, bytes] : entries) {
        zip_source_t *source = zip_source_buffer(zip, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        zip_file_add(zip, name.toUtf8().constData(), source, ZIP_FL_OVERWRITE);
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error("cannot write zip");
}

QList<ZipEntry> ReadZip(const QString &path)
{
    QList<ZipEntry> entries;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!zip)
        return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat);
        QByteArray bytes(static_cast<qsizetype>(stat.size), '\0');
        zip_file_t *file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        entries.append({QString::fromUtf8(stat.name), bytes, stat.comp_method == ZIP_CM_STORE});
    }
    zip_discard(zip);
    return entries;
}

QByteArray Entry(const QList<ZipEntry> &entries, const QString &name)
{
    for (const ZipEntry &entry : entries) {
        if (entry.name == name)
            return entry.bytes;
    }
    return {};
}

QString EpubcheckOutput(const QString &path)
{
    const QString checker = QFileInfo(QStandardPaths::findExecutable(u"epubcheck"_s)).canonicalFilePath();
    if (checker.isEmpty())
        return QString();
    if (path.isEmpty())
        return u""_s;
    // Debian's epubcheck is a jar that runs through binfmt_misc, which a container may lack.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (checker.endsWith(u".jar"_s))
        process.start(u"java"_s, {u"-jar"_s, checker, path});
    else
        process.start(checker, {path});
    process.waitForFinished(180'000);
    return QString::fromUtf8(process.readAll()) + u"\nexit code "_s + QString::number(process.exitCode());
}

QByteArray ContentXml(const QByteArray &body)
{
    return QByteArrayLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
               "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
               "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
               "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
               "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" office:version=\"1.3\">"
               "<office:body><office:text>")
           + body + QByteArrayLiteral("</office:text></office:body></office:document-content>");
}

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QStringList &list, std::ostream *os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(list[i], os);
    }
    *os << '}';
}

#include <QDir>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

ScopedTmpfs::ScopedTmpfs(const QByteArray &options)
{
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    m_path = dir.path();
    if (::geteuid() != 0)
        return;
    // Flags such as noexec are the mount's own, the rest is tmpfs's.
    unsigned long flags = 0;
    QByteArrayList data;
    for (const QByteArray &option : options.split(',')) {
        if (option == "noexec")
            flags |= MS_NOEXEC;
        else if (!option.isEmpty())
            data.append(option);
    }
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", flags, data.join(',').constData()) == 0;
}

ScopedTmpfs::~ScopedTmpfs()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    QDir(m_path).removeRecursively();
}

bool ScopedTmpfs::MakeReadOnly()
{
    return m_mounted
           && ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

#include <QProcess>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// useradd and userdel of tests that run at once take turns at the user database.
int UsersLock()
{
    const int fd = ::open("/tmp/vocatext-test-users.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::flock(fd, LOCK_EX);
    return fd;
}

bool RunQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

ScopedUser::ScopedUser(const QString &role)
    : m_name(QStringLiteral("vt%1%2").arg(role.left(8)).arg(::getpid()))
{
    if (::geteuid() != 0)
        return;
    const int lock = UsersLock();
    m_made = RunQuietly(QStringLiteral("/usr/sbin/useradd"),
                        {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--user-group"),
                         QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), m_name});
    if (lock >= 0)
        ::close(lock);
    const passwd *entry = m_made ? ::getpwnam(m_name.toLatin1().constData()) : nullptr;
    m_made = entry != nullptr;
    if (entry) {
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
    }
}

ScopedUser::~ScopedUser()
{
    if (!m_made)
        return;
    const int lock = UsersLock();
    RunQuietly(QStringLiteral("/usr/sbin/userdel"), {m_name});
    if (lock >= 0)
        ::close(lock);
}

QStringList ScopedUser::As(const QString &program, const QStringList &arguments) const
{
    return QStringList{QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                       QStringLiteral("--clear-groups"), QStringLiteral("--"), program}
           + arguments;
}

void ScopedUser::Own(const QString &path, unsigned mode) const
{
    const QByteArray native = QFile::encodeName(path);
    [[maybe_unused]] const int owned = ::lchown(native.constData(), m_uid, m_gid);
    ::chmod(native.constData(), mode);
}
