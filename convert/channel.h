#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The lines that the converter and its workers exchange: words separated by blanks, each
// percent-encoded, so a path with blanks, line feeds or bytes that are not UTF-8 arrives
// whole.
namespace Channel {

/// One line of words, with its line feed.
QByteArray Line(const QStringList &words);
/// The words of a line (without its line feed).
QStringList Words(const QByteArray &line);

} // namespace Channel
