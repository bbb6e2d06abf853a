#pragma once

#include "filesystem/filesystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <utility>
#include <vector>

// What every front end's conversion shares beside the stages themselves: the encoder's
// command line, where an MP3 goes, how it is made under a name of its own and put in
// place only when complete, and the words for what went wrong.

class IEventLoop;
class IWorkingFolder;

/// Writes the encoder's bytes afresh at path, runnable by the user alone: whatever stood
/// there (a planted program) is removed first.
void WriteEncoder(IEventLoop &events, const QByteArray &bytes, const QString &path);
/// The encoder part of the command line: the encoder's path in double quotes.
QString EncoderPart(const QString &encoderPath);
/// The argument part: " -h ", the WAV path and the MP3 path, each in double quotes.
QString EncoderArguments(const QString &wavPath, const QString &mp3Path);
/// The whole command line of the encoder for one WAV file.
QString EncoderCommandLine(const QString &encoderPath, const QString &wavPath, const QString &mp3Path);

// The one-line join command, built step by step:
// copy /y "seg1" /b + "seg2" /b ... "target".
class JoinCommand
{
public:
    /// "copy /y " and a double quote.
    void Start();
    /// The segment's path (a double quote in it written as three), a double quote, " /b + ", a double quote.
    void AddSegment(const QString &segmentPath);
    /// Drops the last 7 characters: the last " /b + " and the double quote after it.
    void DropLastJoint();
    /// " /b " and the target path in double quotes.
    void SetTarget(const QString &targetPath);
    const QString &Text() const { return m_text; }

private:
    QString m_text;
};

/// The whole join command for the segment MP3s 1 to segmentCount beside the document text
/// file textFile (the working folder's "output.txt").
QString JoinCommandText(const QString &textFile, int segmentCount, const QString &targetPath);

/// Writes the join command file: in the code page with CR LF; as UTF-8 with a byte-order
/// mark when the code page cannot hold a path (a path's bytes that are not UTF-8 as they
/// are), so no path is ever written wrong.
void WriteCommandFile(const QString &text, const QString &path);

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
/// there is never replaced, nor an MP3 the user may not write (a link is: its target is
/// left alone).
QString OutputPathProblem(const QString &outputPath);
/// A name beside the output path for the MP3 while it is made: hidden, short, not to be
/// guessed (".vt-" + eight letters + ".part").
QString PartialName(const QString &outputPath);
/// Creates the partial file for an encoder to write (readable as an MP3 will be); throws
/// in words for the user when the output folder cannot be written.
QString CreatePartial(const QString &outputPath);
/// The complete MP3 takes the output path's place; throws when it cannot (the partial
/// file is removed).
void PutInPlace(const QString &partial, const QString &outputPath);

// The files that a conversion under way has made beside its output paths (the partial
// MP3s): each held locked while it is listed, so that another run's sweep of the folder
// leaves it alone, and removed all at once when the conversion is cancelled, so that
// closing the window or stopping the converter leaves nothing half written in the user's
// folders.
class Leftovers
{
public:
    /// Lists the file and holds it (again, when it was replaced under its name since).
    void Add(const QString &path);
    void Forget(const QString &path);
    /// Removes every file still listed.
    void RemoveAll();

private:
    std::vector<std::pair<QString, FileSystem::File>> m_files;
};

/// Removes the partial files that a conversion killed before its end left in the folder of
/// outputPath (see FileSystem::RemoveLeftTemporaries).
void RemoveLeftPartials(const QString &outputPath);

/// What the encoder's answer means for the user, or "" when it wrote its MP3.
QString EncoderFailure(qint32 result, const QString &errorOutput, const QString &wavPath, const QString &mp3Path);
/// What the join's answer means for the user, or "" when it wrote the partial file.
QString JoinFailure(qint32 result, const QString &errorOutput, const QString &partial, const QString &outputPath);
