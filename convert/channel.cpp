#include "convert/channel.h"

#include "filesystem/filesystem.h"

namespace Channel {

QByteArray Line(const QStringList &words)
{
    QByteArray line;
    for (const QString &word : words) {
        if (!line.isEmpty())
            line += ' ';
        // Paths are passed as the bytes the file system knows them by.
        line += FileSystem::NativeName(word).toPercentEncoding();
    }
    return line + '\n';
}

QStringList Words(const QByteArray &line)
{
    QStringList words;
    for (const QByteArray &word : line.split(' '))
        words.append(FileSystem::NameFromNative(QByteArray::fromPercentEncoding(word)));
    return words;
}

} // namespace Channel
