#pragma once

#include <QByteArray>
#include <QString>

class IEventLoop;

// Path and file helpers shared by every part of the program. Paths use "/" as their
// separator; a backslash is an ordinary character of a file name.

/// True when the path's modification time can be read (files and folders); never throws.
bool FileExists(const QString &path);
/// True when the path exists and is a folder; never throws.
bool FolderExists(const QString &path);
/// Yields to the event loop once, then deletes the file; every failure is ignored.
void KillFile(IEventLoop &events, const QString &path);
/// The text after the last "/"; the whole path when it has none.
QString GetFileName(const QString &path);
/// The text up to and including the last "/"; empty when there is none.
QString GetFolderPath(const QString &path);
/// The name without its last extension, when the last dot stands at the second character or later.
QString StripExtension(const QString &name);
/// Linux has no short names: an existing path gives itself, a missing one gives "".
QString GetShortPath(const QString &path);
/// The path made absolute from the current folder by its text alone, "." and ".." removed:
/// Qt's path classes would take a name that begins with ":" for one of their resources.
QString AbsolutePath(const QString &path);
/// The path as "./" and its part below folder when it lies below folder (whatever the first
/// character of that part), else "".
QString BelowFolder(const QString &folder, const QString &path);
/// Collapses each pair of "/" into one, left to right; a leading run of "/" becomes one "/".
QString FixPathSlashes(const QString &path);
/// Writes the text and a CR LF in the code page, replacing the file (mode 0600, never
/// through a link); throws on failure.
void WriteTextFile(const QString &text, const QString &path);
/// Yields once; unless the path exists, writes the bytes there with the mode. A failed
/// write leaves no file.
void WriteBinaryFile(IEventLoop &events, const QByteArray &bytes, const QString &path, unsigned mode = 0600);
/// True when the path is a regular file of the user's (not a link) holding exactly the bytes.
bool FileHoldsBytes(const QString &path, const QByteArray &bytes);
/// "" for a missing file, "empty file" for an empty one, else every byte as a code-page character.
QString ReadTextFile(const QString &path);

/// A word inside double quotes on a command line that is split again with the
/// double-quote rules; a double quote within it is written as three, so it arrives whole.
QString QuotedForCommandLine(const QString &word);

/// The last line of a program's error output that says something: terminal escapes and
/// progress redraws removed; "" when there is none.
QString LastErrorLine(const QString &errorOutput);

/// The user's desktop folder when it exists, otherwise the home folder; throws
/// RuntimeError when neither can be found.
QString DesktopOrHomeFolder();
