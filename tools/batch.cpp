#include "tools/batch.h"

#include "common/codepage.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QStringList BatchLines(const QByteArray &file)
{
    const QString text = file.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(file.mid(3)) : CodePage::Decode(file);
    QStringList lines;
    QString line;
    bool inQuote = false;
    for (const QChar c : text) {
        if (c == u'"')
            inQuote = !inQuote;
        if (!inQuote && (c == u'\r' || c == u'\n')) {
            if (!line.trimmed().isEmpty())
                lines.append(line);
            line.clear();
            continue;
        }
        line.append(c);
    }
    if (!line.trimmed().isEmpty())
        lines.append(line);
    return lines;
}

QStringList BatchWords(const QString &line)
{
    return QProcess::splitCommand(line);
}

namespace {

bool IsSwitch(const QString &word, const QString &raw)
{
    // A switch is a bare word such as /y or /b; a quoted "/path" is a file.
    return word.startsWith(u'/') && word.size() <= 3 && !raw.contains(u'"' + word);
}

int Copy(const QStringList &words, const QString &line, const std::function<void(const QString &)> &err)
{
    QStringList sources;
    QString destination;
    bool expectSource = true;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words[i];
        if (IsSwitch(word, line))
            continue;
        if (word == u"+"_s) {
            expectSource = true;
            continue;
        }
        if (expectSource) {
            sources.append(word);
            expectSource = false;
        } else if (destination.isEmpty()) {
            destination = word;
        } else {
            err(u"The syntax of the command is incorrect."_s);
            return 1;
        }
    }
    if (sources.isEmpty() || destination.isEmpty()) {
        err(u"The syntax of the command is incorrect."_s);
        return 1;
    }

    int exitCode = 0;
    // Written beside the destination and renamed over it at the end: a failed copy never
    // leaves a half file.
    QSaveFile out(destination);
    out.setDirectWriteFallback(false);
    bool wroteAny = false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (const QString &source : std::as_const(sources)) {
        QFile in(source);
        if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly)) {
            err(u"The system cannot find the file specified: "_s + source);
            exitCode = 1;
            continue;
        }
        if (!out.isOpen() && !out.open(QIODevice::WriteOnly)) {
            err(u"Access is denied: "_s + destination + u" ("_s + out.errorString() + u')');
            return 1;
        }
        for (;;) {
            const qint64 n = in.read(buffer.data(), buffer.size());
            if (n < 0) {
                err(u"The file cannot be read: "_s + source);
                out.cancelWriting();
                return 1;
            }
            if (n == 0)
                break;
            if (out.write(buffer.constData(), n) != n) {
                err(u"The file cannot be written: "_s + destination + u" ("_s + out.errorString() + u')');
                out.cancelWriting();
                return 1;
            }
        }
        wroteAny = true;
    }
    if (!wroteAny)
        return 1;
    if (!out.commit()) {
        err(u"The file cannot be written: "_s + destination + u" ("_s + out.errorString() + u')');
        return 1;
    }
    return exitCode;
}

} // namespace

int RunBatchLine(const QString &line, const std::function<void(const QString &)> &err)
{
    const QStringList words = BatchWords(line);
    if (words.isEmpty())
        return 0;
    if (words.first().compare(u"copy"_s, Qt::CaseInsensitive) == 0)
        return Copy(words, line, err);
    err(u"'"_s + words.first() + u"' is not recognized as a command"_s);
    return 1;
}

int RunBatchFile(const QString &path, const std::function<void(const QString &)> &err)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err(u"The system cannot find the file specified: "_s + path);
        return 1;
    }
    int exitCode = 0;
    for (const QString &line : BatchLines(file.readAll())) {
        if (RunBatchLine(line, err) != 0)
            exitCode = 1;
    }
    return exitCode;
}
