#include "tests/testutil.h"

#include <QFile>

#include <cstdlib>

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
