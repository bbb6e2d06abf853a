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

#include <QList>
#include <utility>

/// Writes a zip package holding the given entries (name, bytes), deflated.
void WriteZip(const QString &path, const QList<std::pair<QString, QByteArray>> &entries);
/// A content.xml whose office:text holds the given body markup.
QByteArray ContentXml(const QByteArray &body);
