#pragma once

#include "platform/filedialogs.h"
#include "platform/shell.h"

#include <QPointer>

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
