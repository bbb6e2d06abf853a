#pragma once

#include "common/helpers.h"

#include <QString>

// The command lines that the conversion's children are started with: split again into
// their words with the double-quote rules, so every path reaches its program whole.

/// The encoder part of the command line: the encoder's path in double quotes.
QString EncoderPart(const QString &encoderPath);
/// The argument part: " -h ", the WAV path and the MP3 path, each in double quotes.
QString EncoderArguments(const QString &wavPath, const QString &mp3Path);
/// The whole command line of the encoder for one WAV file.
QString EncoderCommandLine(const QString &encoderPath, const QString &wavPath, const QString &mp3Path);

/// The whole join command for the segment MP3s 1 to segmentCount beside the document text
/// file textFile (the working folder's "output.txt").
QString JoinCommandText(const QString &textFile, int segmentCount, const QString &targetPath);

/// Writes the join command file: in the code page with CR LF; as UTF-8 with a byte-order
/// mark when the code page cannot hold a path (a path's bytes that are not UTF-8 as they
/// are), so no path is ever written wrong.
void WriteCommandFile(const QString &text, const QString &path);
