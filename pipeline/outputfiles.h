#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What every front end's conversion shares beside the stages themselves: the encoder's
// command line, where an MP3 goes, how it is made under a name of its own and put in
// place only when complete, and the words for what went wrong.

class IEventLoop;

/// Writes the encoder's bytes afresh at path, runnable by the user alone: whatever stood
/// there (a planted program) is removed first.
void WriteEncoder(IEventLoop &events, const QByteArray &bytes, const QString &path);
/// The encoder part of the command line: the encoder's path in double quotes.
QString EncoderPart(const QString &encoderPath);
/// The argument part: " -h ", the WAV path and the MP3 path, each in double quotes.
QString EncoderArguments(const QString &wavPath, const QString &mp3Path);

/// The document's base name: its file name without the last extension.
QString BaseName(const QString &documentPath);
/// The output path when no option is selected: the document's folder (short form), the
/// base name, ".mp3".
QString DefaultOutputPath(const QString &documentPath, const QString &baseName);
/// "Save results to this folder:": the folder, one "/", the MP3's name.
QString OutputPathInFolder(const QString &folder, const QString &defaultPath);
/// "Save results in folder of original file": the document's folder, one "/", the MP3's name.
QString OutputPathBeside(const QString &documentPath, const QString &defaultPath);

/// Why an MP3 cannot be put at the output path, or "": a folder, a pipe or a device
/// there is never replaced (a link is: its target is left alone).
QString OutputPathProblem(const QString &outputPath);
/// A name beside the output path for the MP3 while it is made: hidden, not to be guessed.
QString PartialName(const QString &outputPath);
/// Creates the partial file for an encoder to write (readable as an MP3 will be); throws
/// in words for the user when the output folder cannot be written.
QString CreatePartial(const QString &outputPath);
/// The complete MP3 takes the output path's place; throws when it cannot (the partial
/// file is removed).
void PutInPlace(const QString &partial, const QString &outputPath);

/// What the encoder's answer means for the user, or "" when it wrote its MP3.
QString EncoderFailure(qint32 result, const QString &errorOutput, const QString &wavPath, const QString &mp3Path);
/// What the join's answer means for the user, or "" when it wrote the partial file.
QString JoinFailure(qint32 result, const QString &errorOutput, const QString &partial, const QString &outputPath);
