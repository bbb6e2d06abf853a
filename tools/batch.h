#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The batch interpreter that runs the program's command files: the one command it knows is
// copy /y "src1" /b + "src2" /b ... "dst", which writes the sources' bytes in order to dst.

/// One word of a command line; a quoted word is a path even when it reads "/b" or "+".
struct BatchWord
{
    QString text;
    bool quoted = false;
    /// Its quote was never closed: the text ran to the end.
    bool unclosed = false;
    bool operator==(const BatchWord &) const = default;
};
using BatchLine = QList<BatchWord>;

/// The lines of a command text and their words, in one pass, with the double-quote rules
/// of the program's command lines: a double quote opens or closes quoted text and three
/// in a row stand for one double quote character. A CR or LF outside quotes ends a line;
/// lines without words are left out.
QList<BatchLine> ParseBatch(const QString &text);
/// The same for the bytes of a command file: UTF-8 after a byte-order mark (a byte outside
/// UTF-8 kept as the file system's byte), else Windows-1252.
QList<BatchLine> ParseBatchFile(const QByteArray &file);

/// Runs one line; reports problems to err. Returns the line's exit code (0 on success).
/// A word with a NUL in it or an unclosed quote is a syntax error: nothing is written.
int RunBatchLine(const BatchLine &line, const std::function<void(const QString &)> &err);
/// Runs every line of a command file; the exit code is 0 when every line succeeded.
int RunBatchFile(const QString &path, const std::function<void(const QString &)> &err);

/// From now on SIGINT, SIGTERM and SIGHUP remove the temporary file of a copy under way
/// before they end the program, and the program ends with the process that started it:
/// an interrupted or orphaned copy leaves nothing and puts nothing in place.
void EndCleanlyOnSignals();
