#pragma once

#include "ui/messageboxes.h"

#include <QPointer>

class QWidget;

// Message boxes shown with QMessageBox, modal over the main window.
class QtMessageBoxes final : public IMessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent = nullptr);

    /// The window that the boxes belong to.
    void SetParent(QWidget *parent);

    void SetApplicationTitle(const QString &title) override;
    void Information(const QString &text) override;
    bool Question(const QString &text) override;
    void ErrorReport(const QString &text) override;

private:
    QPointer<QWidget> m_parent;
    QString m_title = QStringLiteral("Vocatext"); // until start-up sets the application title
};
