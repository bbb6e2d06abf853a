#pragma once

#include <QString>

// The desktop shell: opening folders and web addresses, and the user's desktop folder.
class IShell
{
public:
    virtual ~IShell() = default;
    /// Opens a folder in the file browser, or a web address in the browser, without waiting.
    /// False when nothing could open it.
    virtual bool Open(const QString &folderOrAddress) = 0;
    /// The current user's desktop folder when it exists, otherwise the home folder;
    /// throws RuntimeError when neither can be found.
    virtual QString DesktopFolder() = 0;
};
