#pragma once

#include <QString>

// Every working file of a conversion lives in the working folder: the folder named by
// TEMP when it is set and not empty, otherwise a private folder of the user
// (temporary folder + "/vocatext-" + user id, mode 0700). TEMP is read afresh each time.

/// The working folder; creates the private folder when it is missing. Throws
/// "Working folder is not private: " + path when the private folder is a symbolic
/// link, not a folder, or someone else's.
QString WorkingFolder();
/// WorkingFolder() + "/" + name.
QString WorkingPath(const QString &name);
/// The private folder's path, whether or not it exists.
QString PrivateWorkingFolder();
/// What the working-folder message names: TEMP as it is, or the private folder.
QString WorkingFolderForDisplay();
