#pragma once

#include "filesystem/filesystem.h"

#include <QByteArray>
#include <QString>

class IEventLoop;
class IWorkingFolder;

// The MP3 encoder of a run: the program's own LAME written into the working folder as
// "lame.exe", checked, and every encoder started from that checked file, so that nothing
// put at its name afterwards ever runs.
class EncoderProgram
{
public:
    /// Writes the encoder's bytes into the working folder (afresh, runnable by the user
    /// alone, unless the file there holds exactly them) and opens the checked file. Throws
    /// RuntimeError when the working folder cannot be used or the file not be written.
    void Install(IEventLoop &events, IWorkingFolder &working, const QByteArray &bytes);
    bool IsInstalled() const { return m_program.IsOpen(); }
    /// The encoder's path, as its command line names it.
    const QString &Path() const { return m_path; }
    /// The checked file, which is what starts.
    const FileSystem::File &Program() const { return m_program; }
    /// Removes the encoder's file.
    void Remove(IEventLoop &events);

private:
    QString m_path;
    FileSystem::File m_program;
};
