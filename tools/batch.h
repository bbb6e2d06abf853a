#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The batch interpreter that runs the program's command files: the one command it knows is
// copy /y "src1" /b + "src2" /b ... "dst", which writes the sources' bytes in order to dst.

/// The lines of a command file: UTF-8 after a byte-order mark, else Windows-1252. Lines end
/// at CR or LF outside double quotes.
QStringList BatchLines(const QByteArray &file);

/// The words of one line with the double-quote rules of the program's command lines.
QStringList BatchWords(const QString &line);

/// Runs one line; reports problems to err. Returns the line's exit code (0 on success).
int RunBatchLine(const QString &line, const std::function<void(const QString &)> &err);

/// Runs every line of a command file; the exit code is 0 when every line succeeded.
int RunBatchFile(const QString &path, const std::function<void(const QString &)> &err);
