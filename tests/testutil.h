#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Test failures show Qt's strings as text.
void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QStringList &list, std::ostream *os);

#include <QByteArray>
#include <QString>

#include <optional>

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::optional<QString> &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_old;
};

/// The bytes of a file; empty when it cannot be read.
QByteArray ReadBytes(const QString &path);
/// Writes bytes to a file, replacing it.
void WriteBytes(const QString &path, const QByteArray &bytes);
/// The folder of the test data files.
QString TestDataPath(const QString &name);
/// True while the process (its pid in decimal) runs: neither gone nor a zombie, waiting
/// up to waitMs for it to end.
bool ProcessRuns(const QByteArray &pid, int waitMs = 5000);

#include <QList>
#include <utility>

/// Writes a zip package holding the given entries (name, bytes), deflated.
void WriteZip(const QString &path, const QList<std::pair<QString, QByteArray>> &entries);
struct ZipEntry
{
    QString name;
    QByteArray bytes;
    bool stored = false;
};
/// The entries of a zip package in their order; none when it cannot be read.
QList<ZipEntry> ReadZip(const QString &path);
/// The bytes of the entry of that name; empty when there is none.
QByteArray Entry(const QList<ZipEntry> &entries, const QString &name);
/// What Debian's epubcheck says of the EPUB at path (its messages and verdict); a null
/// string when epubcheck is not installed, an empty one for an empty path.
QString EpubcheckOutput(const QString &path);
/// A content.xml whose office:text holds the given body markup.
QByteArray ContentXml(const QByteArray &body);

// A tmpfs mounted on a fresh folder for one test (root only): noexec, read-only or small.
class ScopedTmpfs
{
public:
    /// options as mount(8) takes them, e.g. "noexec,mode=0700" or "size=64k".
    explicit ScopedTmpfs(const QByteArray &options);
    ~ScopedTmpfs();
    ScopedTmpfs(const ScopedTmpfs &) = delete;
    ScopedTmpfs &operator=(const ScopedTmpfs &) = delete;
    /// False when it could not be mounted (not root, or no mount allowed here).
    bool IsMounted() const { return m_mounted; }
    const QString &Path() const { return m_path; }
    /// Makes the mount read-only from now on.
    bool MakeReadOnly();

private:
    QString m_path;
    bool m_mounted = false;
};

#include <sys/types.h>

// A user of the machine for one test (root only, with useradd): made fresh, removed at the
// end. Tests of what another user of the machine can do run their programs as such users.
class ScopedUser
{
public:
    /// role is part of the name ("victim", "attacker").
    explicit ScopedUser(const QString &role);
    ~ScopedUser();
    ScopedUser(const ScopedUser &) = delete;
    ScopedUser &operator=(const ScopedUser &) = delete;
    /// False when no user could be made (not root, or no useradd here).
    bool IsMade() const { return m_made; }
    uid_t Id() const { return m_uid; }
    gid_t Group() const { return m_gid; }
    /// setpriv and its arguments that start program with arguments as this user.
    QStringList As(const QString &program, const QStringList &arguments) const;
    /// Makes path (a file or folder) this user's own, with the mode.
    void Own(const QString &path, unsigned mode) const;

private:
    QString m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_made = false;
};
