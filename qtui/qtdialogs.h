#pragma once

#include "ui/filedialogs.h"
#include "ui/shell.h"

#include <QPointer>
#include <QStringList>

class QWidget;

// The file dialogs with QFileDialog, modal over the main window.
class QtFileDialogs final : public IFileDialogs
{
public:
    void SetParent(QWidget *parent);
    QString OpenFiles(const QString &fileName, int options, const QString &title, const QString &filter) override;
    QString PickFolder(const QString &prompt, const QString &start) override;

private:
    QPointer<QWidget> m_parent;
};

// The desktop shell with QDesktopServices and QStandardPaths.
class QtShell final : public IShell
{
public:
    bool Open(const QString &folderOrAddress) override;
    QString DesktopFolder() override;
};

/// The dialog's result string for the chosen full paths: their folder and their names when
/// they share one folder, otherwise "/" and each path below the root.
QString FileDialogResult(const QStringList &paths);
