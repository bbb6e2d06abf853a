#pragma once

#include <QString>

/// The capacity of the file dialog's result, in characters.
inline constexpr int kFileDialogCapacity = 65535;

// The shell's dialogs: the multi-select file-open dialog and the folder picker.
class IFileDialogs
{
public:
    virtual ~IFileDialogs() = default;

    /// Shows the file-open dialog. The result is "" when the user cancels; the full path
    /// when one file was chosen; otherwise the folder, then each chosen name, separated by
    /// NUL characters. Throws RuntimeError 20476 when the result exceeds the capacity.
    /// filter is "description|pattern".
    virtual QString OpenFiles(const QString &fileName, int options, const QString &title, const QString &filter) = 0;

    /// Shows the folder picker with the prompt, opened at start; returns the chosen
    /// folder without a trailing "/" (the root stays "/"), or "" when the user cancels.
    virtual QString PickFolder(const QString &prompt, const QString &start) = 0;
};
