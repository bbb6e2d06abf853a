#pragma once

#include "pipeline/folderwalk.h"

#include <QString>

class IFileDialogs;
class IMainWindow;
struct Services;

// The AddFolder module's window side: the folder picker and the button that scans a folder.

/// The folder picker: the chosen folder without a trailing "/" (the root stays "/"), or "".
QString BrowseForFolder(IFileDialogs &dialogs, const QString &prompt, const QString &start);

/// The "Add All ODT Files In Folder" button.
void PushButton4_Click(const Services &services, IMainWindow &window);
