#pragma once

#include "filesystem/filesystem.h"

#include <QByteArray>
#include <QString>

// The working folder: the one folder that holds every working file of a conversion.
class IWorkingFolder
{
public:
    virtual ~IWorkingFolder() = default;

    /// The folder, read afresh each time; throws RuntimeError when no private folder can
    /// be used ("Working folder is not private: " + path).
    virtual QString Path() = 0;
    /// What the working-folder message names: TEMP as it is, or the folder in use when
    /// TEMP is unset.
    virtual QString ForDisplay() = 0;
    /// Opens the working file name to start it as a program: from the folder that Path()
    /// checked, never through a link, and only a regular file of the user's that nobody
    /// else may write and that holds exactly bytes; throws RuntimeError otherwise. Started
    /// from this file, nothing put at its name after the check is ever run.
    virtual FileSystem::File OpenProgram(const QString &name, const QByteArray &bytes) = 0;
    /// Makes a folder inside it for one document's working files, marked as the program's
    /// and under a name that is free (a folder that stands there is never emptied); throws
    /// RuntimeError when none can be made.
    virtual QString MakeJobFolder() = 0;
    /// Removes such a folder with all it holds; a folder without the mark is left alone.
    virtual void RemoveJobFolder(const QString &folder) = 0;
};

/// The path of a working file: the working folder, "/", the name.
inline QString WorkingPath(IWorkingFolder &folder, const QString &name)
{
    return folder.Path() + u'/' + name;
}
